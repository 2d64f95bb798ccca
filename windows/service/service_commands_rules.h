// The decisions of the administration commands, kept apart from the Service Control Manager
// so their rules can be checked on their own: the dependency list, the display name, the
// account and where its password comes from, the recovery actions, the reading of a /start
// that ended early, and the line that gives the system's reason for a failure. No Win32 here:
// the numbers below are the values of the Windows constants they are named after, and the
// shell checks them against the Windows headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The multi-string form of a comma-separated dependency setting: each non-empty piece
// followed by a NUL, and one more NUL at the end. Empty when the setting names nothing.
// Pieces keep their spaces. A list that would not fit `capacity` characters keeps the
// dependencies that fit whole, so no name is ever cut.
std::wstring dependencyMultiString(const std::wstring& setting, size_t capacity);

// The display name a service is created with. Without a configured display name it is the
// service name. With one, a service installed under its configured name shows it as it is;
// one installed under another name (`/install OtherName`) shows it followed by that name in
// parentheses, since the manager refuses a display name that another service already uses.
std::wstring chooseDisplayName(std::wstring_view serviceName, std::wstring_view configuredName,
                               std::wstring_view displayNameSetting);

// The account setting read.
enum class AccountKind {
    LocalSystem,     // empty, or "LocalSystem": the manager's default, no account name given
    LocalService,    // "LocalService" or "NT AUTHORITY\LocalService"
    NetworkService,  // "NetworkService" or "NT AUTHORITY\NetworkService"
    Named,           // ".\name" or "DOMAIN\name": needs its password at install time
    Invalid,         // anything else: nothing is installed
};

struct ServiceAccount {
    AccountKind kind = AccountKind::Invalid;
    // The account name handed to the manager; empty for LocalSystem, which is given as none.
    std::wstring objectName;
};

// Reads the account setting. The well-known names are matched without regard to ASCII case;
// a named account is a non-empty domain (or ".") and a non-empty user name joined by exactly
// one backslash.
ServiceAccount chooseServiceAccount(std::wstring_view setting);

// Where the password of the account comes from at install time. It is never stored in the
// launcher: only the name of the variable that holds it may be.
enum class PasswordSource {
    None,           // a built-in account, which has no password
    Environment,    // the variable the password_env setting names
    StandardInput,  // the first line of standard input
};
PasswordSource choosePasswordSource(AccountKind kind, std::wstring_view passwordVariable);

// The password in the text read from standard input: everything up to the first line feed
// (or the end), without a carriage return before it. None when there was no line at all
// (nothing before the end of input).
std::optional<std::wstring> passwordLine(std::wstring_view text);

// The recovery settings as configured; an absent key is none.
struct RecoverySettings {
    std::optional<int> restartDelaySeconds;
    std::optional<int> restarts;
    std::optional<int> resetSeconds;
};

// SC_ACTION_TYPE values.
constexpr int kActionNone = 0;
constexpr int kActionRestart = 1;

struct FailureAction {
    int type = kActionNone;
    uint32_t delayMilliseconds = 0;
};

// The contents of SERVICE_FAILURE_ACTIONS: the manager takes action k for the (k+1)-th
// failure within the reset period, and the last action for every failure after those.
struct FailureActionsPlan {
    uint32_t resetPeriodSeconds = 0;
    std::vector<FailureAction> actions;
};

// Defaults of the recovery keys that are absent, and bounds of all of them: a minute before a
// restart and a day without failure before the count starts again, as the Services console
// suggests; at most 100 restarts, and delays that fit the manager's 32-bit milliseconds.
constexpr int kDefaultRestartDelaySeconds = 60;
constexpr int kDefaultResetSeconds = 86400;
constexpr int kMaxRestarts = 100;
constexpr int kMaxRestartDelaySeconds = 4294967;  // 32-bit milliseconds

// The failure actions for `settings`: `restarts` restarts after the delay each, then one
// "no action" that every later failure takes. None when no restart is configured (restarts
// absent or not positive): the service is then created without failure actions, as before.
// Values out of bounds are held to them; the packer refuses them in the first place.
std::optional<FailureActionsPlan> planFailureActions(const RecoverySettings& settings);

// The start check of /start waits at most this long, whatever is configured.
constexpr int kMaxStartCheckSeconds = 3600;
int boundedStartCheckSeconds(int configured);

// Service states and exit codes as the manager reports them.
constexpr uint32_t kServiceStopped = 1;
constexpr uint32_t kServiceSpecificError = 1066;  // ERROR_SERVICE_SPECIFIC_ERROR
constexpr uint32_t kProcessAborted = 1067;        // ERROR_PROCESS_ABORTED: the process ended unreported

struct ServiceSnapshot {
    uint32_t state = 0;
    uint32_t win32ExitCode = 0;
    uint32_t serviceExitCode = 0;
};

// What /start saw of the service process during its check.
enum class ProcessSeen {
    Running,  // still running when the check ended
    Ended,    // ended during the check; its exit code was read
    Unknown,  // could not be watched (no process id, or it could not be opened)
};

struct StartCheckOutcome {
    bool ended = false;
    // Whether the service told the manager it stopped before it ended. One that did not
    // crashed, or its supervisor gave up on an application that failed: a failure whatever
    // its exit code.
    bool reportedStop = false;
    std::optional<uint32_t> exitCode;  // none when the service ended but no code could be read
};

// Judges the check from the process and the manager's report after it. The manager's word
// counts first: a service it reports stopped has ended, with the service-specific code when
// it reports one (the supervisor reports 5000 when the application could not be started), or
// its Win32 code unless that only says the process ended unreported (1067); otherwise the
// process's own exit code. A process that ended while the manager still reports it running
// (Wine's manager never notices) has ended unreported, with its exit code.
StartCheckOutcome judgeStartCheck(ProcessSeen process, std::optional<uint32_t> processExitCode,
                                  const ServiceSnapshot& service);

// The exit code /start returns after an outcome: 1 for a service that ended unreported, with
// a non-zero or an unknown exit code; 0 for one still running or stopped regularly.
int startCheckResult(const StartCheckOutcome& outcome);

// The line that gives the system's reason for a failure: its message text without the line
// break the system ends it with, then the error number in parentheses, "The specified service
// does not exist as an installed service. (1060)". "Unknown error (N)" when the system has no
// text for it.
std::wstring systemReasonLine(std::wstring_view messageText, uint32_t error);

// The key of the service's event source, below HKEY_LOCAL_MACHINE, and the event types it
// declares (error, warning and information).
std::wstring eventSourceKeyPath(std::wstring_view serviceName);
constexpr uint32_t kEventTypesSupported = 0x1 | 0x2 | 0x4;

// The program a service's configured image path starts, found as the Service Control Manager
// finds it when it starts the service (CreateProcess without an application name): leading
// white space is skipped; a quoted path ends at the next quote; an unquoted one is tried at
// each space or tab in turn, shortest first, as is and with ".exe" added when its last part
// has no extension, until `isFile` accepts one; when none is a file, the text up to the
// first space or tab. Environment references must have been expanded already.
std::wstring imagePathProgram(std::wstring_view imagePath, const std::function<bool(const std::wstring&)>& isFile);

// A path's form before the system makes it full and long: the "\??\" prefix of the object
// manager, which an image path may carry, is dropped, forward slashes become backslashes and
// runs of backslashes one, except the two that begin a UNC path.
std::wstring separatorsNormalised(std::wstring_view path);
