// Administration of the launcher's own Windows service. Each returns the process exit code:
// 0 success, 1 failure; statusCommand 0 running, 3 not running, 1 error. A failure of the
// system is printed as its outcome line followed by a line with the system's reason.
#pragma once

#include "core/command_line.h"

// SERVICE_AUTO_START (2) or SERVICE_DEMAND_START (3). Display name, account (a named
// account's password read now, from a variable or standard input), recovery actions and
// delayed start come from the configuration; the service is also made an event source.
int installCommand(int startType);
int uninstallCommand(bool verbose);
// With [service] start_check_seconds, watches the started service that long and reports an
// early end with its exit code on a second line.
int startCommand(const ArgumentList& args);
// True when a service of the name exists and runs another program than this launcher.
bool serviceBelongsToAnotherProgram();
int stopCommand(bool verbose);
int statusCommand();
