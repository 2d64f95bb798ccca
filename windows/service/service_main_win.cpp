// The supervising service. It reports running at once, starts a child copy of the launcher
// with the restart marker, discards the child's output, turns stop and shutdown controls
// into one line on the child's standard input and reports the outcome when the child ends.

#include "service/service_main.h"

#include "core/command_line.h"
#include "core/handles.h"
#include "core/launcher_state.h"
#include "core/log.h"
#include "core/text_format.h"
#include "service/service_main_rules.h"

#include <cstdio>
#include <cwchar>
#include <vector>

namespace {

constexpr size_t kChildCommandLineCapacity = 12000;
constexpr DWORD kWaitHint = 50000;
constexpr DWORD kChildStartFailure = 5000;

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
    HANDLE channel = InterlockedExchangePointer(const_cast<HANDLE*>(&shutdownChannel), nullptr);
    if (channel == nullptr) {
        // A second request: the line went out already and the channel is closed.
        logLine(L"shutdown already sent");
        return;
    }
    char line[8];
    int length = snprintf(line, sizeof line, "%d\n", low);
    DWORD written = 0;
    if (!WriteFile(channel, line, static_cast<DWORD>(length), &written, nullptr)) {
        DWORD error = GetLastError();
        logLine(L"sending shutdown failed");
        logLine(L"error code %d", static_cast<int>(error));
    }
    CloseHandle(channel);
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
    char scratch[6000];
    DWORD read = 0;
    while (ReadFile(static_cast<HANDLE>(pipe), scratch, sizeof scratch, &read, nullptr) && read > 0) {
    }
    logLine(L"consuming output done");
    return 0;
}

DWORD childPriorityClass() {
    RegistryKey key;
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\brightmoor-labs\\ravel\\priority", 0, KEY_READ, &opened) !=
        ERROR_SUCCESS)
        return NORMAL_PRIORITY_CLASS;
    key.reset(opened);
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExW(key.get(), serviceName, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) ==
            ERROR_SUCCESS &&
        size == sizeof value) {
        logLine(L"using priority %d", static_cast<int>(value));
        return value;
    }
    return NORMAL_PRIORITY_CLASS;
}

void reportStartFailure() {
    currentStatus.dwCurrentState = SERVICE_STOPPED;
    currentStatus.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
    currentStatus.dwServiceSpecificExitCode = kChildStartFailure;
    reportStatus();
}

// An inheritable pipe whose supervisor end is made non-inheritable.
bool createChildPipe(HANDLE& read, HANDLE& write, bool supervisorReads, const wchar_t* suffix) {
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, nullptr, TRUE};
    if (!CreatePipe(&read, &write, &attributes, 0)) {
        logLine(L"CreatePipe error%s (%d)", suffix, static_cast<int>(GetLastError()));
        return false;
    }
    if (!SetHandleInformation(supervisorReads ? read : write, HANDLE_FLAG_INHERIT, 0)) {
        logLine(L"SetHandleInformation error%s (%d)", suffix, static_cast<int>(GetLastError()));
        CloseHandle(read);
        CloseHandle(write);
        return false;
    }
    return true;
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
    HANDLE outputRead = nullptr, outputWrite = nullptr, inputRead = nullptr, inputWrite = nullptr;
    if (!createChildPipe(outputRead, outputWrite, true, L"")) {
        reportStartFailure();
        return;
    }
    if (!createChildPipe(inputRead, inputWrite, false, L" 2")) {
        CloseHandle(outputRead);
        CloseHandle(outputWrite);
        reportStartFailure();
        return;
    }
    shutdownChannel = inputWrite;

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inputRead;
    startup.hStdOutput = outputWrite;
    startup.hStdError = outputWrite;
    PROCESS_INFORMATION child = {};
    std::vector<wchar_t> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back(0);
    if (!CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, TRUE, childPriorityClass() | DETACHED_PROCESS,
                        nullptr, nullptr, &startup, &child)) {
        DWORD error = GetLastError();
        logLine(L"could not start process %s (%d)", commandLine.c_str(), static_cast<int>(error));
        reportStartFailure();
        return;
    }
    ProcessHandle process(child.hProcess);
    ProcessHandle thread(child.hThread);
    CloseHandle(outputWrite);
    CloseHandle(inputRead);
    HANDLE drain = CreateThread(nullptr, 0, drainChildOutput, outputRead, 0, nullptr);
    if (drain != nullptr) CloseHandle(drain);
    currentStatus.dwCurrentState = SERVICE_RUNNING;
    reportStatus();
    logLine(L"registering ConsoleCtrlHandler");
    SetConsoleCtrlHandler(consoleEventHandler, TRUE);

    WaitForSingleObject(process.get(), INFINITE);
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(process.get(), &exitCode)) exitCode = 0;
    logLine(L"process terminated with exit code %d", static_cast<int>(exitCode));

    // An application that fails on its own leaves the service reported running, so the SCM
    // sees the service process vanish and applies its recovery settings.
    if (exitCode == 0 || currentStatus.dwCurrentState == SERVICE_STOP_PENDING) {
        currentStatus.dwCurrentState = SERVICE_STOPPED;
        if (!reportStatus()) logLine(L"SetServiceStatus 10 failed %d", static_cast<int>(GetLastError()));
        logLine(L"service stopped set");
    }
    process.reset();
    thread.reset();
    logLine(L"exiting");
    ExitProcess(0);
}
