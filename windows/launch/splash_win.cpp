#include "launch/splash.h"

#include "config/config_ids.h"
#include "config/config_store.h"
#include "config/extraction.h"
#include "config/extraction_rules.h"
#include "core/capacities.h"
#include "core/handles.h"
#include "core/launcher_state.h"
#include "core/library_loading.h"
#include "core/log.h"
#include "core/platform.h"
#include "jvmsearch/jvm_library.h"
#include "launch/splash_rules.h"
#include "paths/expand_variables.h"
#include "paths/path_helpers.h"

#include <string>
#include <utility>
#include <vector>

namespace {

// The image setting, read wide and expanded as other configured paths are.
std::wstring configuredImage() {
    std::vector<wchar_t> text(kPathCapacity);
    getSettingWide(SettingId::SplashImage, text.data(), text.size());
    expandVariables(text.data(), text.size(), false);
    return text.data();
}

std::vector<std::wstring> includedFileNames() {
    std::vector<std::wstring> names;
    for (const std::string& name :
         includedFileTokens(getSettingCopy(SettingId::IncludedFilePaths), getSettingInt(SettingId::IncludedFileCount)))
        names.push_back(fromMultiByte(name.c_str()));
    return names;
}

// The full wide path of the image; empty (and logged) when it cannot be made absolute.
std::wstring imagePath(const SplashImageLocation& location) {
    if (location.origin == SplashImageOrigin::IncludedFile) return location.path;
    std::vector<wchar_t> absolute(kPathCapacity);
    if (!makeAbsolutePath(absolute.data(), absolute.size(), location.path.c_str(), false, true)) return std::wstring();
    return absolute.data();
}

// The whole file, through the wide path so that any file name works; false (logged) when it
// cannot be opened, is larger than the limit or cannot be read to its end.
bool readImage(const std::wstring& path, std::vector<unsigned char>& image) {
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        DWORD error = GetLastError();
        logError(L"splash image %s could not be opened (error %d)", path.c_str(), static_cast<int>(error));
        return false;
    }
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
        static_cast<uint64_t>(size.QuadPart) > kSplashImageMaxBytes) {
        logError(L"splash image %s is larger than %d bytes or of unknown size", path.c_str(),
                 static_cast<int>(kSplashImageMaxBytes));
        return false;
    }
    image.resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < image.size()) {
        DWORD chunk = 0;
        DWORD wanted = static_cast<DWORD>(image.size() - done);
        if (!ReadFile(file.get(), image.data() + done, wanted, &chunk, nullptr) || chunk == 0) {
            DWORD error = GetLastError();
            logError(L"splash image %s could not be read (error %d)", path.c_str(), static_cast<int>(error));
            return false;
        }
        done += chunk;
    }
    return true;
}

// The runtime's splashscreen.dll, loaded by its full path from the directory jvm.dll was
// loaded from. Its own dependencies (the runtime's other libraries) are looked for beside it
// first. Null (logged) when the runtime has none or it does not load.
HMODULE loadSplashLibrary() {
    std::wstring path = fromMultiByte(splashLibraryPath(jvmBinDirectory).c_str());
    if (path.empty() || !pathExists(path.c_str())) {
        logLine(L"no splash screen library %s in the runtime, starting without a splash screen", path.c_str());
        return nullptr;
    }
    DWORD error = 0;
    HMODULE module = loadLibraryFromItsFolder(path.c_str(), error);
    if (module == nullptr) {
        logError(L"splash screen library %s could not be loaded (error %d)", path.c_str(), static_cast<int>(error));
        return nullptr;
    }
    logLine(L"loaded splash screen library %s", path.c_str());
    return module;
}

SplashLibrary resolveSplashFunctions(HMODULE module) {
    SplashLibrary library;
    library.init = lookupFunction<decltype(library.init)>(module, kSplashInitName);
    library.loadMemory = lookupFunction<decltype(library.loadMemory)>(module, kSplashLoadMemoryName);
    library.setFileJarName = lookupFunction<decltype(library.setFileJarName)>(module, kSplashSetFileJarNameName);
    return library;
}

}  // namespace

void showSplashScreen() {
    SplashImageLocation location =
        locateSplashImage(configuredImage(), includedFileNames(), fromMultiByte(extractionDirectory));
    if (location.origin == SplashImageOrigin::None) return;
    if (serviceMode) {
        // A service's child runs without the user's desktop: nobody would see the window.
        logLine(L"no splash screen in a service");
        return;
    }
    std::wstring path = imagePath(location);
    if (path.empty()) return;

    std::vector<unsigned char> image;
    if (!readImage(path, image) || !acceptSplashImage(image, path)) return;

    ModuleHandle module(loadSplashLibrary());
    if (!module.valid()) return;
    SplashLibrary library = resolveSplashFunctions(module.get());
    if (const char* missing = missingSplashFunction(library)) {
        logError(L"splash screen library lacks %S, starting without a splash screen", missing);
        return;
    }
    // The image goes over from memory, read through the wide path above, so a file name the
    // 8-bit code page cannot hold is no obstacle; the 8-bit name only feeds getImageURL.
    bool lossy = false;
    std::string fileName = toMultiByte(path.c_str(), lossy);
    if (lossy) fileName.clear();
    // Once called into, the library runs its window thread: it stays loaded whatever the
    // outcome, and the JVM finds it loaded when its splash support asks for it.
    (void)module.release();
    // The bytes stay for the life of the process as well, as the window they feed does.
    std::vector<unsigned char>* kept = new std::vector<unsigned char>(std::move(image));
    showSplashImage(library, *kept, fileName);
}
