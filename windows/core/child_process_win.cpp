#include "core/child_process.h"

#include "core/child_process_rules.h"
#include "core/log.h"

#include <vector>

namespace {

constexpr UINT kTerminatedExitCode = 1;

// The handles a child may inherit: its standard handles, nothing else the launcher holds.
// Each must be inheritable (the pipe functions make the child's end so).
std::vector<HANDLE> inheritedHandles(const ChildOptions& options) {
    if (!options.stdHandles) return {};
    const ChildStdHandles& given = *options.stdHandles;
    std::vector<uintptr_t> values =
        handlesToInherit({reinterpret_cast<uintptr_t>(given.input), reinterpret_cast<uintptr_t>(given.output),
                          reinterpret_cast<uintptr_t>(given.error)});
    std::vector<HANDLE> handles;
    for (uintptr_t value : values) handles.push_back(reinterpret_cast<HANDLE>(value));
    return handles;
}

// The attribute list that limits a child's inheritance to the handles given; the list
// refers to the vector of handles, which must outlive the start.
class InheritanceList {
public:
    InheritanceList() = default;
    InheritanceList(const InheritanceList&) = delete;
    InheritanceList& operator=(const InheritanceList&) = delete;
    ~InheritanceList() {
        if (initialised_) DeleteProcThreadAttributeList(list());
    }

    bool limitTo(std::vector<HANDLE>& handles, DWORD& error) {
        SIZE_T size = 0;
        // The first call only reports the size; it fails with ERROR_INSUFFICIENT_BUFFER.
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        storage_.resize(size);
        if (size == 0 || !InitializeProcThreadAttributeList(list(), 1, 0, &size)) {
            error = GetLastError();
            return false;
        }
        initialised_ = true;
        if (!UpdateProcThreadAttribute(list(), 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles.data(),
                                       handles.size() * sizeof(HANDLE), nullptr, nullptr)) {
            error = GetLastError();
            return false;
        }
        return true;
    }

    LPPROC_THREAD_ATTRIBUTE_LIST list() { return reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data()); }

private:
    std::vector<unsigned char> storage_;
    bool initialised_ = false;
};

BOOL createProcess(const char* program, char* commandLine, BOOL inherit, DWORD flags, STARTUPINFOEXA& startup,
                   PROCESS_INFORMATION& info) {
    return CreateProcessA(program, commandLine, nullptr, nullptr, inherit, flags, nullptr, nullptr,
                          &startup.StartupInfo, &info);
}

BOOL createProcess(const wchar_t* program, wchar_t* commandLine, BOOL inherit, DWORD flags, STARTUPINFOEXW& startup,
                   PROCESS_INFORMATION& info) {
    return CreateProcessW(program, commandLine, nullptr, nullptr, inherit, flags, nullptr, nullptr,
                          &startup.StartupInfo, &info);
}

template <typename StartupInfo>
void describeStart(StartupInfo& startup, const ChildOptions& options) {
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
}

// The child is started with its program named, never found by a search: a program named
// only by the command line's first word would be looked for in the launcher's folder, the
// current directory and PATH, and an unquoted path with spaces would be tried piece by
// piece. It inherits its standard handles and no other handle of the launcher, whatever
// else the launcher holds inheritable (handles it inherited itself, pipes of other
// children).
template <typename StartupInfoEx, typename Char>
std::optional<ChildProcess> start(const Char* program, const std::basic_string<Char>& commandLine,
                                  const ChildOptions& options, DWORD& error) {
    std::basic_string<Char> named = program != nullptr ? program : programOfCommandLine(commandLine);
    if (!isFullProgramPath(named)) {
        error = ERROR_BAD_PATHNAME;
        return std::nullopt;
    }
    StartupInfoEx startup = {};
    startup.StartupInfo.cb = sizeof startup.StartupInfo;
    describeStart(startup.StartupInfo, options);
    DWORD flags = options.creationFlags;
    std::vector<HANDLE> handles = inheritedHandles(options);
    InheritanceList inheritance;
    if (!handles.empty()) {
        if (!inheritance.limitTo(handles, error)) return std::nullopt;
        startup.StartupInfo.cb = sizeof startup;
        startup.lpAttributeList = inheritance.list();
        flags |= EXTENDED_STARTUPINFO_PRESENT;
    }
    // CreateProcess may write into the command line, so it gets a copy of its own.
    std::vector<Char> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back(0);
    PROCESS_INFORMATION info = {};
    if (!createProcess(named.c_str(), mutableLine.data(), handles.empty() ? FALSE : TRUE, flags, startup, info)) {
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
    return start<STARTUPINFOEXA>(program, commandLine, options, error);
}

std::optional<ChildProcess> startChild(const wchar_t* program, const std::wstring& commandLine,
                                       const ChildOptions& options, DWORD& error) {
    return start<STARTUPINFOEXW>(program, commandLine, options, error);
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
