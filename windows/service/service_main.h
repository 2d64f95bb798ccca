// The service side: the main the Service Control Manager's dispatcher calls.
#pragma once

#include "core/platform.h"

void WINAPI serviceMain(DWORD argc, LPWSTR* argv);
