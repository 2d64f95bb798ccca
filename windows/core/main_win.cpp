// Process entry: start-up preparation, command-line splitting and the choice between an
// administration command, a direct run and the service dispatcher.

#include "config/config_store.h"
#include "config/read_config.h"
#include "core/capacities.h"
#include "core/command_line.h"
#include "core/commands.h"
#include "core/console_output.h"
#include "core/environment.h"
#include "core/launcher_state.h"
#include "core/log.h"
#include "core/platform.h"
#include "core/run.h"
#include "core/text_format.h"
#include "jvmsearch/jvm_library.h"
#include "paths/working_directory.h"
#include "service/service_commands.h"
#include "service/service_main.h"

#include <cstdio>

namespace {

constexpr size_t kModulePathCapacity = kPathCapacity;

void prepareLauncher() {
    readConfiguration();
    char kind[2];
    getSetting(SettingId::Generator, kind, sizeof kind);
    generatorKind = kind[0];
    reducePath();
    if (getSettingInt(SettingId::RemoveJavaOptions) != 0) {
        logLine(L"ignoring java options environment variables");
        clearJavaOptionsEnv();
    }
    applyConfiguredWorkingDirectory();
}

void printUsage() {
    // A path too long for the buffer is left out of the usage line rather than shown cut.
    wchar_t modulePath[kModulePathCapacity];
    moduleFileName(modulePath, kModulePathCapacity, TooLong::Refuse);
    printToStdout(L"%s", usageLine(modulePath).c_str());
}

// Blocks while the process serves as the service; returns the dispatcher's error, or 0 once
// the service has stopped.
DWORD runDispatcher() {
    SERVICE_TABLE_ENTRYW table[] = {{serviceName, serviceMain}, {nullptr, nullptr}};
    logLine(L"calling StartServiceCtrlDispatcher");
    DWORD error = 0;
    if (!StartServiceCtrlDispatcherW(table)) {
        error = GetLastError();
        logLine(L"StartServiceCtrlDispatcher failed with error %d", static_cast<int>(error));
    }
    logLine(L"StartServiceCtrlDispatcher returned");
    return error;
}

int directRun(ArgumentList& args, const std::wstring& programPath) {
    serviceMode = false;
    args.insert(args.begin(), programPath);
    runApplication(args, false);
    return 0;
}

int installWithConfiguredStart() {
    return installCommand(getSettingInt(SettingId::ApplicationKind) == 4 ? SERVICE_AUTO_START : SERVICE_DEMAND_START);
}

int runForeground(ArgumentList& args, const std::wstring& programPath) {
    logLine(L"running service");
    noRedirect = true;
    return directRun(args, programPath);
}

// A launcher started without a command word, and not by the Service Control Manager (a
// double-click, a shortcut, a document dropped on it), runs its configured default command;
// without one it ends with 0 as it always did.
int afterDispatcher(const CommandChoice& choice, ArgumentList& args, const std::wstring& programPath) {
    DWORD error = runDispatcher();
    DefaultCommand fallback = parseDefaultCommand(getSettingCopy(SettingId::DefaultCommand));
    if (!runsDefaultCommand(fallback, choice, error)) return 0;
    logLine(L"not started by the service control manager: running the default command");
    return runForeground(args, programPath);
}

int carryOut(const CommandChoice& choice, ArgumentList& args, const std::wstring& programPath) {
    switch (choice.command) {
    case Command::RestartChild:
        runApplication(args, true);
        return 0;
    case Command::Help:
        printUsage();
        return 0;
    case Command::Install:
        return installWithConfiguredStart();
    case Command::InstallAndStart:
        // A failed installation still goes on to the start (the service may be installed
        // already), but never to starting another program's service of the same name.
        if (installWithConfiguredStart() != 0 && serviceBelongsToAnotherProgram()) return 1;
        return startCommand(args);
    case Command::InstallAuto:
        return installCommand(SERVICE_AUTO_START);
    case Command::InstallDemand:
        return installCommand(SERVICE_DEMAND_START);
    case Command::Uninstall:
        return uninstallCommand(true);
    case Command::Stop:
        return stopCommand(true);
    case Command::Start:
        return startCommand(args);
    case Command::Restart:
        stopCommand(false);
        return startCommand(args);
    case Command::Status:
        return statusCommand();
    case Command::Run:
        return runForeground(args, programPath);
    case Command::RunRedirect:
        logLine(L"running service with redirection");
        return directRun(args, programPath);
    case Command::Dispatcher:
        break;
    }
    return afterDispatcher(choice, args, programPath);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // Before anything is loaded: from here on a library loaded by name (and every import of
    // one) is not looked for in the current directory, where anyone who chose the folder the
    // launcher is started from could have put a file of that name. PATH stays in the search;
    // a runtime's jvm.dll finds its C runtime in bin through it. The log does not exist yet,
    // so a failure is logged once it does.
    DWORD dllSearchError = SetDllDirectoryW(L"") ? 0 : GetLastError();
    serviceMode = true;
    prepareLauncher();
    if (dllSearchError != 0)
        logError(L"could not take the current directory out of the DLL search (%d)", static_cast<int>(dllSearchError));
    getSettingWide(SettingId::ServiceName, serviceName, kServiceNameCapacity);

    const wchar_t* commandLine = GetCommandLineW();
    logLine(L"command line %s", commandLine);
    ArgumentList args = splitCommandLine(commandLine);
    std::wstring programPath;
    if (!args.empty()) {
        programPath = args.front();
        args.erase(args.begin());
    }

    CommandChoice choice = chooseCommand(args);
    if (choice.hasServiceName && !copyBounded(serviceName, kServiceNameCapacity, choice.serviceName.c_str()))
        logError(L"service name truncated");

    int code = carryOut(choice, args, programPath);
    // A GUI launcher with no console to print to shows a command's output in a box.
    showCollectedOutput(code);
    return code;
}
