// Administration of the launcher's own service through the Service Control Manager. Each
// command prints one outcome line per step on standard output and returns the exit code. A
// failure of the system is followed by a line with the system's reason for it.

#include "service/service_commands.h"

#include "config/config_store.h"
#include "core/capacities.h"
#include "core/code_page.h"
#include "core/console_output.h"
#include "core/environment.h"
#include "core/handles.h"
#include "core/launcher_state.h"
#include "core/log.h"
#include "core/registry.h"
#include "core/text_format.h"
#include "paths/launcher_path.h"
#include "service/service_commands_rules.h"

#include <string>
#include <vector>

static_assert(kActionNone == SC_ACTION_NONE && kActionRestart == SC_ACTION_RESTART, "SC_ACTION_TYPE values");
static_assert(kServiceStopped == SERVICE_STOPPED, "service state values");
static_assert(kServiceSpecificError == ERROR_SERVICE_SPECIFIC_ERROR && kProcessAborted == ERROR_PROCESS_ABORTED,
              "service exit code values");
static_assert(kEventTypesSupported == (EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE),
              "event type values");

namespace {

constexpr size_t kConfigBufferSize = kPathCapacity;
constexpr size_t kDependencyCapacity = kPathCapacity;
// A system message text, and a password read at install time (Windows allows 256 characters).
constexpr size_t kReasonCapacity = kPathCapacity;
constexpr size_t kPasswordCapacity = kShortTextCapacity;

ServiceHandle openManager(DWORD access) { return ServiceHandle(OpenSCManagerW(nullptr, nullptr, access)); }

// "<message text> (<number>)" for a saved Win32 error.
std::wstring reasonText(DWORD error) {
    wchar_t text[kReasonCapacity];
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                                  static_cast<DWORD>(kReasonCapacity), nullptr);
    return systemReasonLine(std::wstring_view(text, length), error);
}

void printReason(DWORD error) { printToStdout(L"%s\n", reasonText(error).c_str()); }

// The described failure text, then the system's reason for `error`.
void printFailure(const wchar_t* text, DWORD error) {
    printToStdout(L"%s", text);
    printReason(error);
}

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

std::wstring settingText(SettingId id) {
    wchar_t text[kPathCapacity];
    getSettingWide(id, text, kPathCapacity);
    return text;
}

// A number setting, or none when the configuration does not give it.
std::optional<int> optionalSettingInt(SettingId id) {
    if (getSettingCopy(id).empty()) return std::nullopt;
    return getSettingInt(id);
}

std::wstring dependencyList() {
    return dependencyMultiString(settingText(SettingId::ServiceDependencies), kDependencyCapacity);
}

// ChangeServiceConfig2W, looked up at run time because older systems lack it; null then.
using ChangeConfig2 = BOOL(WINAPI*)(SC_HANDLE, DWORD, LPVOID);
ChangeConfig2 changeConfig2() {
    return lookupFunction<ChangeConfig2>(GetModuleHandleW(L"advapi32.dll"), "ChangeServiceConfig2W");
}

// Sets the description from message 20017 when there is one. Without ChangeServiceConfig2W
// the service simply has no description.
void setDescription(SC_HANDLE service) {
    wchar_t description[kPathCapacity];
    getMessageOnly(MessageId::ServiceDescription, description, kPathCapacity);
    if (description[0] == 0) return;
    ChangeConfig2 change = changeConfig2();
    if (change == nullptr) return;
    SERVICE_DESCRIPTIONW info;
    info.lpDescription = description;
    change(service, SERVICE_CONFIG_DESCRIPTION, &info);
}

