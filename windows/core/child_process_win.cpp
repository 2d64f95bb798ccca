#include "core/child_process.h"

#include "core/log.h"

#include <vector>

namespace {

constexpr UINT kTerminatedExitCode = 1;

BOOL createProcess(const char* program, char* commandLine, DWORD flags, STARTUPINFOA& startup,
                   PROCESS_INFORMATION& info) {
    return CreateProcessA(program, commandLine, nullptr, nullptr, TRUE, flags, nullptr, nullptr, &startup, &info);
}

BOOL createProcess(const wchar_t* program, wchar_t* commandLine, DWORD flags, STARTUPINFOW& startup,
                   PROCESS_INFORMATION& info) {
    return CreateProcessW(program, commandLine, nullptr, nullptr, TRUE, flags, nullptr, nullptr, &startup, &info);
}

template <typename StartupInfo>
StartupInfo startupFor(const ChildOptions& options) {
    StartupInfo startup = {};
    startup.cb = sizeof startup;
    if (options.hideWindow) {
        startup.dwFlags |= STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
    }
    if (options.stdHandles) {
        startup.dwFlags |= STARTF_USESTDHANDLES;
        startup.hStdInput = options.stdHandles->input;
        startup.hStdOutput = options.stdHandles->output;
        startup.hStdError = options.stdHandles->error;
    }
    return startup;
}

template <typename StartupInfo, typename Char>
std::optional<ChildProcess> start(const Char* program, const std::basic_string<Char>& commandLine,
                                  const ChildOptions& options, DWORD& error) {
    StartupInfo startup = startupFor<StartupInfo>(options);
    // CreateProcess may write into the command line, so it gets a copy of its own.
    std::vector<Char> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back(0);
    PROCESS_INFORMATION info = {};
    if (!createProcess(program, mutableLine.data(), options.creationFlags, startup, info)) {
        error = GetLastError();
        return std::nullopt;
    }
    return ChildProcess{ProcessHandle(info.hProcess), ThreadHandle(info.hThread)};
}

}  // namespace

std::optional<ChildPipe> makeChildPipe(PipeDirection direction, const wchar_t* logSuffix) {
    // Both ends are made inheritable, then the launcher's end is taken back: CreatePipe has no
    // way to make only one end inheritable.
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    PipeHandle readEnd, writeEnd;
    if (!CreatePipe(readEnd.put(), writeEnd.put(), &inheritable, 0)) {
        DWORD error = GetLastError();
        logLine(L"CreatePipe error%s (%d)", logSuffix, static_cast<int>(error));
        return std::nullopt;
    }
    bool fromChild = direction == PipeDirection::FromChild;
    ChildPipe pipe{fromChild ? std::move(readEnd) : std::move(writeEnd),
                   fromChild ? std::move(writeEnd) : std::move(readEnd)};
    if (!SetHandleInformation(pipe.ours.get(), HANDLE_FLAG_INHERIT, 0)) {
        DWORD error = GetLastError();
        logLine(L"SetHandleInformation error%s (%d)", logSuffix, static_cast<int>(error));
        return std::nullopt;
    }
    return pipe;
}

std::optional<ChildProcess> startChild(const char* program, const std::string& commandLine, const ChildOptions& options,
                                       DWORD& error) {
    return start<STARTUPINFOA>(program, commandLine, options, error);
}

std::optional<ChildProcess> startChild(const wchar_t* program, const std::wstring& commandLine,
                                       const ChildOptions& options, DWORD& error) {
    return start<STARTUPINFOW>(program, commandLine, options, error);
}

bool waitForEnd(const ChildProcess& child, DWORD boundMs) {
    return WaitForSingleObject(child.process.get(), boundMs) == WAIT_OBJECT_0;
}

std::optional<DWORD> waitForExit(const ChildProcess& child, DWORD boundMs, DWORD& error) {
    waitForEnd(child, boundMs);
    DWORD exitCode = 0;
    if (GetExitCodeProcess(child.process.get(), &exitCode)) return exitCode;
    error = GetLastError();
    return std::nullopt;
}

DWORD waitOrTerminate(const ChildProcess& child, DWORD boundMs, const UnreadableExitCode& unreadable) {
    DWORD error = 0;
    std::optional<DWORD> read = waitForExit(child, boundMs, error);
    if (!read && unreadable.logAs != nullptr)
        logError(L"could not read the exit code of %S (%d)", unreadable.logAs, static_cast<int>(error));
    DWORD exitCode = read ? *read : unreadable.substitute;
    logLine(L"Exit Code %d", static_cast<int>(exitCode));
    if (exitCode == STILL_ACTIVE) {
        logLine(L"Terminating process");
        TerminateProcess(child.process.get(), kTerminatedExitCode);
    }
    return exitCode;
}
