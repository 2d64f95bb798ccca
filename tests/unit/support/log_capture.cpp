#include "support/log_capture.h"

#include "core/log.h"
#include "core/text_format.h"

#include <cstdarg>

std::vector<std::wstring>& capturedLog() {
    static std::vector<std::wstring> lines;
    return lines;
}

void clearCapturedLog() { capturedLog().clear(); }

bool logContains(const std::wstring& fragment) {
    for (const std::wstring& line : capturedLog())
        if (line.find(fragment) != std::wstring::npos) return true;
    return false;
}

void logLine(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    capturedLog().push_back(formatWideStringV(format, args));
    va_end(args);
}

void logError(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    capturedLog().push_back(L"ERROR: " + formatWideStringV(format, args));
    va_end(args);
}

const wchar_t* getLogPath() { return nullptr; }