// One optional configuration level. The service is installed whether or not the system takes
// it: a refusal (Wine's manager answers ERROR_INVALID_LEVEL for the failure-actions flag and
// for delayed start) is logged and told in one line after the install's own.
bool changeConfigOrTell(SC_HANDLE service, DWORD level, void* info, const wchar_t* what, std::wstring& refusals) {
    ChangeConfig2 change = changeConfig2();
    DWORD error = ERROR_PROC_NOT_FOUND;
    if (change != nullptr) {
        if (change(service, level, info)) {
            logLine(L"service configuration %d set: %s", static_cast<int>(level), what);
            return true;
        }
        error = GetLastError();
    }
    logLine(L"the system refused the %s (ChangeServiceConfig2W level %d, error %d)", what, static_cast<int>(level),
            static_cast<int>(error));
    refusals += formatWideString(L"The system refused the %s: %s\n", what, reasonText(error).c_str());
    return false;
}

RecoverySettings recoverySettings() {
    RecoverySettings settings;
    settings.restartDelaySeconds = optionalSettingInt(SettingId::ServiceRestartDelaySeconds);
    settings.restarts = optionalSettingInt(SettingId::ServiceRestarts);
    settings.resetSeconds = optionalSettingInt(SettingId::ServiceResetSeconds);
    return settings;
}

// The failure actions of [service.recovery]; for failures without a crash too (the supervisor
// reports stopped with an error code when it cannot start the application), so that those
// get their restart as well.
void setRecovery(SC_HANDLE service, std::wstring& refusals) {
    std::optional<FailureActionsPlan> plan = planFailureActions(recoverySettings());
    if (!plan) return;
    std::vector<SC_ACTION> actions;
    for (const FailureAction& action : plan->actions)
        actions.push_back(SC_ACTION{static_cast<SC_ACTION_TYPE>(action.type), action.delayMilliseconds});
    SERVICE_FAILURE_ACTIONSW info{};
    info.dwResetPeriod = plan->resetPeriodSeconds;
    info.cActions = static_cast<DWORD>(actions.size());
    info.lpsaActions = actions.data();
    logLine(L"failure actions: %d restarts, %d ms apart, count reset after %d s", static_cast<int>(actions.size() - 1),
            static_cast<int>(actions.front().Delay), static_cast<int>(plan->resetPeriodSeconds));
    if (!changeConfigOrTell(service, SERVICE_CONFIG_FAILURE_ACTIONS, &info, L"recovery actions", refusals)) return;
    SERVICE_FAILURE_ACTIONS_FLAG flag{};
    flag.fFailureActionsOnNonCrashFailures = TRUE;
    changeConfigOrTell(service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &flag, L"recovery after a reported failure",
                       refusals);
}

void setDelayedStart(SC_HANDLE service, int startType, std::wstring& refusals) {
    if (getSettingInt(SettingId::ServiceDelayedStart) == 0) return;
    if (startType != SERVICE_AUTO_START) {
        logLine(L"delayed start not set: the service starts on demand");
        return;
    }
    SERVICE_DELAYED_AUTO_START_INFO info{};
    info.fDelayedAutostart = TRUE;
    changeConfigOrTell(service, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &info, L"delayed start", refusals);
}

// The service's event source, under which the supervisor reports an application that fails.
// The service works without it, so a failure is only logged.
void registerEventSource() {
    std::wstring path = eventSourceKeyPath(serviceName);
    LONG status = ERROR_SUCCESS;
    RegistryKey key =
        createRegistryKey(HKEY_LOCAL_MACHINE, path.c_str(), KEY_SET_VALUE, RegistryView::Default, &status);
    if (key.valid()) {
        status = writeRegistryText(key.get(), L"EventMessageFile", getLauncherPathWide(), REG_EXPAND_SZ);
        if (status == ERROR_SUCCESS) status = writeRegistryDword(key.get(), L"TypesSupported", kEventTypesSupported);
    }
    if (status == ERROR_SUCCESS)
        logLine(L"event source registered: %s", path.c_str());
    else
        logLine(L"could not register event source %s (%d)", path.c_str(), static_cast<int>(status));
}

