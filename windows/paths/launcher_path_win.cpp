#include "paths/launcher_path.h"

#include "core/capacities.h"
#include "core/child_process.h"
#include "core/environment.h"
#include "core/log.h"
#include "core/text_format.h"
#include "paths/path_helpers.h"

#include <vector>

namespace {

// How long the command interpreter gets to exit once its output has ended.
constexpr DWORD kShellExitWaitMs = 5000;
// Taken as the interpreter's exit code when that cannot be read: any non-zero code fails.
constexpr DWORD kShellUnreadableExitCode = 1;

// The launcher's path forms, written once by the first call of the accessors below (main
// thread, during start-up) and read-only afterwards.
wchar_t launcherLongPath[kPathCapacity];
bool longPathKnown = false;
std::string launcherNarrowPath;
bool narrowPathKnown = false;
char launcherDirectory[kPathCapacity];
wchar_t launcherDirectoryFromNarrow[kPathCapacity];
bool narrowDirectoryKnown = false;
wchar_t launcherDirectoryWide[kPathCapacity];
bool wideDirectoryKnown = false;

void computeLongPath() {
    // A cut name would name another file: one that does not fit is left empty.
    wchar_t moduleName[kPathCapacity];
    moduleFileName(moduleName, kPathCapacity, TooLong::Refuse);
    DWORD result = GetLongPathNameW(moduleName, launcherLongPath, kPathCapacity);
    DWORD error = GetLastError();
    if (result == 0 || result >= kPathCapacity) launcherLongPath[0] = 0;
    logLine(L"init file name %s %s %d %d", moduleName, launcherLongPath, static_cast<int>(result),
            static_cast<int>(error));
    if (result == 0 || result >= kPathCapacity) copyBounded(launcherLongPath, kPathCapacity, moduleName);
    collapseBackslashes(launcherLongPath);
}

// An 8-bit form is usable when it lost nothing and still names an executable.
bool acceptNarrow(const std::string& candidate, bool lossy) { return !lossy && endsWithExe(candidate.c_str()); }

std::optional<std::string> narrowFromShortName(const wchar_t* longPath) {
    wchar_t shortPath[kPathCapacity];
    DWORD length = GetShortPathNameW(longPath, shortPath, kPathCapacity);
    if (length == 0 || length >= kPathCapacity) return std::nullopt;
    bool lossy = false;
    std::string narrow = toMultiByte(shortPath, lossy);
    if (!acceptNarrow(narrow, lossy)) return std::nullopt;
    return narrow;
}

// The last resort: the system's own 8-bit module name in its short form.
std::string narrowFromAnsiModuleName() {
    char moduleName[kPathCapacity];
    if (!moduleFileName(moduleName, kPathCapacity, TooLong::Refuse)) return std::string();
    char shortPath[kPathCapacity];
    DWORD length = GetShortPathNameA(moduleName, shortPath, kPathCapacity);
    if (length == 0 || length >= kPathCapacity) return std::string();
    return shortPath;
}

std::string computeNarrowPath(const wchar_t* longPath) {
    bool lossy = false;
    std::string narrow = toMultiByte(longPath, lossy);
    if (acceptNarrow(narrow, lossy)) return narrow;
    if (std::optional<std::string> shortName = narrowFromShortName(longPath)) return *shortName;
    std::optional<std::string> viaShell = getShortPathViaShell(longPath);
    if (viaShell && endsWithExe(viaShell->c_str())) return *viaShell;
    return narrowFromAnsiModuleName();
}

// The 8-bit pipe output as text, for the log.
std::string bytesRead(const std::vector<char>& buffer, DWORD count) { return std::string(buffer.data(), count); }

DWORD readAll(HANDLE pipe, std::vector<char>& buffer) {
    DWORD total = 0;
    while (total < buffer.size()) {
        DWORD got = 0;
        if (!ReadFile(pipe, buffer.data() + total, static_cast<DWORD>(buffer.size()) - total, &got, nullptr) ||
            got == 0)
            break;
        total += got;
    }
    return total;
}

}  // namespace

