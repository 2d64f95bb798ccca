#include "core/log_rules.h"

#include "core/text_format.h"
#include "core/utf8.h"

#include <cstring>

bool isLogRequested(const char* value) { return value != nullptr && strcmp(value, "yes") == 0; }

bool createLogPath(const wchar_t* tempDirectory, wchar_t* out, size_t capacity,
                   const std::function<LogCreation(const wchar_t*)>& create) {
    std::wstring directory = tempDirectory == nullptr ? L"" : tempDirectory;
    if (directory.empty()) return false;
    if (directory.back() != L'\\' && directory.back() != L'/') directory += L'\\';
    for (int number = 1; number <= kLastLogFileNumber; ++number) {
        if (!formatWide(out, capacity, L"%sqwk_nlog_%d.log", directory.c_str(), number)) return false;
        switch (create(out)) {
        case LogCreation::Created:
            return true;
        case LogCreation::Exists:
            continue;
        case LogCreation::Failed:
            return false;
        }
    }
    return false;
}

int32_t elapsedMilliseconds(int64_t now, int64_t start) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(now) - static_cast<uint64_t>(start)));
}

bool composeLogLine(wchar_t* out, size_t capacity, int32_t elapsed, bool isError, const wchar_t* format, va_list args) {
    if (capacity < 2) {
        if (capacity == 1) out[0] = 0;
        return false;
    }
    // The line feed's place is kept back so that a cut line still ends the line.
    size_t room = capacity - 1;
    bool complete = formatWide(out, room, isError ? L"[%d:%d] ERROR: " : L"[%d:%d] ", elapsed / 1000, elapsed % 1000);
    size_t used = wcslen(out);
    if (complete) {
        va_list copy;
        va_copy(copy, args);
        complete = formatWideV(out + used, room - used, format, copy);
        va_end(copy);
        used += wcslen(out + used);
    }
    out[used] = L'\n';
    out[used + 1] = 0;
    return complete;
}

namespace {

bool isHighSurrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

size_t encodeLogText(const wchar_t* text, char* out, size_t capacity) {
    size_t used = 0;
    for (const wchar_t* p = text; p != nullptr && *p != 0; ++p) {
        uint32_t unit = static_cast<uint32_t>(*p);
        uint32_t codePoint = unit;
        char bytes[kUtf8SequenceCapacity];
        size_t length;
        if (unit == L'\n') {
            bytes[0] = '\r';
            bytes[1] = '\n';
            length = 2;
        } else {
            if (isHighSurrogate(unit) && isLowSurrogate(static_cast<uint32_t>(p[1]))) {
                codePoint = 0x10000 + ((unit - 0xD800) << 10) + (static_cast<uint32_t>(p[1]) - 0xDC00);
                ++p;
            } else if (isHighSurrogate(unit) || isLowSurrogate(unit) || unit > 0x10FFFF) {
                codePoint = 0xFFFD;
            }
            length = utf8Sequence(codePoint, bytes);
        }
        if (used + length > capacity) break;
        memcpy(out + used, bytes, length);
        used += length;
    }
    return used;
}
