#include "core/text_format.h"

#include <cstdint>
#include <cstring>
#include <cwchar>

namespace {

// Appends to a fixed buffer and remembers whether anything was dropped.
class BoundedSink {
public:
    BoundedSink(wchar_t* out, size_t capacity) : out_(out), capacity_(capacity) {}

    void put(wchar_t c) {
        if (length_ + 1 < capacity_)
            out_[length_++] = c;
        else
            cut_ = true;
    }
    void finish() {
        if (capacity_ > 0) out_[length_] = 0;
    }
    bool cut() const { return cut_; }

private:
    wchar_t* out_;
    size_t capacity_;
    size_t length_ = 0;
    bool cut_ = false;
};

class StringSink {
public:
    explicit StringSink(std::wstring& out) : out_(out) {}
    void put(wchar_t c) { out_.push_back(c); }
    void finish() {}
    bool cut() const { return false; }

private:
    std::wstring& out_;
};

struct Spec {
    bool leftAlign = false;
    bool zeroPad = false;
    unsigned width = 0;
};

template <typename Sink>
void putPadded(Sink& sink, const Spec& spec, const wchar_t* text, size_t length) {
    size_t pad = spec.width > length ? spec.width - length : 0;
    if (!spec.leftAlign)
        for (size_t i = 0; i < pad; ++i) sink.put(spec.zeroPad ? L'0' : L' ');
    for (size_t i = 0; i < length; ++i) sink.put(text[i]);
    if (spec.leftAlign)
        for (size_t i = 0; i < pad; ++i) sink.put(L' ');
}

// Renders an unsigned magnitude in the given base into the tail of `buf`; returns the start.
wchar_t* renderDigits(wchar_t* end, uint64_t value, unsigned base, bool upper) {
    const wchar_t* digits = upper ? L"0123456789ABCDEF" : L"0123456789abcdef";
    wchar_t* p = end;
    do {
        *--p = digits[value % base];
        value /= base;
    } while (value != 0);
    return p;
}

template <typename Sink>
void putNumber(Sink& sink, Spec spec, bool negative, uint64_t magnitude, unsigned base, bool upper) {
    wchar_t buf[32];
    wchar_t* end = buf + 31;
    *end = 0;
    wchar_t* start = renderDigits(end, magnitude, base, upper);
    if (negative) {
        if (spec.zeroPad && spec.width > 0) {
            sink.put(L'-');
            spec.width = spec.width > 0 ? spec.width - 1 : 0;
        } else {
            *--start = L'-';
        }
    }
    putPadded(sink, spec, start, static_cast<size_t>(end - start));
}

enum class IntSize { Int, Long, LongLong };

template <typename Sink>
void formatInto(Sink& sink, const wchar_t* format, va_list args) {
    if (format == nullptr) {
        sink.finish();
        return;
    }
    for (const wchar_t* p = format; *p != 0; ++p) {
        if (*p != L'%') {
            sink.put(*p);
            continue;
        }
        const wchar_t* conversionStart = p;
        ++p;
        Spec spec;
        for (;; ++p) {
            if (*p == L'-')
                spec.leftAlign = true;
            else if (*p == L'0')
                spec.zeroPad = true;
            else
                break;
        }
        while (*p >= L'0' && *p <= L'9' && spec.width < 1000)
            spec.width = spec.width * 10 + static_cast<unsigned>(*p++ - L'0');
        IntSize size = IntSize::Int;
        if (p[0] == L'I' && p[1] == L'6' && p[2] == L'4') {
            size = IntSize::LongLong;
            p += 3;
        } else if (p[0] == L'l' && p[1] == L'l') {
            size = IntSize::LongLong;
            p += 2;
        } else if (p[0] == L'l') {
            size = IntSize::Long;
            p += 1;
        }
        switch (*p) {
        case L'%':
            sink.put(L'%');
            break;
        case L'd':
        case L'i': {
            int64_t v = size == IntSize::LongLong ? va_arg(args, long long)
                        : size == IntSize::Long   ? va_arg(args, long)
                                                  : va_arg(args, int);
            uint64_t magnitude = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
            putNumber(sink, spec, v < 0, magnitude, 10, false);
            break;
        }
        case L'u':
        case L'x':
        case L'X': {
            uint64_t v = size == IntSize::LongLong ? va_arg(args, unsigned long long)
                         : size == IntSize::Long   ? va_arg(args, unsigned long)
                                                   : va_arg(args, unsigned int);
            putNumber(sink, spec, false, v, *p == L'u' ? 10 : 16, *p == L'X');
            break;
        }
        case L'p': {
            uintptr_t v = reinterpret_cast<uintptr_t>(va_arg(args, void*));
            Spec pointerSpec;
            pointerSpec.zeroPad = true;
            pointerSpec.width = sizeof(void*) * 2;
            putNumber(sink, pointerSpec, false, v, 16, true);
            break;
        }
        case L'c': {
            wchar_t c = static_cast<wchar_t>(va_arg(args, int));
            putPadded(sink, spec, &c, 1);
            break;
        }
        case L's': {
            const wchar_t* s = va_arg(args, const wchar_t*);
            if (s == nullptr) s = L"(null)";
            putPadded(sink, spec, s, wcslen(s));
            break;
        }
        case L'S': {
            const char* s = va_arg(args, const char*);
            std::wstring wide = widenBytes(s == nullptr ? "(null)" : s);
            putPadded(sink, spec, wide.c_str(), wide.size());
            break;
        }
        default:
            // Not a conversion we know: keep the text as written and consume nothing.
            for (const wchar_t* q = conversionStart; q <= p && *q != 0; ++q) sink.put(*q);
            if (*p == 0) --p;
            break;
        }
    }
    sink.finish();
}

}  // namespace

bool formatWideV(wchar_t* out, size_t capacity, const wchar_t* format, va_list args) {
    BoundedSink sink(out, capacity);
    formatInto(sink, format, args);
    return !sink.cut();
}

bool formatWide(wchar_t* out, size_t capacity, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    bool complete = formatWideV(out, capacity, format, args);
    va_end(args);
    return complete;
}

std::wstring formatWideStringV(const wchar_t* format, va_list args) {
    std::wstring text;
    StringSink sink(text);
    formatInto(sink, format, args);
    return text;
}

std::wstring formatWideString(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    std::wstring text = formatWideStringV(format, args);
    va_end(args);
    return text;
}

std::wstring widenBytes(const char* text, size_t length) {
    std::wstring wide;
    wide.reserve(length);
    for (size_t i = 0; i < length; ++i) wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(text[i])));
    return wide;
}

std::wstring widenBytes(const char* text) { return text == nullptr ? std::wstring() : widenBytes(text, strlen(text)); }

namespace {

template <typename Char>
bool copyBoundedText(Char* out, size_t capacity, const Char* text) {
    if (capacity == 0) return text == nullptr || *text == 0;
    size_t i = 0;
    for (; text != nullptr && text[i] != 0; ++i) {
        if (i + 1 >= capacity) {
            out[i] = 0;
            return false;
        }
        out[i] = text[i];
    }
    out[i] = 0;
    return true;
}

}  // namespace

bool copyBounded(wchar_t* out, size_t capacity, const wchar_t* text) { return copyBoundedText(out, capacity, text); }

bool copyBounded(char* out, size_t capacity, const char* text) { return copyBoundedText(out, capacity, text); }
