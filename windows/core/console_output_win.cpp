#include "core/console_output.h"

#include "core/platform.h"
#include "core/text_format.h"

#include <cstdarg>
#include <cstdio>
#include <string>

void printToStdout(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    std::wstring text = formatWideStringV(format, args);
    va_end(args);
    if (text.empty()) return;

    UINT codePage = GetConsoleOutputCP();
    if (codePage == 0) codePage = CP_ACP;
    int bytes =
        WideCharToMultiByte(codePage, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return;
    std::string narrow(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(codePage, 0, text.c_str(), static_cast<int>(text.size()), &narrow[0], bytes, nullptr, nullptr);
    fwrite(narrow.data(), 1, narrow.size(), stdout);
    fflush(stdout);
}
