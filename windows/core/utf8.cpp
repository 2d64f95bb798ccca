#include "core/utf8.h"

size_t utf8Sequence(uint32_t codePoint, char* bytes) {
    if (codePoint < 0x80) {
        bytes[0] = static_cast<char>(codePoint);
        return 1;
    }
    if (codePoint < 0x800) {
        bytes[0] = static_cast<char>(0xC0 | (codePoint >> 6));
        bytes[1] = static_cast<char>(0x80 | (codePoint & 0x3F));
        return 2;
    }
    if (codePoint < 0x10000) {
        bytes[0] = static_cast<char>(0xE0 | (codePoint >> 12));
        bytes[1] = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        bytes[2] = static_cast<char>(0x80 | (codePoint & 0x3F));
        return 3;
    }
    bytes[0] = static_cast<char>(0xF0 | (codePoint >> 18));
    bytes[1] = static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    bytes[2] = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    bytes[3] = static_cast<char>(0x80 | (codePoint & 0x3F));
    return 4;
}

void appendUtf8(std::string& out, uint32_t codePoint) {
    char bytes[kUtf8SequenceCapacity];
    out.append(bytes, utf8Sequence(codePoint, bytes));
}

namespace {

// What a lead byte starts: the number of continuation bytes and the bounds of the first one
// (the later ones are always 80-BF). The narrowed first bounds are what exclude overlong
// forms (E0, F0), surrogates (ED) and code points above U+10FFFF (F4).
struct LeadByte {
    int continuations;  // -1: not a lead byte
    unsigned char lower;
    unsigned char upper;
};

LeadByte leadByte(unsigned char b) {
    if (b < 0x80) return {0, 0, 0};
    if (b >= 0xC2 && b <= 0xDF) return {1, 0x80, 0xBF};
    if (b == 0xE0) return {2, 0xA0, 0xBF};
    if (b == 0xED) return {2, 0x80, 0x9F};
    if (b >= 0xE1 && b <= 0xEF) return {2, 0x80, 0xBF};
    if (b == 0xF0) return {3, 0x90, 0xBF};
    if (b >= 0xF1 && b <= 0xF3) return {3, 0x80, 0xBF};
    if (b == 0xF4) return {3, 0x80, 0x8F};
    return {-1, 0, 0};
}

// The length of the valid sequence at `at` (0 when there is none), with its code point.
size_t sequenceAt(std::string_view bytes, size_t at, uint32_t& codePoint) {
    unsigned char first = static_cast<unsigned char>(bytes[at]);
    LeadByte lead = leadByte(first);
    if (lead.continuations < 0) return 0;
    if (at + static_cast<size_t>(lead.continuations) >= bytes.size()) return 0;  // cut short
    static const unsigned char kLeadMask[] = {0x7F, 0x1F, 0x0F, 0x07};
    codePoint = first & kLeadMask[lead.continuations];
    for (int k = 1; k <= lead.continuations; ++k) {
        unsigned char b = static_cast<unsigned char>(bytes[at + static_cast<size_t>(k)]);
        unsigned char lower = k == 1 ? lead.lower : 0x80;
        unsigned char upper = k == 1 ? lead.upper : 0xBF;
        if (b < lower || b > upper) return 0;
        codePoint = (codePoint << 6) | (b & 0x3F);
    }
    return static_cast<size_t>(lead.continuations) + 1;
}

void appendUnits(std::wstring& out, uint32_t codePoint) {
    if (codePoint < 0x10000) {
        out.push_back(static_cast<wchar_t>(codePoint));
        return;
    }
    codePoint -= 0x10000;
    out.push_back(static_cast<wchar_t>(0xD800 + (codePoint >> 10)));
    out.push_back(static_cast<wchar_t>(0xDC00 + (codePoint & 0x3FF)));
}

void appendModified(std::string& out, uint32_t unit) {
    if (unit == 0) {
        out += "\xC0\x80";
        return;
    }
    // Every unit is at most 0xFFFF here, so the sequence is at most three bytes long.
    appendUtf8(out, unit);
}

}  // namespace

void Utf8Validator::feed(std::string_view bytes) {
    for (char c : bytes) {
        if (broken_) return;
        unsigned char b = static_cast<unsigned char>(c);
        if (b >= 0x80) sawNonAscii_ = true;
        if (pending_ > 0) {
            if (b < lower_ || b > upper_) {
                broken_ = true;
                return;
            }
            --pending_;
            lower_ = 0x80;
            upper_ = 0xBF;
            continue;
        }
        LeadByte lead = leadByte(b);
        if (lead.continuations < 0) {
            broken_ = true;
            return;
        }
        pending_ = lead.continuations;
        lower_ = lead.lower;
        upper_ = lead.upper;
    }
}

size_t completeUtf8Prefix(std::string_view bytes) {
    // A sequence is at most four bytes long, so only the last three bytes can belong to one
    // that is not complete yet.
    size_t size = bytes.size();
    for (size_t back = 1; back <= 3 && back <= size; ++back) {
        unsigned char b = static_cast<unsigned char>(bytes[size - back]);
        if (b >= 0x80 && b < 0xC0) continue;  // a continuation byte: look further back
        LeadByte lead = leadByte(b);
        if (lead.continuations >= static_cast<int>(back)) return size - back;
        return size;
    }
    return size;
}

std::wstring utf16FromUtf8(std::string_view bytes) {
    std::wstring out;
    out.reserve(bytes.size());
    for (size_t at = 0; at < bytes.size();) {
        uint32_t codePoint = 0;
        size_t length = sequenceAt(bytes, at, codePoint);
        if (length == 0) {
            out.push_back(static_cast<wchar_t>(0xFFFD));
            ++at;
            continue;
        }
        appendUnits(out, codePoint);
        at += length;
    }
    return out;
}

std::string modifiedUtf8(std::wstring_view units) {
    std::string out;
    out.reserve(units.size());
    for (wchar_t c : units) {
        uint32_t unit = static_cast<uint32_t>(c);
        if (unit > 0xFFFF && unit <= 0x10FFFF) {
            unit -= 0x10000;
            appendModified(out, 0xD800 + (unit >> 10));
            appendModified(out, 0xDC00 + (unit & 0x3FF));
        } else if (unit > 0x10FFFF) {
            appendModified(out, 0xFFFD);
        } else {
            appendModified(out, unit);
        }
    }
    return out;
}
