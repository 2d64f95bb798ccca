// Fatal conditions end the process here, and only here: the text is shown (message box or
// console, as the application kind decided), the extraction directory is removed and the
// process ends with exit code 1.
#pragma once

#include "core/platform.h"

// Shows `text` to the user and ends the process with exit code 1.
LAUNCHER_NORETURN void failWithText(const wchar_t* text);

// Shows message `id` with its first "{0}" replaced by `arg` (nullptr: no replacement) and
// ends the process with exit code 1. The 8-bit variant widens `arg` first.
LAUNCHER_NORETURN void failWithMessage(int id, const wchar_t* arg);
LAUNCHER_NORETURN void failWithMessage(int id, const char* arg);

// Ends the process with `code`, removing the extraction directory first.
LAUNCHER_NORETURN void exitLauncher(int code);
