// The decisions and texts of the diagnostic log that do not need the system: whether the
// user asked for the log, which file it goes to, and the exact bytes of each line.
#pragma once

#include "core/capacities.h"

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <functional>

constexpr size_t kLogPathCapacity = kPathCapacity;
// A line holds a command line or a few paths of up to kPathCapacity characters each with
// room to spare; anything longer is cut, and the line still ends with its line feed.
constexpr size_t kLogLineCapacity = 16000;
// Worst case of encodeLogText for a full line: three bytes per UTF-16 unit.
constexpr size_t kLogBytesCapacity = 3 * kLogLineCapacity + 1;
constexpr int kLastLogFileNumber = 1000;

// True when an environment value switches the log on: exactly "yes", nothing else.
bool isLogRequested(const char* value);

enum class LogCreation { Created, Exists, Failed };

// Creates the log file in a temp directory: "<dir>\qwk_nlog_<n>.log" with the first n from 1
// to 1000 whose file `create` can make new. A file of that name made by someone else is never
// opened, only passed by. False, and no log, when there is no temp directory ("" or null),
// the path does not fit into `capacity`, all thousand names are taken, or a creation fails
// for another reason: the log is never put anywhere else, such as the root of a drive that
// every user may write to.
bool createLogPath(const wchar_t* tempDirectory, wchar_t* out, size_t capacity,
                   const std::function<LogCreation(const wchar_t*)>& create);

// Milliseconds from `start` to `now`, kept to a signed 32-bit count as the line prefix uses it.
int32_t elapsedMilliseconds(int64_t now, int64_t start);

// One line: "[<seconds>:<milliseconds>] ", "ERROR: " for errors, the formatted text and a
// line feed. A text too long for `capacity` is cut before the line feed; returns false then.
bool composeLogLine(wchar_t* out, size_t capacity, int32_t elapsed, bool isError, const wchar_t* format, va_list args);

// The bytes written for `text`: UTF-8, each line feed as CR LF, a lone surrogate as U+FFFD.
// Stops before a character that would not fit; returns the number of bytes written.
size_t encodeLogText(const wchar_t* text, char* out, size_t capacity);
