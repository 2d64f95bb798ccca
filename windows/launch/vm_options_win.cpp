#include "launch/vm_options.h"

#include "core/capacities.h"
#include "core/environment.h"
#include "core/library_loading.h"
#include "core/log.h"
#include "core/platform.h"
#include "core/text_format.h"
#include "jvmsearch/jvm_library.h"
#include "paths/expand_variables.h"
#include "paths/launcher_path.h"
#include "paths/path_helpers.h"

#include <io.h>
#include <jni.h>

#include <optional>
#include <string>

namespace {

constexpr DWORD kModuleNameCapacity = kPathCapacity;

// Tries the two default names made from `launcherPath`; the first that opens is returned.
FILE* openDefaultNamesOf(const std::wstring& launcherPath) {
    if (launcherPath.empty()) return nullptr;
    DefaultVmOptionsNames names = defaultVmOptionsNames(launcherPath);
    if (!names.replacingExtension.empty()) {
        FILE* file = _wfopen(names.replacingExtension.c_str(), L"rt");
        logLine(L"vmoptions2: exe %s file: %s, file: %p", launcherPath.c_str(), names.replacingExtension.c_str(),
                static_cast<void*>(file));
        if (file != nullptr) return file;
    }
    FILE* file = _wfopen(names.appendingExtension.c_str(), L"rt");
    logLine(L"vmoptions: opts2: %s, file: %p", names.appendingExtension.c_str(), static_cast<void*>(file));
    return file;
}

// The executable's path as the system gives it; empty when it cannot be read or does not
// fit, since a cut path would name another file.
std::wstring modulePath() {
    wchar_t name[kModuleNameCapacity];
    std::optional<size_t> length = moduleFileName(name, kModuleNameCapacity, TooLong::Refuse);
    return length ? std::wstring(name, *length) : std::wstring();
}

// The argument-file functions of the runtime's jli.dll. JLI_PreprocessArg answers with a
// list record whose first two fields are the strings and their count; the count is read as
// an int, which is also right for a runtime that declares it wider (the low bytes come
// first on Windows' little-endian targets).
struct JliList {
    char** elements;
    int size;
};
using InitArgProcessingFunction = void(JNICALL*)(jboolean hasJavaArgs, jboolean disableArgFile);
using PreprocessArgFunction = JliList*(JNICALL*)(const char* arg, jboolean expandSourceOpt);
using MemFreeFunction = void(JNICALL*)(void* pointer);

}  // namespace

FILE* ProcessOptionFiles::openText(const std::wstring& path) { return _wfopen(path.c_str(), L"rt"); }

std::string ProcessOptionFiles::fileIdentity(FILE* file, const wchar_t* path) {
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    BY_HANDLE_FILE_INFORMATION info;
    if (handle != INVALID_HANDLE_VALUE && GetFileInformationByHandle(handle, &info)) {
        return std::to_string(info.dwVolumeSerialNumber) + ":" + std::to_string(info.nFileIndexHigh) + ":" +
               std::to_string(info.nFileIndexLow);
    }
    if (path == nullptr) return std::string();
    wchar_t full[kOptionTextCapacity];
    if (!makeAbsolutePath(full, kOptionTextCapacity, path, false, false)) return std::string();
    bool lossy = false;
    return "path:" + toMultiByte(full, lossy);
}

bool ProcessOptionFiles::expand(wchar_t* text, size_t capacity, bool narrowForms) {
    return expandVariables(text, capacity, narrowForms);
}

std::string ProcessOptionFiles::toOptionText(const std::wstring& text) {
    bool lossy = false;
    return toMultiByte(text.c_str(), lossy);
}

std::wstring ProcessOptionFiles::widenAnsiLine(const std::string& line) { return fromMultiByte(line.c_str()); }

std::wstring ProcessOptionFiles::launcherDirectory() { return getLauncherDirectoryWide(); }

FILE* ProcessOptionFiles::openDefaultFile() {
    if (FILE* file = openDefaultNamesOf(getLauncherPathWide())) return file;
    return openDefaultNamesOf(modulePath());
}

void ProcessOptionFiles::expandArgumentFiles(OptionList& options) {
    logLine(L"@ argument found %d %S", static_cast<int>(options.size()), jvmBinDirectory);
    if (jvmBinDirectory[0] == 0) return;
    std::string narrowName = std::string(jvmBinDirectory) + "\\jli.dll";
    // The library stays loaded: the strings it hands out are released through it.
    DWORD loadError = 0;
    HMODULE jli = loadLibraryFromItsFolder(narrowName.c_str(), loadError);
    if (jli == nullptr) {
        logLine(L"did not find %S", narrowName.c_str());
        return;
    }
    auto initArgProcessing = lookupFunction<InitArgProcessingFunction>(jli, "JLI_InitArgProcessing");
    auto preprocessArg = lookupFunction<PreprocessArgFunction>(jli, "JLI_PreprocessArg");
    auto memFree = lookupFunction<MemFreeFunction>(jli, "JLI_MemFree");
    if (initArgProcessing == nullptr || preprocessArg == nullptr || memFree == nullptr) {
        logLine(L"did not find all list functions %p %p %p", reinterpret_cast<void*>(initArgProcessing),
                reinterpret_cast<void*>(preprocessArg), reinterpret_cast<void*>(memFree));
        return;
    }
    initArgProcessing(options.empty() ? JNI_FALSE : JNI_TRUE, JNI_FALSE);
    options =
        preprocessArgumentFiles(options, [&](const std::string& option) -> std::optional<std::vector<std::string>> {
            JliList* list = preprocessArg(option.c_str(), JNI_TRUE);
            if (list == nullptr) return std::nullopt;
            std::vector<std::string> strings;
            for (int i = 0; i < list->size; ++i)
                if (list->elements != nullptr && list->elements[i] != nullptr) strings.push_back(list->elements[i]);
            memFree(list->elements);
            memFree(list);
            return strings;
        });
}
