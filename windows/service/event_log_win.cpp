#include "service/event_log.h"

#include "core/handles.h"
#include "core/log.h"
#include "event_messages.h"

void writeEventLogError(const wchar_t* source, const std::wstring& text) {
    EventSourceHandle eventSource(RegisterEventSourceW(nullptr, source));
    if (!eventSource.valid()) {
        DWORD error = GetLastError();
        logLine(L"could not write the event log entry (%d)", static_cast<int>(error));
        return;
    }
    const wchar_t* strings[] = {text.c_str()};
    if (!ReportEventW(eventSource.get(), EVENTLOG_ERROR_TYPE, 0, kEventEntryTextMessage, nullptr, 1, 0, strings,
                      nullptr)) {
        DWORD error = GetLastError();
        logLine(L"could not write the event log entry (%d)", static_cast<int>(error));
        return;
    }
    logLine(L"event log entry written");
}
