#include "jvmsearch/jvm_library.h"

#include "config/config_store.h"
#include "core/capacities.h"
#include "core/environment.h"
#include "core/library_loading.h"
#include "core/log.h"
#include "core/text_format.h"
#include "core/text_helpers.h"
#include "jvmsearch/java_check_rules.h"
#include "jvmsearch/jvm_library_rules.h"
#include "paths/expand_variables.h"
#include "paths/path_helpers.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

// Written by tryJvmDll on the main thread during the search; read later by the option
// stages, which load jli.dll from it.
char jvmBinDirectory[kPathCapacity];
// Written once by resolveCreateJavaVM on the main thread before the JVM thread starts.
CreateJavaVMFunction createJavaVM = nullptr;

namespace {

// PATH is read in UTF-16 throughout, so that entries outside the ANSI code page survive
// being saved and put back.
using PathValue = EnvironmentValue<wchar_t>;

// The C runtime keeps its own copy of the environment, taken at start-up; anything the
// launcher itself later reads or hands to children through the runtime library must see
// the same PATH. An unset value removes the variable there too.
void setRuntimeLibraryPath(const std::wstring* value) {
    std::wstring assignment = L"PATH=" + (value == nullptr ? std::wstring() : *value);
    if (_wputenv(assignment.c_str()) != 0) logError(L"could not set PATH in the runtime library's environment");
}

// Sets PATH in the process environment (nullptr removes it); false with the system error
// when that fails.
bool setProcessPath(const std::wstring* value, DWORD& error) {
    if (SetEnvironmentVariableW(L"PATH", value == nullptr ? nullptr : value->c_str())) return true;
    error = GetLastError();
    return false;
}

// Puts the bin directory in front of PATH for the libraries the JVM loads by name. Returns
// whether PATH was changed; a value that would not fit the PATH capacity is refused and
// PATH left alone (the load is still attempted: the library may not need it).
bool putBinDirectoryOnPath(const std::string& binDirectory, const PathValue& saved) {
    std::wstring wideBinDirectory = fromMultiByte(binDirectory.c_str());
    std::optional<std::wstring> composed =
        wideBinDirectory.empty() ? std::nullopt : prependToPath(wideBinDirectory, saved.text, kPathValueCapacity);
    if (!composed) {
        logError(L"PATH with %S in front would not fit %d characters; PATH left unchanged", binDirectory.c_str(),
                 static_cast<int>(kPathValueCapacity - 1));
        return false;
    }
    DWORD error = 0;
    if (setProcessPath(&*composed, error))
        logLine(L"Setting PATH %d %s", static_cast<int>(saved.reportedSize), composed->c_str());
    else
        logLine(L"Setting PATH %s failed with error %d", composed->c_str(), static_cast<int>(error));
    setRuntimeLibraryPath(&*composed);
    return true;
}

// Puts PATH back as it was before putBinDirectoryOnPath, including its absence.
void restorePath(const PathValue& saved) {
    const std::wstring* value = saved.set ? &saved.text : nullptr;
    DWORD error = 0;
    if (setProcessPath(value, error))
        logLine(L"Setting PATH %s", saved.text.c_str());
    else
        logLine(L"Setting PATH %s failed with error %d", saved.text.c_str(), static_cast<int>(error));
    setRuntimeLibraryPath(value);
}

HMODULE kernel32() { return GetModuleHandleW(L"kernel32.dll"); }

// Resolves each configured native library directory against the launcher directory and
// registers it as a DLL directory for the rest of the run. Entries that cannot be resolved
// are left out (the path helper logs why).
std::vector<std::wstring> resolveNativeLibraryDirectories(const char* list) {
    std::vector<std::wstring> directories;
    for (const std::string& entry : splitList(list, ';', EmptyPieces::Skip)) {
        char resolved[kPathCapacity];
        if (!makeAbsolutePath(resolved, sizeof resolved, entry.c_str(), true)) continue;
        std::wstring wide = fromMultiByte(resolved);
        if (wide.empty()) {
            logError(L"native library directory %S cannot be converted, left out", resolved);
            continue;
        }
        addDllDirectory(resolved);
        directories.push_back(wide);
    }
    return directories;
}

// A runtime that holds no JVM library in any folder that was tried is refused with that
// reason; one whose libraries exist but did not load has its error codes logged already.
void logMissingJvmLibrary(const char* javaExe, const std::vector<std::string>& binDirectories) {
    char configured[kJvmTypeCapacity];
    getSetting(SettingId::JvmType, configured, sizeof configured);
    std::vector<std::string> subdirectories;
    for (const std::string& subdirectory : jvmSubdirectoryOrder(configured)) {
        for (const std::string& binDirectory : binDirectories)
            if (pathExists(jvmLibraryPath(binDirectory, subdirectory).c_str())) return;
        if (std::find(subdirectories.begin(), subdirectories.end(), subdirectory) == subdirectories.end())
            subdirectories.push_back(subdirectory);
    }
    logLine(L"%S", runtimeRefusedLine(javaExe, missingJvmLibraryReason(binDirectories, subdirectories)).c_str());
}

}  // namespace

