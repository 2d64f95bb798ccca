// The portable half of the splash screen: which image file the configuration names, whether
// its content is an image the runtime's splash-screen library can decode, where that library
// lies in a runtime, and the order in which its C entry points are called to show the image.
// The Win32 shell (splash_win.cpp) reads the file and loads the library; a native host can
// drive the same sequence with the Linux runtime's libsplashscreen.so.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A splash image larger than this is not read: the library decodes it in one piece before
// the JVM even exists, and no picture shown for a second needs more.
constexpr uint64_t kSplashImageMaxBytes = 16u * 1024u * 1024u;

// File name of the splash-screen library in a Windows runtime's bin directory.
constexpr char kSplashLibraryName[] = "splashscreen.dll";

// ---------------------------------------------------------------------------------------
// Which file.

enum class SplashImageOrigin {
    None,           // nothing configured
    IncludedFile,   // one of the launcher's included files, in the extraction directory
    BesideLauncher  // a path of its own: relative ones are taken against the launcher directory
};

struct SplashImageLocation {
    SplashImageOrigin origin = SplashImageOrigin::None;
    // IncludedFile: the extracted file's full path. BesideLauncher: the configured text as
    // expanded; the shell makes it absolute against the launcher directory.
    std::wstring path;
};

// `configured` is the image setting after variable expansion. A text equal to the name of an
// included file (ASCII letters compared without regard to case, "/" taken as "\") means that
// file in `extractionDirectory` when there is one; any other text is a path of its own.
SplashImageLocation locateSplashImage(const std::wstring& configured, const std::vector<std::wstring>& includedNames,
                                      const std::wstring& extractionDirectory);

// ---------------------------------------------------------------------------------------
// What the file holds.

enum class SplashImageFormat { Unknown, Png, Gif, Jpeg };

// Recognised by the signature at the start of the content, as the library itself tells the
// formats apart (the file name's extension says nothing).
SplashImageFormat splashImageFormat(const unsigned char* data, size_t size);

// "PNG", "GIF", "JPEG" or "unknown", for the log.
const wchar_t* splashImageFormatName(SplashImageFormat format);

// Whether the bytes read from `path` are worth handing to the library: a known format and
// not empty. Logs the format found, or why the image is refused.
bool acceptSplashImage(const std::vector<unsigned char>& image, const std::wstring& path);

// ---------------------------------------------------------------------------------------
// Where the library is.

// "<binDirectory>\splashscreen.dll"; the backslash is not doubled when the directory ends
// in one. The JVM later loads its splash support from the same directory, so the library
// that shows the image is the one the JVM finds already loaded.
std::string splashLibraryPath(const std::string& binDirectory);

// ---------------------------------------------------------------------------------------
// Showing the image.

// The library's C entry points (plain C calling convention on every platform).
struct SplashLibrary {
    void (*init)() = nullptr;                                             // SplashInit
    int (*loadMemory)(void* data, int size) = nullptr;                    // SplashLoadMemory: non-zero when shown
    void (*setFileJarName)(const char* file, const char* jar) = nullptr;  // SplashSetFileJarName
};

// The exported names, in the order of the members above.
constexpr const char* kSplashInitName = "SplashInit";
constexpr const char* kSplashLoadMemoryName = "SplashLoadMemory";
constexpr const char* kSplashSetFileJarNameName = "SplashSetFileJarName";

// The first entry point the library lacks (its exported name), or nullptr when all are there.
const char* missingSplashFunction(const SplashLibrary& library);

// Starts the library's splash window with the image bytes: SplashInit, the image from
// memory, then the file name (what java.awt.SplashScreen.getImageURL later reports; 8-bit,
// may be empty; no archive). The name belongs to the splash the library holds, so it is
// given once the image is loaded; given earlier, it is lost. The image must have been
// accepted and the library be complete. The caller keeps `image` alive for the life of the
// process, since the library's window lives that long. Logs the outcome; true when the
// library reports the image shown.
bool showSplashImage(const SplashLibrary& library, std::vector<unsigned char>& image, const std::string& fileName);
