#include "launch/vm_options_rules.h"

#include "JavaVMLauncher/java_vm_launcher_rules.h"
#include "config/config_store.h"
#include "config/user_locale.h"
#include "core/log.h"
#include "core/text_format.h"
#include "core/text_helpers.h"
#include "jvmsearch/java_version.h"
#include "paths/path_helpers_rules.h"
#include "paths/selected_java.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cwchar>

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

void OptionFileEncodingJudge::feed(std::string_view bytes) {
    if (start_.size() < kUtf8MarkBytes.size()) start_.append(bytes.substr(0, kUtf8MarkBytes.size() - start_.size()));
    utf8_.feed(bytes);
}

OptionFileEncoding OptionFileEncodingJudge::encoding() const {
    if (start_ == kUtf8MarkBytes) return OptionFileEncoding::Utf8WithByteOrderMark;
    if (utf8_.valid() && utf8_.sawNonAscii()) return OptionFileEncoding::Utf8;
    return OptionFileEncoding::Ansi;
}

bool matchWildcard(const wchar_t* pattern, const wchar_t* text) { return matchVersionWildcard(pattern, text); }

bool matchWildcard(const std::string& pattern, const std::string& text) {
    return matchVersionWildcard(pattern.c_str(), text.c_str());
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

namespace {

const wchar_t kLocaleTrue[] = L"-Dsun.locale.formatasdefault=true";

std::wstring settingText(SettingId id) {
    std::vector<wchar_t> buffer(kOptionTextCapacity);
    getSettingWide(id, buffer.data(), buffer.size());
    return buffer.data();
}

int highestSettingId() { return configStore.settings.empty() ? 0 : configStore.settings.rbegin()->first; }

}  // namespace

void OptionFileReader::readFile(const wchar_t* fileName, FILE* file, OptionList& options,
                                ClassPathOverrides& overrides) {
    if (file == nullptr) return;
    std::string identity = system_.fileIdentity(file, fileName);
    if (!identity.empty() && std::find(beingRead_.begin(), beingRead_.end(), identity) != beingRead_.end()) {
        // A file that includes itself, directly or through others, would otherwise be read
        // until no more files can be opened; its options already come from the outer read.
        logLine(L"not reading %s again: it is already being read",
                fileName != nullptr ? fileName : L"the default vmoptions file");
        fclose(file);
        return;
    }
    beingRead_.push_back(identity);
    const OptionFileEncoding encoding = judgeEncoding(file);
    std::vector<char> piece(kOptionLinePieceBytes);
    // The bytes of a UTF-8 character that a full piece cut apart go to the front of the next.
    std::string carried;
    bool first = true;
    // A line longer than one piece arrives as several pieces, each a line of its own.
    while (fgets(piece.data(), static_cast<int>(piece.size()), file) != nullptr) {
        std::string bytes = carried + piece.data();
        carried.clear();
        if (first && encoding == OptionFileEncoding::Utf8WithByteOrderMark) bytes.erase(0, kUtf8MarkBytes.size());
        first = false;
        if (encoding != OptionFileEncoding::Ansi && (bytes.empty() || bytes.back() != '\n')) {
            size_t complete = completeUtf8Prefix(bytes);
            carried = bytes.substr(complete);
            bytes.resize(complete);
        }
        processPiece(fileName, bytes, encoding, options, overrides);
    }
    if (!carried.empty()) processPiece(fileName, carried, encoding, options, overrides);
    beingRead_.pop_back();
    fclose(file);
}

OptionFileEncoding OptionFileReader::judgeEncoding(FILE* file) {
    OptionFileEncodingJudge judge;
    std::vector<char> chunk(kOptionLinePieceBytes);
    size_t got = 0;
    while ((got = fread(chunk.data(), 1, chunk.size(), file)) > 0) judge.feed(std::string_view(chunk.data(), got));
    // Without a way back to the start the lines cannot be read; the file then adds nothing.
    if (fseek(file, 0, SEEK_SET) != 0) logError(L"could not read the vmoptions file again after judging its encoding");
    clearerr(file);
    OptionFileEncoding encoding = judge.encoding();
    logLine(L"vmoptions encoding: %s", encoding == OptionFileEncoding::Ansi   ? L"ANSI code page"
                                       : encoding == OptionFileEncoding::Utf8 ? L"UTF-8"
                                                                              : L"UTF-8 with byte-order mark");
    return encoding;
}

void OptionFileReader::processPiece(const wchar_t* fileName, const std::string& piece, OptionFileEncoding encoding,
                                    OptionList& options, ClassPathOverrides& overrides) {
    std::string line = trimOptionLine(piece);
    if (isIgnoredOptionLine(line)) return;
    std::wstring wide = encoding == OptionFileEncoding::Ansi ? system_.widenAnsiLine(line) : utf16FromUtf8(line);
    bool complete = true;
    std::wstring text = expanded(wide, kOptionLineCapacity, true, complete);
    if (!complete) logError(L"option line cut at %d characters by its expansion", int(kOptionLineCapacity - 1));
    processLine(fileName, text, options, overrides);
}

void OptionFileReader::readDefaultFile(OptionList& options, ClassPathOverrides& overrides) {
    FILE* file = system_.openDefaultFile();
    logLine(L"default vmoptions file: %p", static_cast<void*>(file));
    readFile(nullptr, file, options, overrides);
}

void OptionFileReader::processLine(const wchar_t* fileName, const std::wstring& line, OptionList& options,
                                   ClassPathOverrides& overrides) {
    OptionLine parsed = classifyOptionLine(line);
    switch (parsed.kind) {
    case OptionLineKind::IncludeOptions:
        includeFile(fileName, parsed.value, options, overrides);
        break;
    case OptionLineKind::ClassPathReplace:
        overrides.replacement = system_.toOptionText(parsed.value);
        break;
    case OptionLineKind::ClassPathPrepend:
        overrides.prepend = system_.toOptionText(parsed.value);
        break;
    case OptionLineKind::ClassPathAppend:
        overrides.append = system_.toOptionText(parsed.value);
        break;
    case OptionLineKind::Option:
        options.push_back(system_.toOptionText(parsed.value));
        break;
    }
}

void OptionFileReader::includeFile(const wchar_t* fileName, const std::wstring& operand, OptionList& options,
                                   ClassPathOverrides& overrides) {
    // A cut operand or path would name some other file, so texts that do not fit are refused.
    if (operand.size() >= kOptionTextCapacity) {
        logError(L"include operand longer than %d characters, not opened", int(kOptionTextCapacity - 1));
        return;
    }
    bool complete = true;
    std::wstring operandExpanded = expanded(operand, kOptionTextCapacity, false, complete);
    logLine(L"after exp from %s %s", operandExpanded.c_str(), operand.c_str());
    if (!complete) {
        logError(L"include operand longer than %d characters after expansion, not opened: %s",
                 int(kOptionTextCapacity - 1), operand.c_str());
        return;
    }
    std::wstring path = operandExpanded;
    if (isRelativePath(path.c_str()))
        path = (fileName != nullptr ? directoryOf(fileName) : system_.launcherDirectory()) + path;
    path = collapsedBackslashes(path);
    if (path.size() >= kOptionTextCapacity) {
        logError(L"include path longer than %d characters, not opened: %s", int(kOptionTextCapacity - 1), path.c_str());
        return;
    }
    FILE* file = system_.openText(path);
    logLine(L"adding vmoptions from (%p) <%s> (%s)", static_cast<void*>(file), path.c_str(), operandExpanded.c_str());
    readFile(path.c_str(), file, options, overrides);
    logLine(L"adding vmoptions 2");
    logLine(L"adding vmoptions 3");
}

void OptionFileReader::processList(const ArgumentList& list, OptionList& options, ClassPathOverrides& overrides) {
    for (const std::wstring& line : optionListLines(list)) processLine(nullptr, line, options, overrides);
}

void OptionFileReader::addConfigured(const ArgumentList& launcherArgs, OptionList& options,
                                     ClassPathOverrides& overrides) {
    ArgumentList configured = expandedList(settingText(SettingId::JvmOptions));
    logLine(L"adding options");
    processList(configured, options, overrides);
    addVersionSpecific(options, overrides);
    addLocaleOptions(launcherArgs, options, overrides);
}

void OptionFileReader::addVersionSpecific(OptionList& options, ClassPathOverrides& overrides) {
    int configuredCount = getSettingInt(SettingId::VersionOptionsCount);
    if (configuredCount > 0)
        logLine(L"check %d version specific vm option lines for %S", configuredCount, javaVersionText);
    if (javaVersionText == nullptr) return;
    int count = versionSpecificEntryCount(configuredCount, highestSettingId());
    for (int k = 0; k < count; ++k) {
        if (!versionConditionMatches(getSettingCopy(versionConditionSetting(k)), javaVersionText)) continue;
        std::wstring text = settingText(versionOptionsSetting(k));
        logLine(L"adding specific %s", text.c_str());
        processList(expandedList(text), options, overrides);
        return;  // only the first matching entry applies
    }
}

void OptionFileReader::addLocaleOptions(const ArgumentList& launcherArgs, OptionList& options,
                                        ClassPathOverrides& overrides) {
    std::wstring locale = lastLocaleArgument(launcherArgs);
    if (locale.empty()) return;
    processLine(nullptr, locale, options, overrides);
    if (locale == kLocaleTrue) return;
    // The recorded codes are two letters; the buffer leaves room for nothing longer.
    char code[3];
    if (getUserLanguage(code, sizeof code))
        processLine(nullptr, formatWideString(L"-Duser.language=%S", code), options, overrides);
    if (getUserCountry(code, sizeof code))
        processLine(nullptr, formatWideString(L"-Duser.country=%S", code), options, overrides);
}

ArgumentList OptionFileReader::expandedList(const std::wstring& text) {
    bool complete = true;
    std::wstring expandedText = expanded(text, kOptionTextCapacity, true, complete);
    if (!complete) logError(L"option string cut at %d characters by its expansion", int(kOptionTextCapacity - 1));
    return splitCommandLine(expandedText);
}

std::wstring OptionFileReader::expanded(const std::wstring& text, size_t capacity, bool narrowForms, bool& complete) {
    std::vector<wchar_t> buffer(capacity);
    complete = copyBounded(buffer.data(), buffer.size(), text.c_str());
    if (!system_.expand(buffer.data(), buffer.size(), narrowForms)) complete = false;
    return buffer.data();
}

DefaultVmOptionsNames defaultVmOptionsNames(const std::wstring& launcherPath) {
    DefaultVmOptionsNames names;
    if (launcherPath.size() >= 4)
        names.replacingExtension = launcherPath.substr(0, launcherPath.size() - 4) + L".vmoptions";
    names.appendingExtension = launcherPath + L".vmoptions";
    return names;
}

int versionSpecificEntryCount(int configuredCount, int highestSettingId) {
    if (configuredCount <= 0 || highestSettingId < kVersionOptionsFirstId) return 0;
    int byConfiguration = (highestSettingId - kVersionOptionsFirstId) / 2 + 1;
    // Entry k reads setting 10202 + 2k, which must still be an int.
    int byIdRange = (INT_MAX - (kVersionOptionsFirstId + 1)) / 2 + 1;
    return std::min({configuredCount, byConfiguration, byIdRange});
}

bool hasArgumentFileOption(const OptionList& options) {
    return std::any_of(options.begin(), options.end(), [](const std::string& o) { return !o.empty() && o[0] == '@'; });
}

OptionList preprocessArgumentFiles(const OptionList& options, const ArgumentPreprocessor& preprocess) {
    OptionList result;
    for (const std::string& option : options) {
        std::optional<std::vector<std::string>> replaced = preprocess(option);
        if (!replaced) {
            result.push_back(option);
            continue;
        }
        result.insert(result.end(), replaced->begin(), replaced->end());
    }
    return result;
}
