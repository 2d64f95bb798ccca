// The decision between the launcher's three ways of running, made from the argument list
// alone: an administration command word, a direct run, the supervised child (restart
// marker), or the hand-over to the service dispatcher.
#pragma once

#include "core/command_line.h"

#include <string>

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
    // Set when an argument follows the command word; it names the service.
    bool hasServiceName = false;
    std::wstring serviceName;
};

// Decides what to do with `args` (the program path already removed) and rewrites the list
// the way the chosen path expects: the restart marker or the command word is removed.
CommandChoice chooseCommand(ArgumentList& args);

// "Usage: NAME.exe /install | ..." for a module path, with NAME its base name without the
// directory and extension.
std::wstring usageLine(std::wstring_view modulePath);