const wchar_t* getLauncherPathWide() {
    if (!longPathKnown) {
        longPathKnown = true;
        computeLongPath();
    }
    return launcherLongPath;
}

const char* getLauncherPath() {
    if (!narrowPathKnown) {
        narrowPathKnown = true;
        launcherNarrowPath = collapsedBackslashes(computeNarrowPath(getLauncherPathWide()));
    }
    return launcherNarrowPath.c_str();
}

const char* getLauncherDirectory() {
    if (!narrowDirectoryKnown) {
        narrowDirectoryKnown = true;
        char* filePart = nullptr;
        const char* path = getLauncherPath();
        DWORD length = path[0] == 0 ? 0 : GetFullPathNameA(path, kPathCapacity, launcherDirectory, &filePart);
        if (length == 0 || length >= kPathCapacity)
            launcherDirectory[0] = 0;
        else if (filePart != nullptr)
            *filePart = 0;
        // Through the file-system code page the 8-bit form is written in: widened byte by byte,
        // a folder name with a byte of 0x80 or above would name a folder that does not exist.
        copyBounded(launcherDirectoryFromNarrow, kPathCapacity, fromMultiByte(launcherDirectory).c_str());
    }
    return launcherDirectory;
}

const wchar_t* getLauncherDirectoryFromNarrow() {
    getLauncherDirectory();
    return launcherDirectoryFromNarrow;
}

const wchar_t* getLauncherDirectoryWide() {
    if (!wideDirectoryKnown) {
        wideDirectoryKnown = true;
        wchar_t* filePart = nullptr;
        const wchar_t* path = getLauncherPathWide();
        DWORD length = path[0] == 0 ? 0 : GetFullPathNameW(path, kPathCapacity, launcherDirectoryWide, &filePart);
        if (length == 0 || length >= kPathCapacity)
            launcherDirectoryWide[0] = 0;
        else if (filePart != nullptr)
            *filePart = 0;
    }
    return launcherDirectoryWide;
}

std::optional<std::string> getShortPathViaShell(const wchar_t* path) {
    std::optional<ChildPipe> pipe = makeChildPipe(PipeDirection::FromChild);
    if (!pipe) return std::nullopt;

    wchar_t windowsDirectory[kPathCapacity];
    UINT length = GetWindowsDirectoryW(windowsDirectory, kPathCapacity);
    if (length == 0 || length >= kPathCapacity) windowsDirectory[0] = 0;
    // The interpreter is named on its own as well, so a Windows folder with a space in its name
    // does not split the unquoted first word of the command line.
    std::wstring program = formatWideString(L"%s\\system32\\cmd.exe", windowsDirectory);
    std::wstring command = formatWideString(L"%s /C for %%I in (\"%s\") do @echo %%~sI", program.c_str(), path);
    logLine(L"executing %s", command.c_str());

    ChildOptions options;
    options.creationFlags = CREATE_NO_WINDOW;
    options.stdHandles = ChildStdHandles{nullptr, pipe->childEnd.get(), pipe->childEnd.get()};
    DWORD startError = 0;
    std::optional<ChildProcess> child = startChild(program.c_str(), command, options, startError);
    if (!child) {
        logLine(L"could not execute cmd.exe");
        return std::nullopt;
    }
    // Our copy of the write end must go, or the read below never sees the end of the data.
    pipe->childEnd.reset();

    std::vector<char> buffer(kPathCapacity);
    DWORD count = readAll(pipe->ours.get(), buffer);
    std::string output = bytesRead(buffer, count);
    logLine(L"finished reading from cmd.exe %d \"%S\"", static_cast<int>(count), output.c_str());

    // The end of the output comes as the interpreter exits; give it a moment to finish
    // exiting so that its exit code, not STILL_ACTIVE, is read. An unreadable exit code
    // counts as a failure.
    DWORD exitCode = waitOrTerminate(*child, kShellExitWaitMs, UnreadableExitCode{kShellUnreadableExitCode});
    if (exitCode != 0) return std::nullopt;
    std::optional<std::string> line = firstLineOfShellOutput(output);
    if (line) logLine(L"Using %S", line->c_str());
    return line;
}
