// Entries in the Windows Application event log, under the event source the service's
// installation registers with the service's name.
#pragma once

#include <string>

// Writes one error entry whose only text is `text` under the event source `source`. Logs
// "event log entry written" or, when the system refuses, "could not write the event log entry
// (N)" with the system error; the caller goes on either way.
void writeEventLogError(const wchar_t* source, const std::wstring& text);
