// The diagnostic log's line composition and its UTF-8 encoding, with texts and capacities
// from the input: each line stays in its buffer, ends with a terminator, and when it is
// complete ends with its line feed; the encoding never writes past its capacity.
#include "core/log_rules.h"

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cwchar>
#include <string>
#include <vector>

namespace {

bool compose(wchar_t* out, size_t capacity, int32_t elapsed, bool isError, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    bool complete = composeLogLine(out, capacity, elapsed, isError, format, args);
    va_end(args);
    return complete;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    size_t lineCapacity = 1 + (data[0] | data[1] << 8) % 300;
    size_t byteCapacity = 1 + data[2] % 200;
    bool isError = data[3] & 1;
    std::wstring text;
    for (size_t i = 4; i + 1 < size; i += 2) {
        wchar_t c = static_cast<wchar_t>(data[i] | data[i + 1] << 8);  // UTF-16 units, lone surrogates too
        if (c != 0) text.push_back(c);
    }
    std::string narrow(text.begin(), text.end());  // each unit cut to a byte, for "%S"

    std::vector<wchar_t> line(lineCapacity + 1, L'G');
    bool complete = compose(line.data(), lineCapacity, static_cast<int32_t>(size * 997), isError, L"%s|%S|%d",
                            text.c_str(), narrow.c_str(), static_cast<int>(size));
    size_t length = wcsnlen(line.data(), lineCapacity);
    if (line[lineCapacity] != L'G' || length >= lineCapacity) __builtin_trap();
    if (complete && (length == 0 || line[length - 1] != L'\n')) __builtin_trap();

    std::vector<char> bytes(byteCapacity + 1, 'G');
    size_t written = encodeLogText(line.data(), bytes.data(), byteCapacity);
    if (written > byteCapacity || bytes[byteCapacity] != 'G') __builtin_trap();
    return 0;
}
