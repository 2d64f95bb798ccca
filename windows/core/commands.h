// The decision between the launcher's three ways of running, made from the argument list
// alone: an administration command word, a direct run, the supervised child (restart
// marker), or the hand-over to the service dispatcher.
#pragma once

#include "core/command_line.h"

#include <string>
#include <string_view>

// Last argument of the command line the service gives its supervised child.
extern const wchar_t kRestartMarker[];

enum class Command {
    Dispatcher,  // no command word, or one not in the table
    RestartChild,
    Help,
    Install,
    InstallAndStart,
    InstallAuto,
    InstallDemand,
    Uninstall,
    Stop,
    Start,
    Restart,
    Status,
    Run,
    RunRedirect,
};

struct CommandChoice {
    Command command = Command::Dispatcher;
    // Set when the first argument is a word beginning with "/" or "-", known or not.
    bool hasCommandWord = false;
    // Set when an argument follows the command word; it names the service.
    bool hasServiceName = false;
    std::wstring serviceName;
};

// Decides what to do with `args` (the program path already removed) and rewrites the list
// the way the chosen path expects: the restart marker or the command word is removed.
CommandChoice chooseCommand(ArgumentList& args);

// What a launcher started with no command word does once the service dispatcher has said
// that the Service Control Manager did not start it (the value of setting 30501).
enum class DefaultCommand {
    None,  // absent, empty, "none" or anything unknown: exit with 0, as without the setting
    Run,   // "run": run the application as /run does, with the arguments that were given
};

// The system error with which the service dispatcher refuses a process that the Service
// Control Manager did not start (ERROR_FAILED_SERVICE_CONTROLLER_CONNECT).
constexpr unsigned long kNotStartedByServiceManager = 1063;

DefaultCommand parseDefaultCommand(std::string_view setting);

// Whether the default command replaces the dispatcher's silent exit: only for a command line
// without a command word (an unknown word stays a no-op), and only when the dispatcher failed
// because no Service Control Manager started the process; any other dispatcher failure, or a
// dispatcher that ran (`dispatcherError` 0), keeps today's exit with 0.
bool runsDefaultCommand(DefaultCommand command, const CommandChoice& choice, unsigned long dispatcherError);

// "Usage: NAME.exe /install | ..." for a module path, with NAME its base name without the
// directory and extension.
std::wstring usageLine(std::wstring_view modulePath);
