#include "launch/splash_rules.h"

#include "support/log_capture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

Bytes bytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

const std::string kPngStart("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);

// A splash-screen library that records the calls made to it, in order.
struct RecordingLibrary {
    static std::vector<std::string> calls;
    static int loadResult;
    static std::string seenFile;
    static bool jarWasNull;
    static Bytes seenImage;

    static void init() { calls.push_back("init"); }
    static int loadMemory(void* data, int size) {
        calls.push_back("loadMemory");
        seenImage.assign(static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + size);
        return loadResult;
    }
    static void setFileJarName(const char* file, const char* jar) {
        calls.push_back("setFileJarName");
        seenFile = file == nullptr ? "(null)" : file;
        jarWasNull = jar == nullptr;
    }
    static SplashLibrary library() {
        calls.clear();
        seenImage.clear();
        loadResult = 1;
        SplashLibrary library;
        library.init = init;
        library.loadMemory = loadMemory;
        library.setFileJarName = setFileJarName;
        return library;
    }
};
std::vector<std::string> RecordingLibrary::calls;
int RecordingLibrary::loadResult = 1;
std::string RecordingLibrary::seenFile;
bool RecordingLibrary::jarWasNull = false;
Bytes RecordingLibrary::seenImage;

}  // namespace

TEST(SplashImage, AnIncludedFileNameMeansTheExtractedFileElseAPathOfItsOwn) {
    std::vector<std::wstring> included = {L"lib\\app.jar", L"img\\Splash.PNG"};
    std::wstring extraction = L"C:\\Temp\\e4_dir12";

    SplashImageLocation found = locateSplashImage(L"IMG/splash.png", included, extraction);
    EXPECT_EQ(found.origin, SplashImageOrigin::IncludedFile);
    EXPECT_EQ(found.path, L"C:\\Temp\\e4_dir12\\img\\Splash.PNG");
    EXPECT_EQ(locateSplashImage(L"img\\splash.png", included, extraction + L"\\").path, found.path);

    // Not an included name, or no extraction directory to find it in: taken as written.
    SplashImageLocation own = locateSplashImage(L"img\\other.png", included, extraction);
    EXPECT_EQ(own.origin, SplashImageOrigin::BesideLauncher);
    EXPECT_EQ(own.path, L"img\\other.png");
    EXPECT_EQ(locateSplashImage(L"img\\splash.png", included, L"").origin, SplashImageOrigin::BesideLauncher);
    // Non-ASCII letters are compared as they stand.
    EXPECT_EQ(locateSplashImage(L"\u00c4.png", {L"\u00e4.png"}, extraction).origin, SplashImageOrigin::BesideLauncher);

    EXPECT_EQ(locateSplashImage(L"", included, extraction).origin, SplashImageOrigin::None);
}

TEST(SplashImage, FormatComesFromTheSignatureNotTheName) {
    auto format = [](const std::string& start) {
        Bytes content = bytes(start);
        return splashImageFormat(content.data(), content.size());
    };
    EXPECT_EQ(format(kPngStart), SplashImageFormat::Png);
    EXPECT_EQ(format(std::string("GIF89a\x01\0", 8)), SplashImageFormat::Gif);
    EXPECT_EQ(format("GIF87a"), SplashImageFormat::Gif);
    EXPECT_EQ(format("\xff\xd8\xff\xe0"), SplashImageFormat::Jpeg);
    // Cut signatures, look-alikes and other formats are unknown.
    EXPECT_EQ(format(kPngStart.substr(0, 7)), SplashImageFormat::Unknown);
    EXPECT_EQ(format("\xff\xd8"), SplashImageFormat::Unknown);
    EXPECT_EQ(format("GIF88a"), SplashImageFormat::Unknown);
    EXPECT_EQ(format("BM\x36"), SplashImageFormat::Unknown);
    EXPECT_EQ(splashImageFormat(nullptr, 0), SplashImageFormat::Unknown);

    clearCapturedLog();
    EXPECT_TRUE(acceptSplashImage(bytes(kPngStart), L"C:\\app\\s.gif"));
    EXPECT_TRUE(logContains(L"splash image C:\\app\\s.gif (PNG, 16 bytes)"));
    EXPECT_FALSE(acceptSplashImage(bytes("<svg/>"), L"C:\\app\\s.svg"));
    EXPECT_TRUE(logContains(L"ERROR: splash image C:\\app\\s.svg is not a PNG, GIF or JPEG image"));
    EXPECT_FALSE(acceptSplashImage(Bytes(), L"C:\\app\\empty.png"));
}

TEST(SplashLibraryFile, LiesInTheBinDirectoryOfTheLoadedJvm) {
    EXPECT_EQ(splashLibraryPath("C:\\jre\\bin"), "C:\\jre\\bin\\splashscreen.dll");
    EXPECT_EQ(splashLibraryPath("C:\\jdk\\bin\\..\\jre\\bin\\"), "C:\\jdk\\bin\\..\\jre\\bin\\splashscreen.dll");
}

TEST(SplashLibraryCalls, InitThenTheImageFromMemoryThenItsFileName) {
    SplashLibrary library = RecordingLibrary::library();
    Bytes image = bytes(kPngStart);
    clearCapturedLog();
    EXPECT_TRUE(showSplashImage(library, image, "C:\\app\\splash.png"));
    EXPECT_EQ(RecordingLibrary::calls, (std::vector<std::string>{"init", "loadMemory", "setFileJarName"}));
    EXPECT_EQ(RecordingLibrary::seenFile, "C:\\app\\splash.png");
    EXPECT_TRUE(RecordingLibrary::jarWasNull);
    EXPECT_EQ(RecordingLibrary::seenImage, image);
    EXPECT_TRUE(logContains(L"splash screen shown"));

    // No 8-bit name: none is given, the image still goes over.
    library = RecordingLibrary::library();
    EXPECT_TRUE(showSplashImage(library, image, ""));
    EXPECT_EQ(RecordingLibrary::seenFile, "(null)");

    // A refusal by the library is the outcome, logged; no name is given to nothing shown.
    library = RecordingLibrary::library();
    RecordingLibrary::loadResult = 0;
    clearCapturedLog();
    EXPECT_FALSE(showSplashImage(library, image, "x.png"));
    EXPECT_EQ(RecordingLibrary::calls, (std::vector<std::string>{"init", "loadMemory"}));
    EXPECT_TRUE(logContains(L"ERROR: the splash screen library could not show the image"));
    EXPECT_FALSE(logContains(L"splash screen shown"));

    // An empty image never reaches the library.
    library = RecordingLibrary::library();
    Bytes empty;
    EXPECT_FALSE(showSplashImage(library, empty, "x.png"));
    EXPECT_TRUE(RecordingLibrary::calls.empty());
}

TEST(SplashLibraryCalls, AnIncompleteLibraryNamesTheFirstMissingExport) {
    SplashLibrary library = RecordingLibrary::library();
    EXPECT_EQ(missingSplashFunction(library), nullptr);
    library.loadMemory = nullptr;
    library.setFileJarName = nullptr;
    EXPECT_STREQ(missingSplashFunction(library), "SplashLoadMemory");
    library.init = nullptr;
    EXPECT_STREQ(missingSplashFunction(library), "SplashInit");
    library = RecordingLibrary::library();
    library.setFileJarName = nullptr;
    EXPECT_STREQ(missingSplashFunction(library), "SplashSetFileJarName");
}