void removeEventSource() {
    std::wstring path = eventSourceKeyPath(serviceName);
    LONG status = deleteRegistryKey(HKEY_LOCAL_MACHINE, path.c_str(), RegistryView::Default);
    if (status == ERROR_SUCCESS)
        logLine(L"event source removed: %s", path.c_str());
    else if (status != ERROR_FILE_NOT_FOUND)
        logLine(L"could not remove event source %s (%d)", path.c_str(), static_cast<int>(status));
}

// A password held only as long as the install needs it, overwritten when it goes.
class Secret {
public:
    Secret() = default;
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;
    ~Secret() { wipe(text); }
    static void wipe(std::wstring& s) {
        if (!s.empty()) SecureZeroMemory(&s[0], s.size() * sizeof(wchar_t));
        s.clear();
    }
    std::wstring text;
};

// The first line of standard input. On a console it is typed without echo after a prompt; a
// pipe or file is read as it is, in the console's input code page (the ANSI code page without
// a console). False with the reason in `error` when there is no line or it is too long.
bool readPasswordFromInput(const std::wstring& account, Secret& password, DWORD& error) {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    Secret text;
    DWORD mode = 0;
    if (input != nullptr && input != INVALID_HANDLE_VALUE && GetConsoleMode(input, &mode)) {
        std::vector<wchar_t> typed(kPasswordCapacity, L'\0');
        printToStdout(L"Password for %s: ", account.c_str());
        SetConsoleMode(input, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
        DWORD read = 0;
        BOOL ok = ReadConsoleW(input, typed.data(), static_cast<DWORD>(typed.size()), &read, nullptr);
        error = GetLastError();
        SetConsoleMode(input, mode);
        printToStdout(L"\n");
        if (ok) text.text.assign(typed.data(), read);
        SecureZeroMemory(typed.data(), typed.size() * sizeof(wchar_t));
        if (!ok) return false;
    } else {
        std::vector<char> bytes(kPasswordCapacity, '\0');
        size_t used = 0;
        DWORD read = 0;
        while (used < bytes.size() &&
               ReadFile(input, bytes.data() + used, static_cast<DWORD>(bytes.size() - used), &read, nullptr) &&
               read > 0) {
            used += read;
            if (std::string_view(bytes.data(), used).find('\n') != std::string_view::npos) break;
        }
        UINT codePage = GetConsoleCP() != 0 ? GetConsoleCP() : CP_ACP;
        text.text = widenFromCodePage(std::string_view(bytes.data(), used), codePage);
        SecureZeroMemory(bytes.data(), bytes.size());
    }
    // A line that filled the whole buffer may go on beyond it: refused rather than cut.
    if (text.text.size() >= kPasswordCapacity && text.text.find(L'\n') == std::wstring::npos) {
        error = ERROR_INSUFFICIENT_BUFFER;
        return false;
    }
    std::optional<std::wstring> found = passwordLine(text.text);
    if (!found) {
        error = ERROR_HANDLE_EOF;
        return false;
    }
    password.text = *found;
    Secret::wipe(*found);
    return true;
}

// The account the service runs under and, for a named account, its password, from the
// configuration (never from the block: only the variable's name is configured). False with
// the reason in `error` when the account cannot be used.
bool resolveAccount(ServiceAccount& account, Secret& password, DWORD& error) {
    account = chooseServiceAccount(settingText(SettingId::ServiceAccount));
    if (account.kind == AccountKind::Invalid) {
        logLine(L"service account '%s' is not LocalSystem, LocalService, NetworkService, .\\name or DOMAIN\\name",
                settingText(SettingId::ServiceAccount).c_str());
        error = ERROR_INVALID_SERVICE_ACCOUNT;
        return false;
    }
    std::wstring variable = settingText(SettingId::ServicePasswordEnv);
    switch (choosePasswordSource(account.kind, variable)) {
    case PasswordSource::None:
        return true;
    case PasswordSource::Environment: {
        EnvironmentValue<wchar_t> value = readVariable(variable.c_str());
        if (!value.set) {
            logLine(L"password variable %s is not set", variable.c_str());
            error = ERROR_ENVVAR_NOT_FOUND;
            return false;
        }
        password.text = value.text;
        Secret::wipe(value.text);
        logLine(L"password for %s read from variable %s", account.objectName.c_str(), variable.c_str());
        return true;
    }
    case PasswordSource::StandardInput:
        if (!readPasswordFromInput(account.objectName, password, error)) {
            logLine(L"no password for %s on standard input (%d)", account.objectName.c_str(), static_cast<int>(error));
            return false;
        }
        logLine(L"password for %s read from standard input", account.objectName.c_str());
        return true;
    }
    return true;
}

bool queryProcessStatus(SC_HANDLE service, SERVICE_STATUS_PROCESS& status) {
    DWORD needed = 0;
    return QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                                &needed) != FALSE;
}

