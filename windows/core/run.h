// The run sequence every direct run of the Java application goes through.
#pragma once

#include "core/command_line.h"

// Returns only after a successful launch; any failure ends the process.
void runApplication(ArgumentList& args, bool registerConsoleHandler);
