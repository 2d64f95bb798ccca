// Administration of the launcher's own service through the Service Control Manager. Each
// command prints one outcome line per step on standard output and returns the exit code.

#include "service/service_commands.h"

#include "config/config_store.h"
#include "core/capacities.h"
#include "core/console_output.h"
#include "core/handles.h"
#include "core/launcher_state.h"
#include "core/text_format.h"
#include "paths/launcher_path.h"
#include "service/service_commands_rules.h"

#include <vector>

namespace {

constexpr size_t kConfigBufferSize = kPathCapacity;
constexpr size_t kDependencyCapacity = kPathCapacity;

ServiceHandle openManager(DWORD access) { return ServiceHandle(OpenSCManagerW(nullptr, nullptr, access)); }

// Polls a stopping service. A service that advances its checkpoint is waited for without
// limit; one that does not is given up after its own wait hint.
bool waitForStop(SC_HANDLE service) {
    SERVICE_STATUS status;
    if (!QueryServiceStatus(service, &status)) return false;
    DWORD startTick = GetTickCount();
    DWORD checkpoint = status.dwCheckPoint;
    while (status.dwCurrentState == SERVICE_STOP_PENDING) {
        Sleep(500);
        if (!QueryServiceStatus(service, &status)) return false;
        if (status.dwCheckPoint > checkpoint) {
            startTick = GetTickCount();
            checkpoint = status.dwCheckPoint;
        } else if (GetTickCount() - startTick > status.dwWaitHint) {
            break;
        }
    }
    return status.dwCurrentState == SERVICE_STOPPED;
}

std::wstring dependencyList() {
    wchar_t setting[kPathCapacity];
    getSettingWide(SettingId::ServiceDependencies, setting, kPathCapacity);
    return dependencyMultiString(setting, kDependencyCapacity);
}

// Sets the description from message 20017 when there is one. The function is looked up at
// run time because older systems lack it; without it the service simply has no description.
void setDescription(SC_HANDLE service) {
    wchar_t description[kPathCapacity];
    getMessageOnly(MessageId::ServiceDescription, description, kPathCapacity);
    if (description[0] == 0) return;
    using ChangeConfig2 = BOOL(WINAPI*)(SC_HANDLE, DWORD, LPVOID);
    auto change = lookupFunction<ChangeConfig2>(GetModuleHandleW(L"advapi32.dll"), "ChangeServiceConfig2W");
    if (change == nullptr) return;
    SERVICE_DESCRIPTIONW info;
    info.lpDescription = description;
    change(service, SERVICE_CONFIG_DESCRIPTION, &info);
}

}  // namespace

int statusCommand() {
    ServiceHandle manager = openManager(SC_MANAGER_CONNECT);
    if (!manager.valid()) {
        printToStdout(L"Could not open SCManager.\n");
        return 1;
    }
    ServiceHandle service(OpenServiceW(manager.get(), serviceName, SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS));
    SERVICE_STATUS status;
    if (!service.valid() || !QueryServiceStatus(service.get(), &status)) {
        printToStdout(L"Could not get status.\n");
        return 1;
    }
    int result = 3;
    if (status.dwCurrentState == SERVICE_RUNNING) {
        printToStdout(L"Running.\n");
        result = 0;
    } else {
        printToStdout(L"Not running.\n");
    }
    // DWORD storage keeps the configuration record aligned.
    std::vector<DWORD> buffer(kConfigBufferSize / sizeof(DWORD));
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    DWORD needed = 0;
    if (!QueryServiceConfigW(service.get(), config, kConfigBufferSize, &needed)) {
        DWORD error = GetLastError();
        printToStdout(L"Could not get config (%d, %d).\n", static_cast<int>(error), static_cast<int>(needed));
        return 1;
    }
    if (config->dwStartType == SERVICE_AUTO_START) printToStdout(L"%s.\n", L"Auto-start");
    return result;
}

