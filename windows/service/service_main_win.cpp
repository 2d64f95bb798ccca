// The supervising service. It reports running at once, starts a child copy of the launcher
// with the restart marker, drains the child's output (into the output file when one is
// configured, else nowhere), turns stop and shutdown controls into one line on the child's
// standard input, and reports the outcome when the child ends; a child that fails, or cannot
// be started, leaves an entry in the Event Log.

#include "service/service_main.h"

#include "core/capacities.h"
#include "core/child_process.h"
#include "core/command_line.h"
#include "core/handles.h"
#include "core/launcher_state.h"
#include "core/log.h"
#include "core/registry.h"
#include "core/text_format.h"
#include "service/event_log.h"
#include "service/event_log_rules.h"
#include "service/service_main_rules.h"
#include "service/service_output.h"

#include <cwchar>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr size_t kChildCommandLineCapacity = kLongTextCapacity;
// The child's output is read in chunks of this many bytes; a line longer than that goes into
// the output file in pieces of this size.
constexpr size_t kDrainChunkCapacity = kPathCapacity;
constexpr DWORD kWaitHint = 50000;
constexpr DWORD kChildStartFailure = 5000;
// Taken as the child's exit code when that cannot be read: the service then counts as stopped.
constexpr DWORD kUnreadableExitCode = 0;
const wchar_t kPriorityKey[] = L"SOFTWARE\\brightmoor-labs\\ravel\\priority";

static_assert(static_cast<DWORD>(ServiceState::Stopped) == SERVICE_STOPPED, "state values are Windows'");
static_assert(static_cast<DWORD>(ServiceState::StopPending) == SERVICE_STOP_PENDING, "state values are Windows'");
static_assert(static_cast<DWORD>(ServiceState::Running) == SERVICE_RUNNING, "state values are Windows'");

// How long the supervisor waits, once the child has ended, for the drain thread to write the
// child's last output to the output file. The pipe ends with the child, so the thread is done
// at once unless a process the child started still holds the pipe.
constexpr DWORD kDrainFinishBoundMs = 2000;

// The status record is changed by the dispatcher thread (control handler) and the
// service-main thread. Each change and its report happen under the lock, so that reports
// reach the SCM in the order of the changes: a running report cannot overtake a stop-pending
// one and undo the stop.
SERVICE_STATUS currentStatus;
SRWLOCK statusLock = SRWLOCK_INIT;
SERVICE_STATUS_HANDLE statusHandle = nullptr;
// The child's input pipe, from the service-main thread that creates it to the first stop or
// shutdown request; the slot decides which of them holds it at any moment.
ShutdownChannelSlot shutdownSlot;

// The output file and the pipe the drain thread reads; written before the thread starts.
std::unique_ptr<ChildOutputFile> childOutput;
HANDLE childOutputPipe = nullptr;

ServiceState reportedState() { return static_cast<ServiceState>(currentStatus.dwCurrentState); }

// Applies `change` to the status and reports it, both under the lock. True when the report
// went through; otherwise `error` holds the system error.
template <typename Change>
bool changeAndReport(Change change, DWORD& error) {
    AcquireSRWLockExclusive(&statusLock);
    change(currentStatus);
    bool reported = SetServiceStatus(statusHandle, &currentStatus) != FALSE;
    error = reported ? 0 : GetLastError();
    ReleaseSRWLockExclusive(&statusLock);
    return reported;
}

bool reportState(ServiceState state, DWORD& error) {
    return changeAndReport([state](SERVICE_STATUS& status) { status.dwCurrentState = static_cast<DWORD>(state); },
                           error);
}

