// Child processes, started the one way the launcher starts them: the pipes to a child, the
// start itself with the child's handles owned, and the wait for its end within a bound.
#pragma once

#include "core/handles.h"

#include <optional>
#include <string>

// Which way the data of a child pipe flows.
enum class PipeDirection {
    FromChild,  // the child writes (its output), the launcher reads
    ToChild,    // the launcher writes, the child reads (its input)
};

// One pipe between the launcher and a child. The launcher's end is not inheritable, so no
// child ever holds it; the child's end is, and goes into the child's standard handles. Once
// the child has started, the launcher closes its copy of the child's end: from then on the
// pipe ends exactly when the child (and whatever inherited the end from it) is done with it.
struct ChildPipe {
    PipeHandle ours;
    PipeHandle childEnd;
};

// A new pipe for `direction`. On failure none, and one line is logged: "CreatePipe
// error<logSuffix> (N)" or "SetHandleInformation error<logSuffix> (N)", N the system error;
// both ends are closed again then.
std::optional<ChildPipe> makeChildPipe(PipeDirection direction, const wchar_t* logSuffix = L"");

// The standard handles a child is given; null leaves that handle empty in the child.
struct ChildStdHandles {
    HANDLE input = nullptr;
    HANDLE output = nullptr;
    HANDLE error = nullptr;
};

// How a child is started.
struct ChildOptions {
    DWORD creationFlags = 0;  // priority class and CREATE_NO_WINDOW, DETACHED_PROCESS, ...
    bool hideWindow = false;  // the child's first window starts hidden
    // With handles, the child gets exactly these as its standard handles (and inherits them,
    // so each must be inheritable); without, it inherits no handle at all.
    std::optional<ChildStdHandles> stdHandles;
};

// A started child, both of its handles owned.
struct ChildProcess {
    ProcessHandle process;
    ThreadHandle thread;
};

// Starts `commandLine` (the program named by `program`, or when that is null by the command
// line's first word; either must be a full path, else ERROR_BAD_PATHNAME). The child
// inherits the handles of `options.stdHandles` and no other handle of the launcher. On
// failure none, with the system error in `error`.
std::optional<ChildProcess> startChild(const char* program, const std::string& commandLine, const ChildOptions& options,
                                       DWORD& error);
std::optional<ChildProcess> startChild(const wchar_t* program, const std::wstring& commandLine,
                                       const ChildOptions& options, DWORD& error);

// Waits up to `boundMs` (INFINITE: until it ends); true when the child has ended.
bool waitForEnd(const ChildProcess& child, DWORD boundMs);

// The child's exit code after waiting up to `boundMs` (INFINITE: until it ends);
// STILL_ACTIVE for a child still running. None when the code cannot be read, with the
// system error in `error`.
std::optional<DWORD> waitForExit(const ChildProcess& child, DWORD boundMs, DWORD& error);

// How waitOrTerminate treats an exit code it cannot read.
struct UnreadableExitCode {
    DWORD substitute;             // taken as the exit code
    const char* logAs = nullptr;  // when set: logged as the error "could not read the exit code of <logAs> (N)"
};

// Waits up to `boundMs` for the child to end and logs its exit code ("Exit Code N"). A child
// still running then is logged ("Terminating process") and terminated with exit code 1, so
// that nothing the launcher started outlives the bound. Returns the exit code, STILL_ACTIVE
// for a child that had to be terminated.
DWORD waitOrTerminate(const ChildProcess& child, DWORD boundMs, const UnreadableExitCode& unreadable);
