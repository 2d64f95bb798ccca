// The test program has no log file: log lines go to standard output, where the Wine tests
// can read them, marked so that they are not taken for check results.
#include "core/log.h"

#include "core/platform.h"
#include "core/text_format.h"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace {

void printLine(const wchar_t* kind, const std::wstring& text) {
    const std::wstring line = std::wstring(kind) + text;
    const int size = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string bytes(size > 0 ? static_cast<size_t>(size) : 1u, '\0');
    if (size > 0) WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, &bytes[0], size, nullptr, nullptr);
    std::printf("%s\n", bytes.c_str());
    std::fflush(stdout);
}

}  // namespace

void logLine(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    printLine(L"LOG: ", formatWideStringV(format, args));
    va_end(args);
}

void logError(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    printLine(L"LOG: ERROR: ", formatWideStringV(format, args));
    va_end(args);
}

const wchar_t* getLogPath() { return nullptr; }
