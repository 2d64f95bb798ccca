#include "paths/expand_variables_rules.h"

#include "core/log.h"
#include "core/text_format.h"

#include <algorithm>
#include <string_view>

namespace {

template <typename Char>
size_t boundedLength(const Char* text, size_t capacity) {
    size_t length = 0;
    while (length < capacity && text[length] != 0) ++length;
    return length;
}

std::wstring wideForLog(const std::wstring& text) { return text; }
std::wstring wideForLog(const std::string& text) { return widenBytes(text.c_str(), text.size()); }

template <typename Char>
void logCut(const std::basic_string<Char>& placeholder, size_t limit) {
    logError(L"text cut at %d characters while expanding %s", static_cast<int>(limit), wideForLog(placeholder).c_str());
}

// The replacement loop shared by the three flavours. `value` is already in the text's
// character type; `logReplacement` writes the flavour's own "expanding2" line.
template <typename Char, typename LogReplacement>
bool replaceEvery(Char* text, size_t capacity, const std::basic_string<Char>& placeholder,
                  const std::basic_string<Char>& value, LogReplacement logReplacement) {
    if (text == nullptr || capacity == 0 || placeholder.empty()) return true;
    const size_t limit = capacity - 1;
    size_t length = boundedLength(text, capacity);
    if (length == capacity) {
        // The caller handed an unterminated buffer: it is terminated inside its bounds and
        // treated as a text that was already cut.
        text[limit] = 0;
        logCut(placeholder, limit);
        return false;
    }
    size_t from = 0;
    for (;;) {
        size_t at = std::basic_string_view<Char>(text, length).find(placeholder, from);
        if (at == std::basic_string_view<Char>::npos) return true;
        const size_t tailStart = at + placeholder.size();
        std::basic_string<Char> tail(text + tailStart, length - tailStart);
        const size_t room = limit - at;
        const size_t valuePart = std::min(value.size(), room);
        const size_t tailPart = std::min(tail.size(), room - valuePart);
        std::copy(value.begin(), value.begin() + valuePart, text + at);
        std::copy(tail.begin(), tail.begin() + tailPart, text + at + valuePart);
        length = at + valuePart + tailPart;
        text[length] = 0;
        if (valuePart < value.size() || tailPart < tail.size()) {
            logCut(placeholder, limit);
            return false;
        }
        logReplacement();
        from = at + value.size();
    }
}

std::wstring wideFromAscii(const char* text) { return widenBytes(text); }

enum class Source { LauncherDirectory, ExtractionDirectory, Separator, JvmHome, TempDirectory };

struct Step {
    const char* placeholder;
    Source source;
};

// Steps 1-13 of the expansion order. Later steps see the values that earlier ones inserted,
// so this order decides which placeholders a directory or variable value may carry.
const Step kSteps[] = {
    {"%RAVEL_EXEDIR%", Source::LauncherDirectory},
    {"%QUILLWORK_EXEDIR%", Source::LauncherDirectory},
    {"%RAVEL_TEMPDIR%", Source::ExtractionDirectory},
    {"%QUILLWORK_TEMPDIR%", Source::ExtractionDirectory},
    {"%RAVEL_PATHLIST_SEPARATOR%", Source::Separator},
    {"%QUILLWORK_PATHLIST_SEPARATOR%", Source::Separator},
    {"%RAVEL_JVM_HOME%", Source::JvmHome},
    {"%QUILLWORK_JVM_HOME%", Source::JvmHome},
    {"${RAVEL_EXEDIR}", Source::LauncherDirectory},
    {"${QUILLWORK_EXEDIR}", Source::LauncherDirectory},
    {"${RAVEL_TEMPDIR}", Source::ExtractionDirectory},
    {"${QUILLWORK_TEMPDIR}", Source::ExtractionDirectory},
    {"${RAVEL_PATHLIST_SEPARATOR}", Source::Separator},
    {"${QUILLWORK_PATHLIST_SEPARATOR}", Source::Separator},
    {"${RAVEL_JVM_HOME}", Source::JvmHome},
    {"${QUILLWORK_JVM_HOME}", Source::JvmHome},
    {"${launcher:sys.launcherDirectory}", Source::LauncherDirectory},
    {"${launcher:sys.launcherTempDirectory}", Source::ExtractionDirectory},
    {"${launcher:sys.pathlistSeparator}", Source::Separator},
    {"${launcher:sys.jvmHome}", Source::JvmHome},
    {"${launcher:sys.tempDir}", Source::TempDirectory},
};

// Whether the text in a buffer of `capacity` holds `placeholder`; decides whether a value
// that is costly to get is needed at all.
template <typename Char>
bool holds(const Char* text, size_t capacity, const std::basic_string<Char>& placeholder) {
    std::basic_string_view<Char> view(text, boundedLength(text, capacity));
    return view.find(placeholder) != std::basic_string_view<Char>::npos;
}

bool replaceStep(wchar_t* text, size_t capacity, const Step& step, const WideExpansionValues& values) {
    std::wstring placeholder = wideFromAscii(step.placeholder);
    switch (step.source) {
    case Source::LauncherDirectory:
        return replaceAll(text, capacity, placeholder.c_str(), values.launcherDirectory.c_str());
    case Source::ExtractionDirectory:
        return replaceAll(text, capacity, placeholder.c_str(), values.extractionDirectory.c_str());
    case Source::Separator:
        return replaceAll(text, capacity, placeholder.c_str(), L";");
    case Source::JvmHome:
        return replaceAll(text, capacity, placeholder.c_str(), values.jvmHome.c_str());
    case Source::TempDirectory:
        if (!holds(text, capacity, placeholder)) return true;
        return replaceAll(text, capacity, placeholder.c_str(),
                          values.tempDirectory ? values.tempDirectory().c_str() : L"");
    }
    return true;
}

bool replaceStep(char* text, size_t capacity, const Step& step, const NarrowExpansionValues& values) {
    const char* value = ";";
    std::string temp;
    switch (step.source) {
    case Source::LauncherDirectory:
        value = values.launcherDirectory.c_str();
        break;
    case Source::ExtractionDirectory:
        value = values.extractionDirectory.c_str();
        break;
    case Source::Separator:
        break;
    case Source::JvmHome:
        value = values.jvmHome.c_str();
        break;
    case Source::TempDirectory:
        if (!holds(text, capacity, std::string(step.placeholder))) return true;
        if (values.tempDirectory) temp = values.tempDirectory();
        value = temp.c_str();
        break;
    }
    return replaceAll(text, capacity, step.placeholder, value);
}

template <typename Char>
std::basic_string<Char> upperAscii(std::basic_string<Char> text) {
    for (Char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<Char>(c - 'a' + 'A');
    return text;
}

// Step 14. A variable is offered under the spelling of the block and under its upper-case
// spelling (so "Path" answers "${Path}" and "${PATH}", never "${path}"). When both spellings
// are the same the second pass is skipped: it would only find the placeholder again inside
// the value just inserted.
template <typename Char>
bool replaceEnvironment(Char* text, size_t capacity, const std::vector<std::basic_string<Char>>& environment) {
    static const Char open[] = {'$', '{', 0};
    for (const std::basic_string<Char>& entry : environment) {
        size_t equals = entry.find(Char('='));
        if (equals == std::basic_string<Char>::npos) continue;
        std::basic_string<Char> placeholder = open + entry.substr(0, equals) + Char('}');
        if (placeholder.size() >= kPlaceholderCapacity) continue;
        std::basic_string<Char> value = entry.substr(equals + 1);
        if (!replaceAll(text, capacity, placeholder.c_str(), value.c_str())) return false;
        std::basic_string<Char> upper = upperAscii(placeholder);
        if (upper != placeholder && !replaceAll(text, capacity, upper.c_str(), value.c_str())) return false;
    }
    return true;
}

template <typename Char, typename Values>
bool expandAll(Char* text, size_t capacity, const Values& values) {
    for (const Step& step : kSteps)
        if (!replaceStep(text, capacity, step, values)) return false;
    return replaceEnvironment(text, capacity, values.environment);
}

}  // namespace

// A missing placeholder replaces nothing; a missing value counts as empty.
bool replaceAll(wchar_t* text, size_t capacity, const wchar_t* placeholder, const wchar_t* value) {
    if (placeholder == nullptr) return true;
    if (value == nullptr) value = L"";
    return replaceEvery<wchar_t>(text, capacity, placeholder, value,
                                 [&] { logLine(L"expanding2 %s to %s in %s.", placeholder, value, text); });
}

bool replaceAll(wchar_t* text, size_t capacity, const wchar_t* placeholder, const char* value) {
    if (placeholder == nullptr) return true;
    if (value == nullptr) value = "";
    return replaceEvery<wchar_t>(text, capacity, placeholder, widenBytes(value),
                                 [&] { logLine(L"expanding2 %s to %S in %s.", placeholder, value, text); });
}

bool replaceAll(char* text, size_t capacity, const char* placeholder, const char* value) {
    if (placeholder == nullptr) return true;
    if (value == nullptr) value = "";
    return replaceEvery<char>(text, capacity, placeholder, value,
                              [&] { logLine(L"expanding2 %S to %S in %S.", placeholder, value, text); });
}

bool expandWithValues(wchar_t* text, size_t capacity, const WideExpansionValues& values) {
    return expandAll(text, capacity, values);
}

bool expandWithValues(char* text, size_t capacity, const NarrowExpansionValues& values) {
    return expandAll(text, capacity, values);
}

namespace {

template <typename Char>
std::vector<std::basic_string<Char>> entriesOf(const Char* block) {
    std::vector<std::basic_string<Char>> entries;
    if (block == nullptr) return entries;
    while (*block != 0) {
        std::basic_string<Char> entry(block);
        block += entry.size() + 1;
        entries.push_back(std::move(entry));
    }
    return entries;
}

}  // namespace

std::vector<std::wstring> environmentEntries(const wchar_t* block) { return entriesOf(block); }
std::vector<std::string> environmentEntries(const char* block) { return entriesOf(block); }
