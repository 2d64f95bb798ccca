// The supervising service. It reports running at once, starts a child copy of the launcher
// with the restart marker, discards the child's output, turns stop and shutdown controls
// into one line on the child's standard input and reports the outcome when the child ends.

#include "service/service_main.h"

#include "core/capacities.h"
#include "core/child_process.h"
#include "core/command_line.h"
#include "core/handles.h"
#include "core/launcher_state.h"
#include "core/log.h"
#include "core/registry.h"
#include "core/text_format.h"
#include "service/service_main_rules.h"

#include <cstdio>
#include <cwchar>
#include <vector>

namespace {

constexpr size_t kChildCommandLineCapacity = kLongTextCapacity;
// The child's output is read and dropped in chunks of this many bytes.
constexpr size_t kDrainChunkCapacity = kPathCapacity;
constexpr DWORD kWaitHint = 50000;
constexpr DWORD kChildStartFailure = 5000;
// Taken as the child's exit code when that cannot be read: the service then counts as stopped.
constexpr DWORD kUnreadableExitCode = 0;
const wchar_t kPriorityKey[] = L"SOFTWARE\\brightmoor-labs\\ravel\\priority";

// Shared by the dispatcher thread (control handler) and the service-main thread without a
// lock: each field is one aligned 32-bit store. The shutdown channel is taken with an atomic
// exchange so that only the first stop or shutdown request writes to it and closes it.
SERVICE_STATUS currentStatus;
SERVICE_STATUS_HANDLE statusHandle = nullptr;
HANDLE volatile shutdownChannel = nullptr;

bool reportStatus() { return SetServiceStatus(statusHandle, &currentStatus) != FALSE; }

void sendShutdown(int code) {
    int low = code & 0xFF;
    logLine(L"sending shutdown1 %d", low);
    PipeHandle channel(InterlockedExchangePointer(const_cast<HANDLE*>(&shutdownChannel), nullptr));
    if (!channel.valid()) {
        // A second request: the line went out already and the channel is closed.
        logLine(L"shutdown already sent");
        return;
    }
    char line[8];
    int length = snprintf(line, sizeof line, "%d\n", low);
    DWORD written = 0;
    if (!WriteFile(channel.get(), line, static_cast<DWORD>(length), &written, nullptr)) {
        DWORD error = GetLastError();
        logLine(L"sending shutdown failed");
        logLine(L"error code %d", static_cast<int>(error));
    }
    // Closing it is the child's end of input, after the line.
    channel.reset();
    logLine(L"shutdown sent");
}

void WINAPI controlHandler(DWORD control) {
    logLine(L"control handler request %d", static_cast<int>(control));
    switch (control) {
    case SERVICE_CONTROL_STOP:
        // Stop pending goes out before the line: a child that exits at once would otherwise
        // race the report, and the SCM would see a service that stopped on its own.
        currentStatus.dwCurrentState = SERVICE_STOP_PENDING;
        if (!reportStatus()) logLine(L"SetServiceStatus 2 failed %d", static_cast<int>(GetLastError()));
        sendShutdown(0);
        break;
    case SERVICE_CONTROL_SHUTDOWN:
        currentStatus.dwCheckPoint++;
        currentStatus.dwCurrentState = SERVICE_STOP_PENDING;
        if (!reportStatus()) logLine(L"SetServiceStatus 1 failed %d", static_cast<int>(GetLastError()));
        sendShutdown(0);
        break;
    default:
        if (!reportStatus()) logLine(L"SetServiceStatus 3 failed %d", static_cast<int>(GetLastError()));
        break;
    }
}

DWORD WINAPI drainChildOutput(LPVOID pipe) {
    logLine(L"consuming output");
    char scratch[kDrainChunkCapacity];
    DWORD read = 0;
    while (ReadFile(static_cast<HANDLE>(pipe), scratch, sizeof scratch, &read, nullptr) && read > 0) {
    }
    logLine(L"consuming output done");
    return 0;
}

// The child's priority class: the service's four-byte value under the priority key, of any
// registry type, or the normal class when there is none.
DWORD childPriorityClass() {
    RegistryKey key = openRegistryKey(HKEY_LOCAL_MACHINE, kPriorityKey, KEY_READ, RegistryView::Default);
    if (!key.valid()) return NORMAL_PRIORITY_CLASS;
    std::optional<DWORD> value = readRegistryDword(key.get(), serviceName, DwordValueTypes::AnyOfFourBytes);
    if (!value) return NORMAL_PRIORITY_CLASS;
    logLine(L"using priority %d", static_cast<int>(*value));
    return *value;
}

void reportStartFailure() {
    currentStatus.dwCurrentState = SERVICE_STOPPED;
    currentStatus.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
    currentStatus.dwServiceSpecificExitCode = kChildStartFailure;
    reportStatus();
}

}  // namespace

