// Fatal conditions end the process here, and only here.
#pragma once

#include "core/platform.h"

// Shows `text` to the user and ends the process with exit code 1.
LAUNCHER_NORETURN void failWithText(const wchar_t* text);

// Ends the process with `code`, removing the extraction directory first.
LAUNCHER_NORETURN void exitLauncher(int code);