int stopCommand(bool verbose) {
    ServiceHandle manager = openManager(SC_MANAGER_CONNECT);
    if (!manager.valid()) {
        if (verbose) printToStdout(L"Could not open SCManager.\n");
        return 1;
    }
    ServiceHandle service(OpenServiceW(manager.get(), serviceName, SERVICE_STOP | SERVICE_QUERY_STATUS));
    if (!service.valid()) {
        if (verbose) printToStdout(L"Could not stop service.\n");
        return 1;
    }
    SERVICE_STATUS status;
    if (ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) {
        printToStdout(L"Stopping service '%s'.\n", serviceName);
        printToStdout(waitForStop(service.get()) ? L"Service stopped\n" : L"Error while stopping service\n");
        return 0;
    }
    DWORD error = GetLastError();
    if (error == ERROR_SERVICE_NOT_ACTIVE) {
        printToStdout(L"Service is already stopped.\n");
        return 0;
    }
    if (verbose) printToStdout(L"Could not stop service.\n");
    return 1;
}

int uninstallCommand(bool verbose) {
    stopCommand(false);
    ServiceHandle manager = openManager(SC_MANAGER_ALL_ACCESS);
    if (!manager.valid()) {
        if (verbose) printToStdout(L"Could not open SCManager.\n");
        return 1;
    }
    ServiceHandle service(OpenServiceW(manager.get(), serviceName, DELETE));
    if (!service.valid() || !DeleteService(service.get())) {
        if (verbose) printToStdout(L"Could not delete service.\n");
        return 1;
    }
    if (verbose) printToStdout(L"Uninstalled service '%s'.\n", serviceName);
    return 0;
}

int installCommand(int startType) {
    uninstallCommand(false);
    ServiceHandle manager = openManager(SC_MANAGER_ALL_ACCESS);
    if (!manager.valid()) {
        printToStdout(L"Could not open SCManager.\n");
        return 1;
    }
    // The executable alone, quoted: started without a command word, it enters the dispatcher.
    std::wstring program = formatWideString(L"\"%s\"", getLauncherPathWide());
    std::wstring dependencies = dependencyList();
    ServiceHandle service(CreateServiceW(manager.get(), serviceName, serviceName, SERVICE_ALL_ACCESS,
                                         SERVICE_WIN32_OWN_PROCESS, static_cast<DWORD>(startType),
                                         SERVICE_ERROR_NORMAL, program.c_str(), nullptr, nullptr,
                                         dependencies.empty() ? nullptr : dependencies.c_str(), nullptr, nullptr));
    if (!service.valid()) {
        printToStdout(L"Could not create service.\n");
        return 1;
    }
    setDescription(service.get());
    printToStdout(L"Installed service '%s'.\n", serviceName);
    return 0;
}

int startCommand(const ArgumentList& args) {
    ServiceHandle manager = openManager(SC_MANAGER_CONNECT);
    if (!manager.valid()) {
        printToStdout(L"Could not open SCManager.\n");
        return 1;
    }
    ServiceHandle service(OpenServiceW(manager.get(), serviceName, SERVICE_START));
    if (!service.valid()) {
        DWORD error = GetLastError();
        printToStdout(L"Could not start service. Error code: %d\n", static_cast<int>(error));
        return 1;
    }
    // The first word names the service; only the words after it are start arguments.
    std::vector<LPCWSTR> startArguments;
    for (size_t i = 1; i < args.size(); ++i) startArguments.push_back(args[i].c_str());
    if (StartServiceW(service.get(), static_cast<DWORD>(startArguments.size()),
                      startArguments.empty() ? nullptr : startArguments.data())) {
        printToStdout(L"Starting service '%s'.\n", serviceName);
        return 0;
    }
    DWORD error = GetLastError();
    if (error == ERROR_SERVICE_ALREADY_RUNNING) {
        printToStdout(L"Service is already running.\n");
        return 0;
    }
    printToStdout(L"Could not start service. Error code: %d\n", static_cast<int>(error));
    return 1;
}
