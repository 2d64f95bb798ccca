#include "launch/splash_rules.h"

#include "core/log.h"
#include "core/text_helpers.h"

#include <climits>
#include <cstring>

namespace {

// Included-file names are written with "\" but a configuration may use "/" as well.
std::wstring comparableName(const std::wstring& name) {
    std::wstring result;
    result.reserve(name.size());
    for (wchar_t c : name) result.push_back(c == L'/' ? L'\\' : asciiLower(c));
    return result;
}

bool startsWithBytes(const unsigned char* data, size_t size, const char* signature, size_t length) {
    return size >= length && std::memcmp(data, signature, length) == 0;
}

}  // namespace

SplashImageLocation locateSplashImage(const std::wstring& configured, const std::vector<std::wstring>& includedNames,
                                      const std::wstring& extractionDirectory) {
    SplashImageLocation location;
    if (configured.empty()) return location;
    std::wstring wanted = comparableName(configured);
    if (!extractionDirectory.empty()) {
        for (const std::wstring& name : includedNames) {
            if (name.empty() || comparableName(name) != wanted) continue;
            location.origin = SplashImageOrigin::IncludedFile;
            location.path = extractionDirectory;
            if (location.path.back() != L'\\') location.path += L'\\';
            location.path += name;
            return location;
        }
    }
    location.origin = SplashImageOrigin::BesideLauncher;
    location.path = configured;
    return location;
}

SplashImageFormat splashImageFormat(const unsigned char* data, size_t size) {
    if (startsWithBytes(data, size, "\x89PNG\r\n\x1a\n", 8)) return SplashImageFormat::Png;
    if (startsWithBytes(data, size, "GIF87a", 6) || startsWithBytes(data, size, "GIF89a", 6))
        return SplashImageFormat::Gif;
    if (startsWithBytes(data, size, "\xff\xd8\xff", 3)) return SplashImageFormat::Jpeg;
    return SplashImageFormat::Unknown;
}

const wchar_t* splashImageFormatName(SplashImageFormat format) {
    switch (format) {
    case SplashImageFormat::Png:
        return L"PNG";
    case SplashImageFormat::Gif:
        return L"GIF";
    case SplashImageFormat::Jpeg:
        return L"JPEG";
    case SplashImageFormat::Unknown:
        break;
    }
    return L"unknown";
}

bool acceptSplashImage(const std::vector<unsigned char>& image, const std::wstring& path) {
    SplashImageFormat format = splashImageFormat(image.data(), image.size());
    if (format == SplashImageFormat::Unknown) {
        logError(L"splash image %s is not a PNG, GIF or JPEG image", path.c_str());
        return false;
    }
    logLine(L"splash image %s (%s, %d bytes)", path.c_str(), splashImageFormatName(format),
            static_cast<int>(image.size()));
    return true;
}

std::string splashLibraryPath(const std::string& binDirectory) {
    std::string path = binDirectory;
    if (!path.empty() && path.back() != '\\') path += '\\';
    return path + kSplashLibraryName;
}

const char* missingSplashFunction(const SplashLibrary& library) {
    if (library.init == nullptr) return kSplashInitName;
    if (library.loadMemory == nullptr) return kSplashLoadMemoryName;
    if (library.setFileJarName == nullptr) return kSplashSetFileJarNameName;
    return nullptr;
}

bool showSplashImage(const SplashLibrary& library, std::vector<unsigned char>& image, const std::string& fileName) {
    // The library takes the size as an int; accepted images are far below that, but a
    // caller that skipped the limit must not have its size wrap.
    if (image.empty() || image.size() > kSplashImageMaxBytes || image.size() > static_cast<size_t>(INT_MAX)) {
        logError(L"splash image empty or too large, not shown");
        return false;
    }
    library.init();
    if (library.loadMemory(image.data(), static_cast<int>(image.size())) == 0) {
        logError(L"the splash screen library could not show the image");
        return false;
    }
    library.setFileJarName(fileName.empty() ? nullptr : fileName.c_str(), nullptr);
    logLine(L"splash screen shown");
    return true;
}
