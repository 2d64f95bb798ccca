// The diagnostic log. Every subsystem reports its decisions and failures here; the log is
// off unless the user switches it on through the environment, and then each call appends
// one line to the log file. Formats follow text_format.h ("%s" wide, "%S" 8-bit).
#pragma once

void logLine(const wchar_t* format, ...);
void logError(const wchar_t* format, ...);

// Path of the log file while logging is on; nullptr while it is off.
const wchar_t* getLogPath();
