#include "paths/path_helpers_rules.h"

#include "core/text_helpers.h"

#include <cstring>
#include <cwchar>

namespace {

size_t textLength(const char* text) { return strlen(text); }
size_t textLength(const wchar_t* text) { return wcslen(text); }

template <typename Char>
void collapseRuns(Char* path) {
    if (path == nullptr || path[0] == 0 || path[1] == 0) return;
    Char* out = path + 2;
    Char previous = path[1];
    for (const Char* in = path + 2; *in != 0; ++in) {
        if (*in == '\\' && previous == '\\') continue;
        previous = *in;
        *out++ = *in;
    }
    *out = 0;
}

template <typename Char>
bool isRelative(const Char* path) {
    if (path == nullptr) return true;
    size_t length = textLength(path);
    if (path[0] == '"') {
        if (length < 4) return true;
        ++path;
    } else if (length < 3) {
        return true;
    }
    if (path[1] == ':' && path[2] == '\\') return false;
    if (path[0] == '\\' && path[1] == '\\') return false;
    return true;
}

template <typename Char>
bool sameText(const Char* a, const char* ascii) {
    for (; *ascii != 0; ++a, ++ascii)
        if (*a != static_cast<Char>(*ascii)) return false;
    return *a == 0;
}

template <typename Char>
bool isRootForm(const Char* path) {
    if (path == nullptr || path[0] == 0) return false;
    const Char* rest = path + 1;
    return sameText(rest, ":\\") || sameText(rest, ":\\.") || sameText(rest, ":\\.\\.");
}

// A name before the ending is required: ".exe" alone names no executable.
bool hasExeEnding(std::string_view path) { return path.size() > 4 && endsWithIgnoringAsciiCase(path, ".exe"); }
bool hasExeEnding(std::wstring_view path) { return path.size() > 4 && endsWithIgnoringAsciiCase(path, L".exe"); }

}  // namespace

void collapseBackslashes(wchar_t* path) { collapseRuns(path); }
void collapseBackslashesSingleByte(char* path) { collapseRuns(path); }

bool isRelativePath(const char* path) { return isRelative(path); }
bool isRelativePath(const wchar_t* path) { return isRelative(path); }

bool isDriveRootForm(const char* path) { return isRootForm(path); }
bool isDriveRootForm(const wchar_t* path) { return isRootForm(path); }

bool endsWithExe(const char* path) { return path != nullptr && hasExeEnding(path); }
bool endsWithExe(const wchar_t* path) { return path != nullptr && hasExeEnding(path); }

std::wstring collapsedBackslashes(const std::wstring& path) {
    std::vector<wchar_t> buffer(path.begin(), path.end());
    buffer.push_back(0);
    collapseBackslashes(buffer.data());
    return buffer.data();
}

std::string filePatternFor(const std::string& directory, const std::string& extension) {
    std::string pattern = directory + "\\*";
    if (extension.empty() || extension[0] != '.') pattern += '.';
    return pattern + extension;
}

std::wstring directoryOf(const std::wstring& path) {
    size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

std::optional<std::string> firstLineOfShellOutput(const std::string& output) {
    if (output.size() <= 5) return std::nullopt;
    size_t end = output.find_first_of("\r\n");
    if (end == std::string::npos) return std::nullopt;
    return output.substr(0, end);
}