void sendShutdown(int code) {
    int low = code & 0xFF;
    logLine(L"sending shutdown1 %d", low);
    void* taken = nullptr;
    switch (shutdownSlot.takeForStop(taken)) {
    case ShutdownChannelSlot::Take::Channel:
        break;
    case ShutdownChannelSlot::Take::Remembered:
        // The service-main thread sees the request when it comes to store the channel, and
        // then starts no child.
        logLine(L"shutdown before the child's start: the child will not be started");
        return;
    case ShutdownChannelSlot::Take::AlreadyTaken:
        // A second request: the line went out already and the channel is closed.
        logLine(L"shutdown already sent");
        return;
    }
    PipeHandle channel(taken);
    std::string line = std::to_string(low) + "\n";
    DWORD written = 0;
    if (!WriteFile(channel.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr)) {
        DWORD error = GetLastError();
        logLine(L"sending shutdown failed");
        logLine(L"error code %d", static_cast<int>(error));
    }
    // Closing it is the child's end of input, after the line.
    channel.reset();
    logLine(L"shutdown sent");
}

// A stop or shutdown on a service already reported stopped (its child could not start, and
// the request was on its way) leaves the stopped report alone.
void requestStop(SERVICE_STATUS& status) {
    status.dwCurrentState = static_cast<DWORD>(stateAfterStopRequest(reportedState()));
}

void WINAPI controlHandler(DWORD control) {
    logLine(L"control handler request %d", static_cast<int>(control));
    DWORD error = 0;
    switch (control) {
    case SERVICE_CONTROL_STOP:
        // Stop pending goes out before the line: a child that exits at once would otherwise
        // race the report, and the SCM would see a service that stopped on its own.
        if (!changeAndReport(requestStop, error)) logLine(L"SetServiceStatus 2 failed %d", static_cast<int>(error));
        sendShutdown(0);
        break;
    case SERVICE_CONTROL_SHUTDOWN:
        if (!changeAndReport(
                [](SERVICE_STATUS& status) {
                    status.dwCheckPoint++;
                    requestStop(status);
                },
                error))
            logLine(L"SetServiceStatus 1 failed %d", static_cast<int>(error));
        sendShutdown(0);
        break;
    default:
        if (!changeAndReport([](SERVICE_STATUS&) {}, error))
            logLine(L"SetServiceStatus 3 failed %d", static_cast<int>(error));
        break;
    }
}

void writeLines(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) childOutput->writeLine(line);
}

