// java.exe and javaw.exe of the stand-in runtime (one source, built as a console and as a
// windowed program, like the real pair). It serves `-version` only: it writes the banner a
// real runtime of the configured version writes to standard error and exits. Every start
// is recorded first, with its command line and which Java options variables it could see,
// so a test can count the launcher's probes and check what their environment held.
//
// Configuration comes from the `release` file of the runtime (the parent of the bin
// directory, or the JDK above a `jre` home):
//   JAVA_VERSION="17.0.2"           required; the quoted text of the banner's first line
//   JAVA_RUNTIME_VERSION="17.0.2+8" optional build text (defaults to JAVA_VERSION)
//   JAVA_VERSION_DATE="2022-01-18"  optional date after the version (new numbering only)
//   STANDIN_BANNER=<file>           write this file's bytes verbatim instead of the banner;
//                                   a relative name is taken from the release file's folder
//   STANDIN_EXIT_CODE=<n>           exit code after the banner (default 0)
//   STANDIN_HANG=1                  after the banner sleep for ever, standard error open
//   STANDIN_HANG=stderr-closed      the same, with standard error closed first
// The variable HELD_HANDLE makes it try a handle it should not have inherited (see
// tryHeldHandle).
// A runtime of the old numbering (1.x) fails as a real one does when `lib\rt.jar` is
// missing (packed and not yet unpacked), so a packed runtime only answers once unpacked.

#include "banner.h"
#include "standin.h"

#include <cerrno>
#include <cstdlib>

namespace {

const wchar_t* const kJavaOptionsVariables[] = {L"_JAVA_OPTIONS", L"JAVA_TOOL_OPTIONS", L"JDK_JAVA_OPTIONS"};

void recordStart(const standin::RuntimeHome& runtime, const std::wstring& program) {
    standin::Record record("start");
    record.add("program", standin::lastComponent(program));
    record.add("module", program);
    record.add("command", std::wstring(GetCommandLineW()));
    for (const wchar_t* name : kJavaOptionsVariables) {
        std::wstring value;
        if (standin::environmentValue(name, value)) record.add("env:" + standin::toUtf8(name), value);
    }
    // A lost record would make a probe count wrong without any sign, so say so where the
    // test sees it; the launcher ignores lines that are not version lines.
    if (!standin::appendRecord(runtime, record))
        standin::writeStandardError("standin: could not write the record file\r\n");
}

// With HELD_HANDLE set (by testtools/heldhandle), tries to reset the event that value named
// in the process that held it: that works only when this process inherited the handle. The
// outcome is recorded, so a test sees that the attempt was made at all. A value that names
// no event here (nothing inherited) makes ResetEvent fail and changes nothing.
void tryHeldHandle(const standin::RuntimeHome& runtime) {
    std::wstring value;
    if (!standin::environmentValue(L"HELD_HANDLE", value) || value.empty()) return;
    wchar_t* end = nullptr;
    unsigned long long number = wcstoull(value.c_str(), &end, 10);
    if (*end != 0) return;
    bool reset = ResetEvent(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(number))) != 0;
    standin::Record record("held-handle");
    record.addNumber("reset", reset ? 1 : 0);
    standin::appendRecord(runtime, record);
}

bool asksForVersion(int argc, wchar_t** argv) {
    for (int i = 1; i < argc; ++i)
        if (wcscmp(argv[i], L"-version") == 0) return true;
    return false;
}

std::wstring widenUtf8(const std::string& text) {
    if (text.empty()) return std::wstring();
    int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (size <= 0) return std::wstring();
    std::wstring out(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
}

bool isAbsolute(const std::wstring& path) {
    return (path.size() >= 2 && path[1] == L':') || (path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\');
}

bool pathExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A runtime of the old layout keeps its class library in lib\rt.jar; a JDK keeps it in the
// JRE inside it. Without it a real VM of that age cannot even start.
bool hasClassLibrary(const standin::RuntimeHome& runtime) {
    return pathExists(runtime.home + L"\\lib\\rt.jar") || pathExists(runtime.home + L"\\jre\\lib\\rt.jar");
}

// Exit code from the release file; false when the text is not a whole decimal number that
// fits an exit code.
bool configuredExitCode(const standin::RuntimeHome& runtime, DWORD& code) {
    std::string text = runtime.value("STANDIN_EXIT_CODE", "0");
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    unsigned long long value = strtoull(text.c_str(), &end, 10);
    if (errno != 0 || *end != 0 || text[0] == '-' || value > 0xFFFFFFFFull) return false;
    code = static_cast<DWORD>(value);
    return true;
}

bool writeBanner(const standin::RuntimeHome& runtime) {
    if (runtime.has("STANDIN_BANNER")) {
        std::wstring file = widenUtf8(runtime.value("STANDIN_BANNER"));
        if (!isAbsolute(file)) file = runtime.root + L"\\" + file;
        std::string bytes;
        if (!standin::readWholeFile(file, bytes, 1 << 20)) {
            standin::writeStandardError("standin: cannot read the STANDIN_BANNER file\r\n");
            return false;
        }
        standin::writeStandardError(bytes);
        return true;
    }
    standin::BannerFacts facts;
    facts.version = runtime.value("JAVA_VERSION");
    facts.runtimeVersion = runtime.value("JAVA_RUNTIME_VERSION");
    facts.versionDate = runtime.value("JAVA_VERSION_DATE");
    facts.sixtyFourBit = sizeof(void*) == 8;
    standin::writeStandardError(standin::composeBanner(facts));
    return true;
}

[[noreturn]] void hangForever() {
    for (;;) Sleep(INFINITE);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring program = standin::modulePath(nullptr);
    standin::RuntimeHome runtime = standin::locateRuntime(standin::parentDirectory(program));
    recordStart(runtime, program);
    tryHeldHandle(runtime);

    if (!asksForVersion(argc, argv)) {
        standin::writeStandardError("Error: this stand-in Java runtime only answers -version\r\n");
        return 1;
    }
    if (!runtime.hasRelease || runtime.value("JAVA_VERSION").empty()) {
        standin::writeStandardError("standin: the runtime has no release file with JAVA_VERSION\r\n");
        return 1;
    }
    DWORD exitCode = 0;
    if (!configuredExitCode(runtime, exitCode)) {
        standin::writeStandardError("standin: STANDIN_EXIT_CODE is not a number\r\n");
        return 1;
    }
    if (standin::isOldNumbering(runtime.value("JAVA_VERSION")) && !hasClassLibrary(runtime)) {
        standin::writeStandardError(
            "Error occurred during initialization of VM\r\n"
            "java/lang/NoClassDefFoundError: java/lang/Object\r\n");
        return 1;
    }
    if (!writeBanner(runtime)) return 1;

    std::string hang = runtime.value("STANDIN_HANG");
    if (hang == "1") hangForever();
    if (hang == "stderr-closed") {
        CloseHandle(GetStdHandle(STD_ERROR_HANDLE));
        SetStdHandle(STD_ERROR_HANDLE, nullptr);
        hangForever();
    }
    return static_cast<int>(exitCode);
}
