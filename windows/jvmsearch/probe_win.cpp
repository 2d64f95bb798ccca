#include "jvmsearch/probe.h"

#include "core/child_process.h"
#include "core/environment.h"
#include "core/log.h"
#include "core/text_format.h"
#include "jvmsearch/java_version.h"
#include "jvmsearch/probe_rules.h"
#include "jvmsearch/version_cache.h"
#include "jvmsearch/version_cache_rules.h"

namespace {

// Polling interval while the child neither writes nor ends.
constexpr DWORD kPollMs = 20;

// The Java options variables would change what java.exe prints (the JVM echoes
// "Picked up _JAVA_OPTIONS: ..." to standard error) or stop it from starting at all.
const char* const kJavaOptionsVariables[] = {"_JAVA_OPTIONS", "JAVA_TOOL_OPTIONS", "JDK_JAVA_OPTIONS"};
constexpr size_t kJavaOptionsCount = sizeof kJavaOptionsVariables / sizeof kJavaOptionsVariables[0];

// The three variables hidden from the child for the duration of one probe.
struct HiddenJavaOptions {
    std::optional<std::string> saved[kJavaOptionsCount];

    HiddenJavaOptions() {
        for (size_t i = 0; i < kJavaOptionsCount; ++i) saved[i] = saveAndClearEnv(kJavaOptionsVariables[i]);
    }
    void restore() {
        for (size_t i = 0; i < kJavaOptionsCount; ++i) {
            restoreEnv(kJavaOptionsVariables[i], saved[i]);
            saved[i].reset();
        }
    }
    ~HiddenJavaOptions() { restore(); }
};

std::string commandLineFor(const char* exe) {
    char shortPath[kProbeShortPathLimit + 1];
    DWORD length = GetShortPathNameA(exe, shortPath, sizeof shortPath);
    if (length == 0 || length > kProbeShortPathLimit) {
        logLine(L"Could not get short path name for %S", exe);
        return probeCommandLine(exe);
    }
    return probeCommandLine(shortPath);
}

uint64_t elapsedSince(ULONGLONG start) { return GetTickCount64() - start; }

// Reads whatever is waiting in the pipe now, but not past the probe's time: a child that
// writes without pause must not keep the reading going. False once the pipe is closed (every
// write end gone and nothing left) or cannot be read.
bool readAvailable(HANDLE pipe, ULONGLONG start, std::string& output, bool& cut) {
    while (remainingProbeTime(elapsedSince(start)) > 0) {
        DWORD available = 0;
        if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return false;
        if (available == 0) return true;
        char chunk[kProbeReadChunk];
        DWORD wanted = available < sizeof chunk ? available : static_cast<DWORD>(sizeof chunk);
        DWORD got = 0;
        if (!ReadFile(pipe, chunk, wanted, &got, nullptr) || got == 0) return false;
        if (!appendProbeOutput(output, chunk, got)) cut = true;
    }
    return true;
}

// Collects the child's standard error until the pipe closes, the child ends, or the probe's
// time is spent, whichever comes first. Polling instead of a blocking read keeps a child that
// hangs with its standard error open (or a grandchild that inherited it) within the bound.
std::string collectOutput(HANDLE pipe, const ChildProcess& child, ULONGLONG start) {
    std::string output;
    bool cut = false;
    for (;;) {
        if (!readAvailable(pipe, start, output, cut)) break;
        uint32_t left = remainingProbeTime(elapsedSince(start));
        if (left == 0) break;
        if (waitForEnd(child, left < kPollMs ? left : kPollMs)) {
            // Everything the child wrote before it ended is in the pipe already.
            readAvailable(pipe, start, output, cut);
            break;
        }
    }
    if (cut) logLine(L"java output longer than %d bytes, rest ignored", static_cast<int>(kProbeOutputLimit));
    return output;
}

// Started hidden, with only standard error (the banner) going anywhere: into `errorPipe`.
std::optional<ChildProcess> startHidden(const std::string& commandLine, HANDLE errorPipe, DWORD& error) {
    ChildOptions options;
    options.creationFlags = NORMAL_PRIORITY_CLASS;
    options.hideWindow = true;
    options.stdHandles = ChildStdHandles{nullptr, nullptr, errorPipe};
    return startChild(nullptr, commandLine, options, error);
}

bool versionFromBanner(const std::string& output, char* version, size_t capacity) {
    std::string text;
    if (!parseVersionBanner(output, text)) return false;
    copyBounded(version, capacity, text.c_str());
    logLine(L"Java version2: %S", version);
    return true;
}

}  // namespace

std::optional<std::string> saveAndClearEnv(const char* name) {
    EnvironmentValue<char> value = readVariable(name);
    if (value.reportedSize == 0) return std::nullopt;
    std::optional<std::string> saved;
    // Only the value whose size was asked for is put back later; one that changed while it
    // was read is dropped with the rest.
    if (value.readAsReported()) {
        saved = value.text;
        logLine(L"%S is %S", name, saved->c_str());
    } else {
        logLine(L"error reading %S", name);
    }
    SetEnvironmentVariableA(name, nullptr);
    return saved;
}

void restoreEnv(const char* name, const std::optional<std::string>& saved) {
    if (saved) SetEnvironmentVariableA(name, saved->c_str());
}

bool probeJavaVersion(const char* exe, const FILETIME& lastWriteTime, char* version, size_t capacity) {
    std::string commandLine = commandLineFor(exe);
    HiddenJavaOptions hidden;

    std::optional<ChildPipe> pipe = makeChildPipe(PipeDirection::FromChild);
    if (!pipe) return false;

    ULONGLONG start = GetTickCount64();
    DWORD startError = 0;
    std::optional<ChildProcess> child = startHidden(commandLine, pipe->childEnd.get(), startError);
    // Only the child may hold the write end now, so the pipe closes when the child is done.
    pipe->childEnd.reset();
    if (!child) {
        logLine(L"Could not create process %S (error %d)", commandLine.c_str(), static_cast<int>(startError));
        return false;
    }

    std::string output = collectOutput(pipe->ours.get(), *child, start);
    DWORD exitCode = waitOrTerminate(*child, remainingProbeTime(elapsedSince(start)),
                                     UnreadableExitCode{STILL_ACTIVE, commandLine.c_str()});
    hidden.restore();
    if (exitCode == STILL_ACTIVE) return false;
    if (exitCode != 0) {
        storeCachedVersion(exe, lastWriteTime, kFailedProbeVersion);
        return false;
    }
    return versionFromBanner(output, version, capacity);
}
