// Administration of the launcher's own Windows service. Each returns the process exit code:
// 0 success, 1 failure; statusCommand 0 running, 3 not running, 1 error.
#pragma once

#include "core/command_line.h"

// SERVICE_AUTO_START (2) or SERVICE_DEMAND_START (3).
int installCommand(int startType);
int uninstallCommand(bool verbose);
int startCommand(const ArgumentList& args);
int stopCommand(bool verbose);
int statusCommand();
