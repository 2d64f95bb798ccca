#include "jvmsearch/jvm_library_rules.h"

namespace {

constexpr char kJavaName[] = "java.exe";
constexpr char kJavawName[] = "javaw.exe";

wchar_t foldAscii(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }
char foldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool endsWithIgnoringAsciiCase(const std::string& text, const std::string& suffix) {
    if (text.size() < suffix.size()) return false;
    size_t offset = text.size() - suffix.size();
    for (size_t i = 0; i < suffix.size(); ++i)
        if (foldAscii(text[offset + i]) != foldAscii(suffix[i])) return false;
    return true;
}

// Length of the executable's file name as the library loading sees it: javaw.exe when the
// path names it, otherwise the length of java.exe whatever the name is.
size_t executableNameLength(const std::string& javaExe) {
    return endsWithIgnoringAsciiCase(javaExe, kJavawName) ? sizeof kJavawName - 1 : sizeof kJavaName - 1;
}

bool startsWithIgnoringAsciiCase(const std::wstring& text, const std::wstring& prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (foldAscii(text[i]) != foldAscii(prefix[i])) return false;
    return true;
}

}  // namespace

std::string binDirectoryOf(const std::string& javaExe) {
    size_t nameLength = executableNameLength(javaExe);
    if (javaExe.size() <= nameLength) return std::string();
    return javaExe.substr(0, javaExe.size() - nameLength - 1);
}

std::string innerJreJavaExe(const std::string& javaExe) {
    size_t nameLength = executableNameLength(javaExe);
    if (javaExe.size() <= nameLength) return std::string();
    return javaExe.substr(0, javaExe.size() - nameLength) + "..\\jre\\bin\\java.exe";
}

std::vector<std::string> jvmSubdirectoryOrder(const std::string& configured) {
    std::vector<std::string> order;
    if (!configured.empty()) order.push_back(configured);
    for (const char* name : {"client", "server", "j9vm", "hotspot", "jrockit"}) order.push_back(name);
    return order;
}

std::string jvmLibraryPath(const std::string& binDirectory, const std::string& subdirectory) {
    return binDirectory + "\\" + subdirectory + "\\jvm.dll";
}

std::optional<std::wstring> prependToPath(const std::wstring& directory, const std::wstring& path,
                                          size_t capacity) {
    if (directory.size() + 1 + path.size() >= capacity) return std::nullopt;
    return directory + L";" + path;
}

std::wstring reducePathToWindowsDirectory(const std::wstring& path, const std::wstring& windowsDirectory) {
    std::wstring reduced;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(L';', start);
        if (end == std::wstring::npos) end = path.size();
        std::wstring entry = path.substr(start, end - start);
        if (!entry.empty() && startsWithIgnoringAsciiCase(entry, windowsDirectory)) {
            if (!reduced.empty()) reduced += L';';
            reduced += entry;
        }
        start = end + 1;
    }
    return reduced;
}

NativeLibraryPath composeNativeLibraryPath(const std::vector<std::wstring>& directories,
                                           const std::wstring& currentPath, size_t capacity) {
    NativeLibraryPath result;
    if (capacity == 0) {
        result.pathAppended = currentPath.empty();
        return result;
    }
    size_t limit = capacity - 1;
    for (const std::wstring& directory : directories) {
        size_t needed = result.value.size() + (result.value.empty() ? 0 : 1) + directory.size();
        // Room for the separator that will follow the last directory is kept as well, so
        // that a list which fits is never left without it.
        if (needed + 1 > limit) break;
        if (!result.value.empty()) result.value += L';';
        result.value += directory;
        ++result.directoriesKept;
    }
    if (!result.value.empty() && result.value.back() != L';') result.value += L';';
    if (result.value.size() + currentPath.size() <= limit)
        result.value += currentPath;
    else
        result.pathAppended = false;
    return result;
}

std::vector<std::string> nonEmptyEntries(const std::string& list) {
    std::vector<std::string> entries;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(';', start);
        if (end == std::string::npos) end = list.size();
        if (end > start) entries.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return entries;
}

bool needsUcrtbasePreload(unsigned long major, unsigned long minor) { return major < 6 || (major == 6 && minor < 4); }