HMODULE loadJvmLibrary(const char* javaExe) {
    logLine(L"Trying to load JVM-DLL from %S", javaExe);
    HMODULE module = loadJvmFromBinDir(javaExe);
    if (module != nullptr) return module;
    std::string alternative = innerJreJavaExe(javaExe);
    if (alternative.empty()) return nullptr;
    if (alternative.size() >= kPathCapacity) {
        logError(L"path of the inner runtime of %S is too long", javaExe);
        return nullptr;
    }
    module = loadJvmFromBinDir(alternative.c_str());
    if (module == nullptr) logMissingJvmLibrary(javaExe, {binDirectoryOf(javaExe), binDirectoryOf(alternative)});
    return module;
}

HMODULE loadJvmFromBinDir(const char* javaExe) {
    std::string binDirectory = binDirectoryOf(javaExe);
    if (binDirectory.empty()) {
        logError(L"no bin directory in %S", javaExe);
        return nullptr;
    }
    DllDirectoryCookie cookie = addDllDirectory(binDirectory.c_str());
    preloadUcrtbase(binDirectory.c_str());
    PathValue savedPath = readVariable(L"PATH");
    bool pathChanged = putBinDirectoryOnPath(binDirectory, savedPath);

    char configured[kJvmTypeCapacity];
    getSetting(SettingId::JvmType, configured, sizeof configured);
    HMODULE module = nullptr;
    for (const std::string& subdirectory : jvmSubdirectoryOrder(configured)) {
        module = tryJvmDll(binDirectory.c_str(), subdirectory.c_str());
        if (module != nullptr) break;
    }
    if (module == nullptr) {
        removeDllDirectory(cookie);
        if (pathChanged) restorePath(savedPath);
    }
    return module;
}

HMODULE tryJvmDll(const char* binDirectory, const char* subdirectory) {
    std::string path = jvmLibraryPath(binDirectory, subdirectory);
    if (path.size() >= kPathCapacity) {
        logError(L"JVM library path longer than %d characters: %S", static_cast<int>(kPathCapacity - 1), path.c_str());
        return nullptr;
    }
    bool exists = pathExists(path.c_str());
    logLine(L"Trying %S (exists %d)", path.c_str(), exists ? 1 : 0);
    // Loaded even when the search did not see the file: the search may be wrong about a
    // path the loader can still open, and a missing file simply fails here. The library's
    // own folder is searched first for its imports; the C runtime a real jvm.dll needs from
    // bin is found through PATH, where loadJvmFromBinDir has put bin.
    DWORD error = 0;
    HMODULE module = loadLibraryFromItsFolder(path.c_str(), error);
    if (module == nullptr) {
        if (exists) logLine(L"Failed with error code %d", static_cast<int>(error));
        if (exists && error == ERROR_BAD_EXE_FORMAT)
            logLine(L"%S", runtimeRefusedLine(path, bitnessReason(LAUNCHER_BITS)).c_str());
        return nullptr;
    }
    copyBounded(jvmBinDirectory, sizeof jvmBinDirectory, binDirectory);
    return module;
}

void preloadUcrtbase(const char* binDirectory) {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version) || !needsUcrtbasePreload(version.dwMajorVersion, version.dwMinorVersion)) return;
    std::string path = std::string(binDirectory) + "\\ucrtbase.dll";
    if (path.size() >= kPathCapacity || !pathExists(path.c_str())) return;

    logLine(L"Preloading ucrtbase.dll 4");
    // The system's copy wins where the system has one (the universal C runtime update is
    // installed); the runtime's copy is for systems without it. Both by full path: a load by
    // name would also look in the launcher's folder and the current directory, where any
    // file of that name would be taken.
    DWORD systemError = 0;
    DWORD runtimeError = 0;
    if (loadSystemLibrary(L"ucrtbase.dll", systemError) == nullptr &&
        loadLibraryFromItsFolder(path.c_str(), runtimeError) == nullptr)
        logLine(L"Could not preload ucrtbase.dll");
}