// Reads the child's output until the pipe ends: into the output file line by line when one is
// configured, else into nothing.
DWORD WINAPI drainChildOutput(LPVOID) {
    logLine(L"consuming output");
    char scratch[kDrainChunkCapacity];
    OutputLineSplitter splitter(kDrainChunkCapacity);
    std::vector<std::string> lines;
    DWORD read = 0;
    while (ReadFile(childOutputPipe, scratch, sizeof scratch, &read, nullptr) && read > 0) {
        if (!childOutput) continue;
        lines.clear();
        splitter.feed(std::string_view(scratch, read), lines);
        writeLines(lines);
    }
    if (childOutput) {
        std::string rest = splitter.finish();
        if (!rest.empty()) childOutput->writeLine(rest);
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

enum class ChildEndReport { None, Reported, Failed };

// Reports the service stopped when the child's end counts as a stop (see
// childEndReportsStopped), deciding and reporting under one hold of the lock: a stop request
// that comes as the child ends is then either seen here or comes after the stopped report.
ChildEndReport reportChildEnd(DWORD exitCode, DWORD& error) {
    AcquireSRWLockExclusive(&statusLock);
    ChildEndReport outcome = ChildEndReport::None;
    if (childEndReportsStopped(reportedState(), exitCode)) {
        currentStatus.dwCurrentState = SERVICE_STOPPED;
        bool reported = SetServiceStatus(statusHandle, &currentStatus) != FALSE;
        error = reported ? 0 : GetLastError();
        outcome = reported ? ChildEndReport::Reported : ChildEndReport::Failed;
    }
    ReleaseSRWLockExclusive(&statusLock);
    return outcome;
}

// The Event Log entry for a failed child, with the end of its output when that is kept.
void writeFailureEntry(ChildFailure failure) {
    std::wstring outputPath;
    std::vector<std::wstring> outputLines;
    if (childOutput) {
        outputPath = childOutput->path();
        outputLines = childOutput->lastLines(kEntryOutputLines);
    }
    writeEventLogError(serviceName, childFailureEntry(serviceName, failure, outputPath, outputLines));
}

// The child could not be started (`systemError` 0 when no system call failed): the service
// is reported stopped with the service-specific code, after the Event Log entry. The output
// file is closed here; the pipes close with their owners in the caller.
void failChildStart(DWORD systemError) {
    writeFailureEntry({ChildFailure::Kind::NotStarted, systemError});
    childOutput.reset();
    DWORD error = 0;
    changeAndReport(
        [](SERVICE_STATUS& status) {
            status.dwCurrentState = SERVICE_STOPPED;
            status.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
            status.dwServiceSpecificExitCode = kChildStartFailure;
        },
        error);
}

// Waits (within a bound) until the drain thread has written the child's last output, so
// that the output file is complete before it is quoted and before the process ends.
void awaitDrain(const ThreadHandle& drain) {
    if (drain.valid() && WaitForSingleObject(drain.get(), kDrainFinishBoundMs) != WAIT_OBJECT_0)
        logLine(L"output still open %d ms after the child's end", static_cast<int>(kDrainFinishBoundMs));
}

// The child with the thread that drains its output. The thread's handle is kept only when
// the output goes to a file, to wait for its last lines.
struct SupervisedChild {
    ChildProcess process;
    ThreadHandle drain;
};

// Creates the child's pipes and starts the child on them. None when it could not be started,
// or when a stop came before its input pipe was in place; the service has been reported
// stopped then, and every pipe end is closed on the way out.
std::optional<SupervisedChild> startSupervisedChild(const std::wstring& commandLine) {
    // Without its pipes the child cannot be stopped, so none is started and the service is
    // reported stopped rather than left running without a child. The pipe functions log
    // their failure with its system error.
    std::optional<ChildPipe> output = makeChildPipe(PipeDirection::FromChild, L"");
    std::optional<ChildPipe> input = output ? makeChildPipe(PipeDirection::ToChild, L" 2") : std::nullopt;
    if (!input) {
        failChildStart(0);
        return std::nullopt;
    }
    // Stored before the start, so that a stop arriving while the child starts finds the
    // channel; its line then waits in the pipe until the child reads it. A stop that came
    // even earlier is answered by not starting the child at all.
    if (shutdownSlot.publish(input->ours.get()) == ShutdownChannelSlot::Publish::StopAlreadyRequested) {
        logLine(L"stop requested before the child's start: not starting it");
        DWORD error = 0;
        reportState(ServiceState::Stopped, error);
        return std::nullopt;
    }
    // The slot holds the channel now; whoever takes it out owns it.
    (void)input->ours.release();

    ChildOptions options;
    options.creationFlags = childPriorityClass() | DETACHED_PROCESS;
    options.stdHandles = ChildStdHandles{input->childEnd.get(), output->childEnd.get(), output->childEnd.get()};
    DWORD startError = 0;
    std::optional<ChildProcess> child = startChild(nullptr, commandLine, options, startError);
    if (!child) {
        logLine(L"could not start process %s (%d)", commandLine.c_str(), static_cast<int>(startError));
        // The channel comes back unless a stop request took (and closed) it meanwhile; it and
        // the other three pipe ends close with their owners on the way out.
        PipeHandle unusedChannel(static_cast<HANDLE>(shutdownSlot.withdraw()));
        failChildStart(startError);
        return std::nullopt;
    }
    // The drain thread reads the output pipe until the process ends (which it does through
    // ExitProcess, without closing anything), so the pipe is never closed under the thread.
    childOutputPipe = output->ours.release();
    ThreadHandle drain(CreateThread(nullptr, 0, drainChildOutput, nullptr, 0, nullptr));
    if (!childOutput) drain.reset();
    return SupervisedChild{std::move(*child), std::move(drain)};
}

// Waits for the child's end, writes the Event Log entry of a failure, reports the service
// stopped when the end counts as a stop, and ends the process (with the child's code when the
// end is not a stop).
LAUNCHER_NORETURN void superviseUntilEnd(SupervisedChild& child) {
    DWORD exitError = 0;
    DWORD exitCode = waitForExit(child.process, INFINITE, exitError).value_or(kUnreadableExitCode);
    logLine(L"process terminated with exit code %d", static_cast<int>(exitCode));
    awaitDrain(child.drain);
    if (exitCode != 0) writeFailureEntry({ChildFailure::Kind::Ended, exitCode});

    DWORD reportError = 0;
    ChildEndReport ended = reportChildEnd(exitCode, reportError);
    if (ended == ChildEndReport::Failed) logLine(L"SetServiceStatus 10 failed %d", static_cast<int>(reportError));
    if (ended != ChildEndReport::None) logLine(L"service stopped set");
    child.process = ChildProcess{};
    logLine(L"exiting");
    // A child that failed on its own leaves the service reported running, and the process's own
    // exit code is then the only place its code survives: /start's early-exit check reads it
    // there. Every end reported as a stop ends with 0.
    ExitProcess(ended == ChildEndReport::None ? exitCode : 0);
}

void resetStatus() {
    currentStatus.dwServiceType = SERVICE_WIN32_OWN_PROCESS | SERVICE_WIN32_SHARE_PROCESS;
    currentStatus.dwCurrentState = SERVICE_RUNNING;
    currentStatus.dwControlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN;
    currentStatus.dwWin32ExitCode = 0;
    currentStatus.dwServiceSpecificExitCode = 0;
    currentStatus.dwCheckPoint = 0;
    currentStatus.dwWaitHint = kWaitHint;
}

// The child's command line from the supervisor's own and the start arguments; false (logged)
// when it does not fit its buffer.
bool childCommandLine(DWORD argc, LPWSTR* argv, std::wstring& commandLine) {
    ArgumentList ownWords = splitCommandLine(GetCommandLineW());
    ArgumentList startArguments;
    for (DWORD i = 1; i < argc; ++i) startArguments.emplace_back(argv[i] != nullptr ? argv[i] : L"");
    if (buildChildCommandLine(ownWords, serviceName, startArguments, kChildCommandLineCapacity, commandLine))
        return true;
    logLine(L"could not start process: command line longer than %d characters",
            static_cast<int>(kChildCommandLineCapacity - 1));
    return false;
}

}  // namespace

BOOL WINAPI consoleEventHandler(DWORD) {
    logLine(L"ConsoleCtrlHandler event");
    return TRUE;
}

void WINAPI serviceMain(DWORD argc, LPWSTR* argv) {
    logLine(L"service main");
    resetStatus();
    copyBounded(serviceName, kServiceNameCapacity, chooseServiceName(argc, argv, kServiceNameCapacity));
    logLine(L"service name is '%s'", serviceName);

    statusHandle = RegisterServiceCtrlHandlerW(serviceName, controlHandler);
    if (statusHandle == nullptr) return;
    DWORD reportError = 0;
    changeAndReport([](SERVICE_STATUS&) {}, reportError);

    std::wstring commandLine;
    if (!childCommandLine(argc, argv, commandLine)) {
        failChildStart(0);
        return;
    }
    childOutput = openConfiguredOutputFile();
    std::optional<SupervisedChild> child = startSupervisedChild(commandLine);
    if (!child) return;
    changeAndReport(
        [](SERVICE_STATUS& status) {
            status.dwCurrentState = static_cast<DWORD>(stateAfterChildStarted(reportedState()));
        },
        reportError);
    logLine(L"registering ConsoleCtrlHandler");
    SetConsoleCtrlHandler(consoleEventHandler, TRUE);
    superviseUntilEnd(*child);
}
