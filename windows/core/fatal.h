// Fatal conditions end the process here, and only here: the text is shown (message box or
// console, as the application kind decided), the extraction directory is removed and the
// process ends with exit code 1. Also the two other ways the launcher talks to the user
// outside its administration commands: a progress text, and the report of a Java exception.
#pragma once

#include "config/config_ids.h"
#include "core/java_exception.h"
#include "core/platform.h"

#include <cstddef>

// Shows `text` in the presentation in force (see presentation.h), followed by an empty line
// and "Log: <long log path>" while the log is on. Returns once the user has closed the box
// or the text is written.
void showMessage(const wchar_t* text);

// Shows message `id` (a localized message, or a setting of that id) with its first "{0}"
// replaced by `arg` (nullptr: no replacement). The 8-bit variant widens `arg` first.
void showConfigMessage(MessageId id, const wchar_t* arg);
void showConfigMessage(MessageId id, const char* arg);
void showConfigMessage(MessageId id, std::nullptr_t);

// Shows `text` to the user and ends the process with exit code 1.
LAUNCHER_NORETURN void failWithText(const wchar_t* text);

// Shows message `id` with its first "{0}" replaced by `arg` (nullptr: no replacement) and
// ends the process with exit code 1. The 8-bit variant widens `arg` first.
LAUNCHER_NORETURN void failWithMessage(MessageId id, const wchar_t* arg);
LAUNCHER_NORETURN void failWithMessage(MessageId id, const char* arg);
// Without an argument: `failWithMessage(id, nullptr)` picks this one unambiguously.
LAUNCHER_NORETURN void failWithMessage(MessageId id, std::nullptr_t);

// Ends the process with `code`, removing the extraction directory first.
LAUNCHER_NORETURN void exitLauncher(int code);

// Writes an 8-bit progress text to standard output and flushes it; never a message box.
void printProgress(const char* text);