DllDirectoryCookie addDllDirectory(const char* directory) {
    if (getSettingInt(SettingId::AddDllDirectories) == 0) return nullptr;
    using AddDllDirectoryFunction = DllDirectoryCookie(WINAPI*)(const wchar_t*);
    auto add = lookupFunction<AddDllDirectoryFunction>(kernel32(), "AddDllDirectory");
    if (add == nullptr) return nullptr;
    wchar_t wide[kPathCapacity];
    if (MultiByteToWideChar(fileSystemCodePage(), 0, directory, -1, wide, static_cast<int>(kPathCapacity)) == 0)
        return nullptr;
    logLine(L"Adding DLL directory %s", wide);
    return add(wide);
}

void removeDllDirectory(DllDirectoryCookie cookie) {
    if (cookie == nullptr) return;
    using RemoveDllDirectoryFunction = BOOL(WINAPI*)(DllDirectoryCookie);
    auto remove = lookupFunction<RemoveDllDirectoryFunction>(kernel32(), "RemoveDllDirectory");
    if (remove == nullptr) return;
    logLine(L"Removing DLL directory");
    remove(cookie);
}

bool resolveCreateJavaVM(HMODULE module) {
    if (module == nullptr) return false;
    CreateJavaVMFunction function = lookupFunction<CreateJavaVMFunction>(module, "JNI_CreateJavaVM");
    if (function == nullptr) return false;
    createJavaVM = function;
    return true;
}

void setNativeLibraryPath() {
    char configured[kPathCapacity];
    getSetting(SettingId::NativeDirectories, configured, sizeof configured);
    logLine(L"native lib dir is %S", configured);
    if (!expandVariablesNarrow(configured, sizeof configured)) {
        // The cut fell inside the last entry, which would name a wrong directory.
        char* lastSeparator = strrchr(configured, ';');
        if (lastSeparator != nullptr)
            *lastSeparator = 0;
        else
            configured[0] = 0;
        logError(L"native library directories too long after expansion; the last one is left out");
    }
    std::vector<std::wstring> directories = resolveNativeLibraryDirectories(configured);

    PathValue currentPath = readVariable(L"PATH");
    NativeLibraryPath path = composeNativeLibraryPath(directories, currentPath.text, kPathValueCapacity);
    if (path.directoriesKept < directories.size())
        logError(L"native library directories beyond %d characters are left out",
                 static_cast<int>(kPathValueCapacity - 1));
    if (!path.pathAppended)
        logError(L"PATH of %d characters does not fit after the native library directories and is not appended",
                 static_cast<int>(currentPath.text.size()));

    DWORD error = 0;
    if (setProcessPath(&path.value, error))
        logLine(L"Setting PATH (native libs) %s", path.value.c_str());
    else
        logLine(L"Setting PATH (native libs) %s failed with error %d", path.value.c_str(), static_cast<int>(error));
    setRuntimeLibraryPath(&path.value);
}

void reducePath() {
    if (getSettingInt(SettingId::ReducePath) == 0) return;
    PathValue path = readVariable(L"PATH");
    if (!path.set) return;
    wchar_t windowsDirectory[MAX_PATH];
    UINT length = GetWindowsDirectoryW(windowsDirectory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;

    logLine(L"reducing PATH %d %d %s", static_cast<int>(length), static_cast<int>(path.reportedSize),
            path.text.c_str());
    std::wstring reduced = reducePathToWindowsDirectory(path.text, windowsDirectory);
    logLine(L"reduced PATH %d to %s", static_cast<int>(reduced.size()), reduced.c_str());
    // Only the process environment: the runtime library's copy is brought in line when the
    // native library path is set before the JVM is loaded.
    if (!reduced.empty() && !SetEnvironmentVariableW(L"PATH", reduced.c_str())) logLine(L"ERROR setting path");
}

void clearJavaOptionsEnv() {
    static const char* const names[] = {"_JAVA_OPTIONS", "JDK_JAVA_OPTIONS", "JAVA_TOOL_OPTIONS"};
    for (const char* name : names) SetEnvironmentVariableA(name, nullptr);
    // An assignment with nothing after "=" removes the variable from the runtime library's
    // copy as well, so that nothing the launcher reads or starts through it sees the old value.
    for (const char* name : names) {
        std::string assignment = std::string(name) + "=";
        _putenv(assignment.c_str());
    }
}
