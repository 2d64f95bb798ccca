#include "jvmsearch/jvm_search_rules.h"

const wchar_t kPreferredLocationFile[] = L"\\.quillwork\\pref_jre.cfg";
const wchar_t kInstallerLocationFile[] = L"\\.quillwork\\inst_jre.cfg";

std::vector<SearchEntry> parseSearchSequence(const std::string& sequence) {
    std::vector<SearchEntry> entries;
    size_t start = 0;
    while (start <= sequence.size()) {
        size_t end = sequence.find(';', start);
        if (end == std::string::npos) end = sequence.size();
        if (end > start) {
            SearchEntry entry;
            entry.letter = sequence[start];
            entry.value = sequence.substr(start + 1, end - start - 1);
            entries.push_back(entry);
        }
        start = end + 1;
    }
    return entries;
}

bool isDirectoryEntry(char letter) { return letter == 'A' || letter == 'B' || letter == 'R'; }

bool isAbsoluteLocation(const std::string& value) {
    if (value.size() <= 1) return false;
    return value[1] == ':' || (value[0] == '\\' && value[1] == '\\');
}

bool takesPartInFallbackPass(const SearchEntry& entry) {
    if (entry.letter == 'B') return true;
    if (entry.letter == 'A' || entry.letter == 'R') return !isAbsoluteLocation(entry.value);
    return false;
}

FailureMessage failureMessageFor(LocationKind kind, const std::string& location, int launcherBits) {
    FailureMessage message;
    switch (kind) {
    case LocationKind::None:
    case LocationKind::Path:
        message.id = 1016;
        message.hasArgument = true;
        message.argument = std::to_string(launcherBits);
        break;
    case LocationKind::Directory:
        message.id = 1019;
        message.hasArgument = true;
        message.argument = location;
        break;
    case LocationKind::Environment:
        message.id = 1017;
        message.hasArgument = true;
        message.argument = location;
        break;
    case LocationKind::Registry:
        message.id = 1005;
        break;
    }
    return message;
}

std::wstring locationFilePath(const std::wstring& rootDirectory, const std::wstring& name) {
    if (!rootDirectory.empty() && rootDirectory.back() == L'\\' && !name.empty() && name.front() == L'\\')
        return rootDirectory + name.substr(1);
    return rootDirectory + name;
}

void stripLineEnd(std::string& line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
}
