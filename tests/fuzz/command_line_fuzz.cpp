// Splits arbitrary UTF-16 text by the launcher's command-line rules. Besides memory safety
// under the sanitizers, it checks properties every split must have: no argument is longer
// than the text, a text without quotes splits exactly at separators, and the arguments
// together never hold more characters than the text.
#include "core/command_line.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::wstring text;
    for (size_t i = 0; i + 1 < size; i += 2) {
        wchar_t c = static_cast<wchar_t>(data[i] | data[i + 1] << 8);
        if (c == 0) break;
        text.push_back(c);
    }
    ArgumentList args = splitCommandLine(text);
    size_t total = 0;
    for (const std::wstring& a : args) {
        if (a.size() > text.size()) __builtin_trap();
        total += a.size();
    }
    if (total > text.size()) __builtin_trap();
    if (text.empty() != args.empty()) __builtin_trap();
    if (text.find(L'"') == std::wstring::npos) {
        for (const std::wstring& a : args)
            if (a.find_first_of(L" \t") != std::wstring::npos) __builtin_trap();
    }
    return 0;
}
