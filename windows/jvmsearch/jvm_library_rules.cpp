#include "jvmsearch/jvm_library_rules.h"

#include "core/text_helpers.h"

namespace {

constexpr char kJavaName[] = "java.exe";
constexpr char kJavawName[] = "javaw.exe";

// Length of the executable's file name as the library loading sees it: javaw.exe when the
// path names it, otherwise the length of java.exe whatever the name is.
size_t executableNameLength(const std::string& javaExe) {
    return endsWithIgnoringAsciiCase(javaExe, kJavawName) ? sizeof kJavawName - 1 : sizeof kJavaName - 1;
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

std::optional<std::wstring> prependToPath(const std::wstring& directory, const std::wstring& path, size_t capacity) {
    if (directory.size() + 1 + path.size() >= capacity) return std::nullopt;
    return directory + L";" + path;
}

std::wstring reducePathToWindowsDirectory(const std::wstring& path, const std::wstring& windowsDirectory) {
    std::wstring reduced;
    for (const std::wstring& entry : splitList(path, L';', EmptyPieces::Skip)) {
        if (!startsWithIgnoringAsciiCase(entry, windowsDirectory)) continue;
        if (!reduced.empty()) reduced += L';';
        reduced += entry;
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

bool needsUcrtbasePreload(unsigned long major, unsigned long minor) { return major < 6 || (major == 6 && minor < 4); }

std::string missingJvmLibraryReason(const std::vector<std::string>& binDirectories,
                                    const std::vector<std::string>& subdirectories) {
    std::string text = "no jvm.dll";
    for (size_t i = 0; i < binDirectories.size(); ++i) text += (i == 0 ? " below " : " or below ") + binDirectories[i];
    text += " in ";
    for (size_t i = 0; i < subdirectories.size(); ++i) {
        if (i > 0) text += i + 1 == subdirectories.size() ? " or " : ", ";
        text += subdirectories[i];
    }
    return text;
}

std::string bitnessReason(int launcherBits) {
    std::string bits = std::to_string(launcherBits);
    return "not a " + bits + "-bit library; this launcher runs " + bits + "-bit Java runtimes only";
}