BOOL WINAPI consoleEventHandler(DWORD) {
    logLine(L"ConsoleCtrlHandler event");
    return TRUE;
}

void WINAPI serviceMain(DWORD argc, LPWSTR* argv) {
    logLine(L"service main");
    currentStatus.dwServiceType = SERVICE_WIN32_OWN_PROCESS | SERVICE_WIN32_SHARE_PROCESS;
    currentStatus.dwCurrentState = SERVICE_RUNNING;
    currentStatus.dwControlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN;
    currentStatus.dwWin32ExitCode = 0;
    currentStatus.dwServiceSpecificExitCode = 0;
    currentStatus.dwCheckPoint = 0;
    currentStatus.dwWaitHint = kWaitHint;

    copyBounded(serviceName, kServiceNameCapacity, chooseServiceName(argc, argv, kServiceNameCapacity));
    logLine(L"service name is '%s'", serviceName);

    statusHandle = RegisterServiceCtrlHandlerW(serviceName, controlHandler);
    if (statusHandle == nullptr) return;
    reportStatus();

    ArgumentList ownWords = splitCommandLine(GetCommandLineW());
    ArgumentList startArguments;
    for (DWORD i = 1; i < argc; ++i) startArguments.emplace_back(argv[i] != nullptr ? argv[i] : L"");
    std::wstring commandLine;
    if (!buildChildCommandLine(ownWords, serviceName, startArguments, kChildCommandLineCapacity, commandLine)) {
        logLine(L"could not start process: command line longer than %d characters",
                static_cast<int>(kChildCommandLineCapacity - 1));
        reportStartFailure();
        return;
    }

    // Without its pipes the child cannot be stopped, so none is started and the service is
    // reported stopped rather than left running without a child.
    std::optional<ChildPipe> output = makeChildPipe(PipeDirection::FromChild, L"");
    if (!output) {
        reportStartFailure();
        return;
    }
    std::optional<ChildPipe> input = makeChildPipe(PipeDirection::ToChild, L" 2");
    if (!input) {
        reportStartFailure();
        return;
    }
    // Published before the start, so that a stop arriving while the child starts finds the
    // channel; its line then waits in the pipe until the child reads it.
    shutdownChannel = input->ours.release();

    ChildOptions options;
    options.creationFlags = childPriorityClass() | DETACHED_PROCESS;
    options.stdHandles = ChildStdHandles{input->childEnd.get(), output->childEnd.get(), output->childEnd.get()};
    DWORD startError = 0;
    std::optional<ChildProcess> child = startChild(nullptr, commandLine, options, startError);
    if (!child) {
        logLine(L"could not start process %s (%d)", commandLine.c_str(), static_cast<int>(startError));
        // The channel comes back unless a stop request took (and closed) it meanwhile; it and
        // the other three pipe ends close with their owners on the way out.
        PipeHandle unusedChannel(InterlockedExchangePointer(const_cast<HANDLE*>(&shutdownChannel), nullptr));
        reportStartFailure();
        return;
    }
    output->childEnd.reset();
    input->childEnd.reset();
    // The drain thread reads through the output owner's handle; that stays open until the
    // process ends (ExitProcess below runs no destructors), so the thread never reads a
    // closed handle. Only the thread is needed, not its handle.
    ThreadHandle drain(CreateThread(nullptr, 0, drainChildOutput, output->ours.get(), 0, nullptr));
    drain.reset();
    currentStatus.dwCurrentState = SERVICE_RUNNING;
    reportStatus();
    logLine(L"registering ConsoleCtrlHandler");
    SetConsoleCtrlHandler(consoleEventHandler, TRUE);

    DWORD exitError = 0;
    DWORD exitCode = waitForExit(*child, INFINITE, exitError).value_or(kUnreadableExitCode);
    logLine(L"process terminated with exit code %d", static_cast<int>(exitCode));

    // An application that fails on its own leaves the service reported running, so the SCM
    // sees the service process vanish and applies its recovery settings.
    if (exitCode == 0 || currentStatus.dwCurrentState == SERVICE_STOP_PENDING) {
        currentStatus.dwCurrentState = SERVICE_STOPPED;
        if (!reportStatus()) logLine(L"SetServiceStatus 10 failed %d", static_cast<int>(GetLastError()));
        logLine(L"service stopped set");
    }
    child.reset();
    logLine(L"exiting");
    ExitProcess(0);
}
