// The service side: the main the Service Control Manager's dispatcher calls, which starts
// and supervises a child copy of the launcher that runs the application.
#pragma once

#include "core/platform.h"

void WINAPI serviceMain(DWORD argc, LPWSTR* argv);

// Reports every console event as handled, so that no console event ends the process: the
// supervised child is ended through its standard input instead.
BOOL WINAPI consoleEventHandler(DWORD event);