// Asks the manager every half second until it reports the service stopped or `boundMs` pass.
void pollUntilStopped(SC_HANDLE service, DWORD boundMs, SERVICE_STATUS_PROCESS& status) {
    constexpr DWORD kPollMs = 500;
    DWORD start = GetTickCount();
    while (status.dwCurrentState != SERVICE_STOPPED && GetTickCount() - start < boundMs) {
        DWORD left = boundMs - (GetTickCount() - start);
        Sleep(left < kPollMs ? left : kPollMs);
        if (!queryProcessStatus(service, status)) status.dwCurrentState = 0;
    }
}

// Watches a service whose start the manager has just accepted, for `seconds`. The service
// process is taken from the manager's report and opened at once, so that its end and exit
// code are seen even where the manager does not notice it (Wine's does not); without a
// process to watch, the manager is asked until it reports the service stopped. An end within
// the check is told on a line of its own; returns the exit code /start adds.
int checkStart(SC_HANDLE service, int seconds) {
    const DWORD bound = static_cast<DWORD>(seconds) * 1000;
    SERVICE_STATUS_PROCESS status{};
    if (!queryProcessStatus(service, status)) status.dwCurrentState = 0;
    ProcessHandle process;
    if (status.dwCurrentState != SERVICE_STOPPED && status.dwProcessId != 0) {
        process.reset(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, status.dwProcessId));
        if (!process.valid())
            logLine(L"start check: cannot open service process %d (%d)", static_cast<int>(status.dwProcessId),
                    static_cast<int>(GetLastError()));
    }
    ProcessSeen seen = ProcessSeen::Unknown;
    std::optional<uint32_t> processExitCode;
    if (process.valid()) {
        logLine(L"start check: watching service process %d for %d s", static_cast<int>(status.dwProcessId), seconds);
        if (WaitForSingleObject(process.get(), bound) == WAIT_OBJECT_0) {
            seen = ProcessSeen::Ended;
            DWORD code = 0;
            if (GetExitCodeProcess(process.get(), &code)) processExitCode = code;
        } else {
            seen = ProcessSeen::Running;
        }
        if (!queryProcessStatus(service, status)) status.dwCurrentState = 0;
    } else {
        logLine(L"start check: no service process to watch, asking the manager for %d s", seconds);
        pollUntilStopped(service, bound, status);
    }
    StartCheckOutcome outcome = judgeStartCheck(
        seen, processExitCode,
        ServiceSnapshot{status.dwCurrentState, status.dwWin32ExitCode, status.dwServiceSpecificExitCode});
    if (!outcome.ended) return 0;
    logLine(L"start check: the service ended (%s stopped report)", outcome.reportedStop ? L"with a" : L"without a");
    if (!outcome.exitCode)
        printToStdout(L"Service '%s' ended within %d seconds; its exit code is unknown.\n", serviceName, seconds);
    else if (outcome.reportedStop)
        printToStdout(L"Service '%s' ended within %d seconds with exit code %u.\n", serviceName, seconds,
                      static_cast<unsigned>(*outcome.exitCode));
    else
        printToStdout(L"Service '%s' ended within %d seconds without reporting stopped, exit code %u.\n", serviceName,
                      seconds, static_cast<unsigned>(*outcome.exitCode));
    return startCheckResult(outcome);
}

