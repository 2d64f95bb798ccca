#include "launch/option_rules.h"

#include "config/config_store.h"
#include "core/log.h"
#include "jvmsearch/java_version.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace {

bool startsWith(const std::wstring& text, const wchar_t* prefix) {
    size_t n = wcslen(prefix);
    return text.size() >= n && text.compare(0, n, prefix) == 0;
}

}  // namespace

OptionLine classifyOptionLine(const std::wstring& line) {
    struct Keyword {
        const wchar_t* text;
        OptionLineKind kind;
    };
    static const Keyword kKeywords[] = {
        {L"-include-options ", OptionLineKind::IncludeOptions},
        {L"-classpath ", OptionLineKind::ClassPathReplace},
        {L"-classpath/p ", OptionLineKind::ClassPathPrepend},
        {L"-classpath/a ", OptionLineKind::ClassPathAppend},
    };
    for (const Keyword& k : kKeywords)
        if (startsWith(line, k.text)) return OptionLine{k.kind, line.substr(wcslen(k.text))};
    return OptionLine{OptionLineKind::Option, line};
}

std::vector<std::wstring> optionListLines(const std::vector<std::wstring>& elements) {
    std::vector<std::wstring> lines;
    for (size_t i = 0; i < elements.size(); ++i) {
        if (elements[i] == L"-include-options" && i + 1 < elements.size()) {
            lines.push_back(elements[i] + L" " + elements[i + 1]);
            ++i;
        } else {
            lines.push_back(elements[i]);
        }
    }
    return lines;
}

std::string trimOptionLine(const std::string& line) {
    size_t end = line.size();
    while (end > 0 && (line[end - 1] == '\r' || line[end - 1] == '\n')) --end;
    size_t begin = 0;
    while (begin < end && isspace(static_cast<unsigned char>(line[begin]))) ++begin;
    while (end > begin && isspace(static_cast<unsigned char>(line[end - 1]))) --end;
    return line.substr(begin, end - begin);
}

bool isIgnoredOptionLine(const std::string& trimmed) { return trimmed.empty() || trimmed[0] == '#'; }

namespace {

template <typename Char>
bool matchFrom(const Char* pattern, const Char* text) {
    for (; *pattern != 0; ++pattern, ++text) {
        if (*pattern == '*') {
            while (*pattern == '*') ++pattern;
            if (*pattern == 0) return true;
            for (const Char* t = text; *t != 0; ++t)
                if (matchFrom(pattern, t)) return true;
            return false;
        }
        if (*text == 0) return false;
        if (*pattern != '?' && *pattern != *text) return false;
    }
    return *text == 0;
}

}  // namespace

bool matchWildcard(const wchar_t* pattern, const wchar_t* text) { return matchFrom(pattern, text); }

bool matchWildcard(const std::string& pattern, const std::string& text) {
    return matchFrom(pattern.c_str(), text.c_str());
}

int majorJavaVersion(const std::string& versionText) {
    JavaVersion v = parseVersion(versionText);
    if (v.empty()) return -1;
    if (v[0] == 1 && v.size() > 1) return v[1];
    return v[0];
}

bool versionConditionMatches(const std::string& condition, const std::string& versionText) {
    bool matches = false;
    std::string shown = condition;
    if (!condition.empty() && condition[0] == '*') {
        matches = matchWildcard(condition.substr(1), versionText);
    } else {
        size_t dash = condition.find('-');
        if (dash == std::string::npos) {
            logLine(L"ERROR: expected dash");
        } else {
            int minimum = parseLeadingInt(condition.substr(0, dash).c_str());
            int maximum = parseLeadingInt(condition.substr(dash + 1).c_str());
            int major = majorJavaVersion(versionText);
            logLine(L"checking min %d max %d with %d", minimum, maximum, major);
            matches = minimum <= major && major <= maximum;
            shown = condition.substr(0, dash);
        }
    }
    logLine(L"checking version %S %d", shown.c_str(), matches ? 1 : 0);
    return matches;
}

int64_t parseMemorySize(const std::string& text) {
    const char* p = text.c_str();
    errno = 0;
    char* end = nullptr;
    long long number = strtoll(p, &end, 10);
    if (end == p || errno == ERANGE) return -1;
    // The suffix is what follows the leading digits of the text, so a sign or white space in
    // front leaves more than one character and the text is refused.
    const char* suffix = p;
    while (*suffix >= '0' && *suffix <= '9') ++suffix;
    size_t rest = strlen(suffix);
    if (rest == 0) return number;
    if (rest > 1) return -1;
    int64_t factor = 0;
    switch (*suffix) {
    case 'k': case 'K': factor = 1024; break;
    case 'm': case 'M': factor = 1048576; break;
    case 'g': case 'G': factor = 1073741824; break;
    case 't': case 'T': factor = 1099511627776LL; break;
    default: return -1;
    }
    // A size that would not fit 64 bits is no size at all.
    if (number > INT64_MAX / factor || number < INT64_MIN / factor) return -1;
    return number * factor;
}

uint32_t stackSizeFromOptions(const std::vector<std::string>& options) {
    uint32_t size = 0;
    for (const std::string& option : options) {
        if (option.compare(0, 4, "-Xss") != 0) continue;
        int64_t parsed = parseMemorySize(option.substr(4));
        if (parsed > 0) size = static_cast<uint32_t>(parsed);
    }
    if (size >= 1 && size <= 65535) size = 65536;
    return size;
}

bool isModuleOption(const std::string& option) {
    static const char* const kModuleOptions[] = {"--upgrade-module-path", "--add-modules", "--limit-modules",
                                                 "--add-exports", "--add-opens", "--add-reads", "--patch-module"};
    for (const char* name : kModuleOptions)
        if (option == name) return true;
    return false;
}

void joinModuleOptions(std::vector<std::string>& options) {
    for (size_t i = 0; i + 1 < options.size(); ++i) {
        if (isModuleOption(options[i])) {
            options[i] += "=" + options[i + 1];
            options.erase(options.begin() + static_cast<std::ptrdiff_t>(i) + 1);
        }
    }
}

ModuleOptions moduleOptions(bool moduleMode, const std::string& mainClass, const std::string& runtimeModule) {
    ModuleOptions result;
    std::string modules;
    if (moduleMode) {
        std::string text = mainClass;
        size_t slash = text.find('/');
        if (slash != std::string::npos) {
            size_t lastDot = text.rfind('.');
            if (lastDot != std::string::npos && lastDot > slash) {
                std::string modulePackage = text.substr(0, lastDot);
                result.addOpens = "--add-opens=" + modulePackage + "=" + runtimeModule;
            }
            text = text.substr(0, slash);
        }
        modules = text + ",";
    }
    result.addModules = "--add-modules=" + modules + runtimeModule;
    return result;
}

void removeEmptyOptions(std::vector<std::string>& options) {
    std::vector<std::string> kept;
    for (std::string& o : options)
        if (!o.empty()) kept.push_back(std::move(o));
    options.swap(kept);
}
