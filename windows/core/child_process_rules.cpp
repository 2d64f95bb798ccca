#include "core/child_process_rules.h"

#include <algorithm>

namespace {

template <typename Char>
std::basic_string<Char> firstWord(const std::basic_string<Char>& commandLine) {
    if (!commandLine.empty() && commandLine[0] == '"') {
        size_t close = commandLine.find('"', 1);
        if (close == std::basic_string<Char>::npos) return {};
        return commandLine.substr(1, close - 1);
    }
    size_t end = 0;
    while (end < commandLine.size() && commandLine[end] != ' ' && commandLine[end] != '\t') ++end;
    return commandLine.substr(0, end);
}

template <typename Char>
bool isFull(const std::basic_string<Char>& path) {
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') return true;
    bool letter = path.size() >= 3 && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
    return letter && path[1] == ':' && path[2] == '\\';
}

}  // namespace

std::wstring programOfCommandLine(const std::wstring& commandLine) { return firstWord(commandLine); }
std::string programOfCommandLine(const std::string& commandLine) { return firstWord(commandLine); }

bool isFullProgramPath(const std::wstring& path) { return isFull(path); }
bool isFullProgramPath(const std::string& path) { return isFull(path); }

std::vector<uintptr_t> handlesToInherit(const std::vector<uintptr_t>& handles) {
    std::vector<uintptr_t> kept;
    for (uintptr_t handle : handles)
        if (handle != 0 && std::find(kept.begin(), kept.end(), handle) == kept.end()) kept.push_back(handle);
    return kept;
}