bool isFile(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The text with its %NAME% references expanded, as the manager expands an image path; the
// text as it is when the expansion fails.
std::wstring environmentExpanded(const std::wstring& text) {
    DWORD needed = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    if (needed == 0) return text;
    std::wstring expanded(needed, L'\0');
    DWORD written = ExpandEnvironmentStringsW(text.c_str(), &expanded[0], needed);
    if (written == 0 || written > needed) return text;
    expanded.resize(written - 1);
    return expanded;
}

// One form per file, as far as the system can tell: separators normalised, made full, and
// with short (8.3) names made long where the file exists. A step the system refuses leaves
// the form of the step before.
std::wstring comparablePath(const std::wstring& path) {
    std::wstring form = separatorsNormalised(path);
    DWORD needed = GetFullPathNameW(form.c_str(), 0, nullptr, nullptr);
    if (needed != 0) {
        std::wstring full(needed, L'\0');
        DWORD length = GetFullPathNameW(form.c_str(), needed, &full[0], nullptr);
        if (length != 0 && length < needed) form = full.substr(0, length);
    }
    needed = GetLongPathNameW(form.c_str(), nullptr, 0);
    if (needed != 0) {
        std::wstring longForm(needed, L'\0');
        DWORD length = GetLongPathNameW(form.c_str(), &longForm[0], needed);
        if (length != 0 && length < needed) form = longForm.substr(0, length);
    }
    return form;
}

// Whether the service named `serviceName` is this launcher's, before /install replaces it or
// /uninstall deletes it. Another program's service of that name is never touched: the
// commands act on a name given on the command line, which may be any service's.
enum class ServiceOwner {
    Absent,   // no such service
    Own,      // its program is this launcher (compared without regard to case)
    Foreign,  // its program is another one; `program` names it
    Unknown,  // its configuration could not be read; `error` says why
};

struct Ownership {
    ServiceOwner owner = ServiceOwner::Unknown;
    DWORD error = 0;
    bool managerFailed = false;
    std::wstring program;
};

Ownership serviceOwnership() {
    Ownership result;
    ServiceHandle manager = openManager(SC_MANAGER_CONNECT);
    if (!manager.valid()) {
        result.error = GetLastError();
        result.managerFailed = true;
        return result;
    }
    ServiceHandle service(OpenServiceW(manager.get(), serviceName, SERVICE_QUERY_CONFIG));
    if (!service.valid()) {
        result.error = GetLastError();
        if (result.error == ERROR_SERVICE_DOES_NOT_EXIST) result.owner = ServiceOwner::Absent;
        return result;
    }
    DWORD needed = 0;
    std::vector<DWORD> buffer(kConfigBufferSize / sizeof(DWORD));
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (!QueryServiceConfigW(service.get(), config, static_cast<DWORD>(buffer.size() * sizeof(DWORD)), &needed)) {
        result.error = GetLastError();
        if (result.error != ERROR_INSUFFICIENT_BUFFER) return result;
        // DWORD storage keeps the record aligned.
        buffer.assign(needed / sizeof(DWORD) + 1, 0);
        config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
        if (!QueryServiceConfigW(service.get(), config, static_cast<DWORD>(buffer.size() * sizeof(DWORD)), &needed)) {
            result.error = GetLastError();
            return result;
        }
    }
    std::wstring imagePath = config->lpBinaryPathName != nullptr ? config->lpBinaryPathName : L"";
    result.program = comparablePath(imagePathProgram(environmentExpanded(imagePath), isFile));
    std::wstring own = comparablePath(getLauncherPathWide());
    bool same = CompareStringOrdinal(result.program.c_str(), -1, own.c_str(), -1, TRUE) == CSTR_EQUAL;
    logLine(L"service %s has the image path %s, program %s: %s", serviceName, imagePath.c_str(), result.program.c_str(),
            same ? L"this launcher" : L"another program");
    result.owner = same ? ServiceOwner::Own : ServiceOwner::Foreign;
    return result;
}

// True when the command may go on: the service is this launcher's or there is none.
// Otherwise prints why not (when `verbose`): the command's own outcome line, then the other
// program or the system's reason.
bool ownServiceOrAbsent(const wchar_t* outcomeLine, bool verbose) {
    Ownership ownership = serviceOwnership();
    switch (ownership.owner) {
    case ServiceOwner::Absent:
    case ServiceOwner::Own:
        return true;
    case ServiceOwner::Foreign:
        if (verbose) {
            printToStdout(L"%s", outcomeLine);
            printToStdout(L"Service '%s' belongs to another program, %s; it is left as it is.\n", serviceName,
                          ownership.program.c_str());
        }
        return false;
    case ServiceOwner::Unknown:
        logLine(L"could not read the configuration of service %s (%d)", serviceName, static_cast<int>(ownership.error));
        if (verbose)
            printFailure(ownership.managerFailed ? L"Could not open SCManager.\n" : outcomeLine, ownership.error);
        return false;
    }
    return false;
}

}  // namespace

