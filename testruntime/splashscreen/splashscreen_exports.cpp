// splashscreen.dll of the stand-in runtime: the C entry points a launcher calls to show a
// splash image before it creates the JVM, with nothing drawn. Each call leaves a record in
// the runtime's record file ("splash-load" when the library is loaded, "splash-call" per
// call), so a test sees which file was loaded, the calls in order and the exact image bytes.
//
// The release key STANDIN_SPLASH_RESULT gives SplashLoadMemory's and SplashLoadFile's result
// (default 1: shown).
#include "standin.h"

#include <cstdlib>
#include <string>

namespace {

HMODULE self = nullptr;

standin::RuntimeHome runtime() { return standin::locateRuntime(standin::parentDirectory(standin::modulePath(self))); }

void write(const standin::Record& record) {
    if (!standin::appendRecord(runtime(), record))
        standin::writeStandardError("standin splashscreen.dll: could not write the record file\r\n");
}

std::string hexBytes(const unsigned char* data, int size) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (int i = 0; i < size; ++i) {
        text.push_back(digits[data[i] >> 4]);
        text.push_back(digits[data[i] & 0x0F]);
    }
    return text;
}

int loadResult() { return std::atoi(runtime().value("STANDIN_SPLASH_RESULT", "1").c_str()); }

standin::Record call(const char* function) {
    standin::Record record("splash-call");
    record.add("function", function);
    return record;
}

}  // namespace

extern "C" {

__declspec(dllexport) void SplashInit() { write(call("SplashInit")); }

__declspec(dllexport) void SplashSetFileJarName(const char* fileName, const char* jarName) {
    standin::Record record = call("SplashSetFileJarName");
    if (fileName == nullptr)
        record.add("file.null", "1");
    else
        record.add("file", standin::codePageToUtf8(fileName, CP_ACP));
    if (jarName == nullptr)
        record.add("jar.null", "1");
    else
        record.add("jar", standin::codePageToUtf8(jarName, CP_ACP));
    write(record);
}

__declspec(dllexport) int SplashLoadMemory(void* data, int size) {
    standin::Record record = call("SplashLoadMemory");
    record.addNumber("size", size);
    // Splash images of the tests are small; a large one is recorded by its size alone.
    if (data != nullptr && size > 0 && size <= 65536)
        record.add("hex", hexBytes(static_cast<unsigned char*>(data), size));
    int result = loadResult();
    record.addNumber("result", result);
    write(record);
    return result;
}

__declspec(dllexport) int SplashLoadFile(const char* fileName) {
    standin::Record record = call("SplashLoadFile");
    record.add("file", fileName == nullptr ? std::string() : standin::codePageToUtf8(fileName, CP_ACP));
    int result = loadResult();
    record.addNumber("result", result);
    write(record);
    return result;
}

__declspec(dllexport) void SplashClose() { write(call("SplashClose")); }

__declspec(dllexport) void SplashSetScaleFactor(float scaleFactor) {
    standin::Record record = call("SplashSetScaleFactor");
    record.addNumber("permille", static_cast<long long>(scaleFactor * 1000.0f));
    write(record);
}

}  // extern "C"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        self = instance;
        standin::Record record("splash-load");
        record.add("module", standin::modulePath(instance));
        write(record);
    }
    return TRUE;
}