bool serviceBelongsToAnotherProgram() { return serviceOwnership().owner == ServiceOwner::Foreign; }

int statusCommand() {
    ServiceHandle manager = openManager(SC_MANAGER_CONNECT);
    if (!manager.valid()) {
        printFailure(L"Could not open SCManager.\n", GetLastError());
        return 1;
    }
    ServiceHandle service(OpenServiceW(manager.get(), serviceName, SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS));
    SERVICE_STATUS status;
    if (!service.valid() || !QueryServiceStatus(service.get(), &status)) {
        printFailure(L"Could not get status.\n", GetLastError());
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
        printReason(error);
        return 1;
    }
    if (config->dwStartType == SERVICE_AUTO_START) printToStdout(L"%s.\n", L"Auto-start");
    return result;
}

int stopCommand(bool verbose) {
    ServiceHandle manager = openManager(SC_MANAGER_CONNECT);
    if (!manager.valid()) {
        DWORD error = GetLastError();
        if (verbose) printFailure(L"Could not open SCManager.\n", error);
        return 1;
    }
    ServiceHandle service(OpenServiceW(manager.get(), serviceName, SERVICE_STOP | SERVICE_QUERY_STATUS));
    if (!service.valid()) {
        DWORD error = GetLastError();
        if (verbose) printFailure(L"Could not stop service.\n", error);
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
    if (verbose) printFailure(L"Could not stop service.\n", error);
    return 1;
}

int uninstallCommand(bool verbose) {
    // Checked before the stop: another program's service is neither stopped nor deleted.
    if (!ownServiceOrAbsent(L"Could not delete service.\n", verbose)) return 1;
    stopCommand(false);
    ServiceHandle manager = openManager(SC_MANAGER_ALL_ACCESS);
    if (!manager.valid()) {
        DWORD error = GetLastError();
        if (verbose) printFailure(L"Could not open SCManager.\n", error);
        return 1;
    }
    ServiceHandle service(OpenServiceW(manager.get(), serviceName, DELETE));
    if (!service.valid() || !DeleteService(service.get())) {
        DWORD error = GetLastError();
        // A service that is gone leaves no use for its event source either.
        if (error == ERROR_SERVICE_DOES_NOT_EXIST) removeEventSource();
        if (verbose) printFailure(L"Could not delete service.\n", error);
        return 1;
    }
    removeEventSource();
    if (verbose) printToStdout(L"Uninstalled service '%s'.\n", serviceName);
    return 0;
}

int installCommand(int startType) {
    // The account is settled first, so that one which cannot be used leaves an installed
    // service of the same name as it was.
    ServiceAccount account;
    Secret password;
    DWORD accountError = 0;
    if (!resolveAccount(account, password, accountError)) {
        printFailure(L"Could not create service.\n", accountError);
        return 1;
    }
    // Replacing means deleting first: never another program's service of the same name.
    if (!ownServiceOrAbsent(L"Could not create service.\n", true)) return 1;
    uninstallCommand(false);
    ServiceHandle manager = openManager(SC_MANAGER_ALL_ACCESS);
    if (!manager.valid()) {
        printFailure(L"Could not open SCManager.\n", GetLastError());
        return 1;
    }
    // The executable alone, quoted: started without a command word, it enters the dispatcher.
    std::wstring program = formatWideString(L"\"%s\"", getLauncherPathWide());
    std::wstring dependencies = dependencyList();
    wchar_t configuredName[kServiceNameCapacity];
    getSettingWide(SettingId::ServiceName, configuredName, kServiceNameCapacity);
    std::wstring displayName =
        chooseDisplayName(serviceName, configuredName, settingText(SettingId::ServiceDisplayName));
    bool builtIn = account.kind != AccountKind::Named;
    ServiceHandle service(CreateServiceW(
        manager.get(), serviceName, displayName.c_str(), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
        static_cast<DWORD>(startType), SERVICE_ERROR_NORMAL, program.c_str(), nullptr, nullptr,
        dependencies.empty() ? nullptr : dependencies.c_str(),
        account.objectName.empty() ? nullptr : account.objectName.c_str(), builtIn ? nullptr : password.text.c_str()));
    if (!service.valid()) {
        printFailure(L"Could not create service.\n", GetLastError());
        return 1;
    }
    if (!account.objectName.empty()) logLine(L"service account %s", account.objectName.c_str());
    setDescription(service.get());
    std::wstring refusals;
    setRecovery(service.get(), refusals);
    setDelayedStart(service.get(), startType, refusals);
    registerEventSource();
    printToStdout(L"Installed service '%s'.\n", serviceName);
    if (!refusals.empty()) printToStdout(L"%s", refusals.c_str());
    return 0;
}

int startCommand(const ArgumentList& args) {
    ServiceHandle manager = openManager(SC_MANAGER_CONNECT);
    if (!manager.valid()) {
        printFailure(L"Could not open SCManager.\n", GetLastError());
        return 1;
    }
    int checkSeconds = boundedStartCheckSeconds(getSettingInt(SettingId::ServiceStartCheckSeconds));
    DWORD access = SERVICE_START | (checkSeconds > 0 ? SERVICE_QUERY_STATUS : 0);
    ServiceHandle service(OpenServiceW(manager.get(), serviceName, access));
    if (!service.valid()) {
        DWORD error = GetLastError();
        printToStdout(L"Could not start service. Error code: %d\n", static_cast<int>(error));
        printReason(error);
        return 1;
    }
    // The first word names the service; only the words after it are start arguments.
    std::vector<LPCWSTR> startArguments;
    for (size_t i = 1; i < args.size(); ++i) startArguments.push_back(args[i].c_str());
    if (StartServiceW(service.get(), static_cast<DWORD>(startArguments.size()),
                      startArguments.empty() ? nullptr : startArguments.data())) {
        printToStdout(L"Starting service '%s'.\n", serviceName);
        return checkSeconds > 0 ? checkStart(service.get(), checkSeconds) : 0;
    }
    DWORD error = GetLastError();
    if (error == ERROR_SERVICE_ALREADY_RUNNING) {
        printToStdout(L"Service is already running.\n");
        return 0;
    }
    printToStdout(L"Could not start service. Error code: %d\n", static_cast<int>(error));
    printReason(error);
    return 1;
}
