#include "jtext.h"

#include <vector>

namespace standin {

namespace {

void appendUtf8(std::string& out, unsigned long code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

bool isHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void appendCodePoint(std::u16string& out, unsigned long code) {
    if (code < 0x10000) {
        out += static_cast<char16_t>(code);
    } else {
        code -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (code >> 10));
        out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    }
}

bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Length of the sequence a lead byte announces (0: not a lead byte).
int sequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if ((lead & 0xE0) == 0xC0) return 2;
    if ((lead & 0xF0) == 0xE0) return 3;
    if ((lead & 0xF8) == 0xF0) return 4;
    return 0;
}

unsigned long decodeSequence(const unsigned char* bytes, int length) {
    static const unsigned char kLeadMask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    unsigned long code = bytes[0] & kLeadMask[length];
    for (int i = 1; i < length; ++i) code = (code << 6) | (bytes[i] & 0x3F);
    return code;
}

bool completeSequence(const unsigned char* bytes, size_t available, int length) {
    if (length == 0 || static_cast<size_t>(length) > available) return false;
    for (int i = 1; i < length; ++i)
        if (!isContinuation(bytes[i])) return false;
    return true;
}

}  // namespace

std::string exactUtf8(std::u16string_view units) {
    std::string out;
    out.reserve(units.size());
    for (size_t i = 0; i < units.size(); ++i) {
        char16_t unit = units[i];
        if (isHighSurrogate(unit) && i + 1 < units.size() && isLowSurrogate(units[i + 1])) {
            unsigned long code = 0x10000 + ((unit - 0xD800UL) << 10) + (units[i + 1] - 0xDC00UL);
            appendUtf8(out, code);
            ++i;
        } else {
            appendUtf8(out, unit);
        }
    }
    return out;
}

std::u16string utf8ToUnits(std::string_view text) {
    std::u16string out;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    size_t i = 0;
    while (i < text.size()) {
        int length = sequenceLength(bytes[i]);
        if (!completeSequence(bytes + i, text.size() - i, length)) {
            out += u'\xFFFD';
            ++i;
            continue;
        }
        appendCodePoint(out, decodeSequence(bytes + i, length));
        i += static_cast<size_t>(length);
    }
    return out;
}

std::string toModifiedUtf8(std::u16string_view units) {
    std::string out;
    out.reserve(units.size());
    for (char16_t unit : units) {
        if (unit == 0) {
            out += "\xC0\x80";
        } else {
            appendUtf8(out, unit);
        }
    }
    return out;
}

bool fromModifiedUtf8(const char* text, std::u16string& out, std::string& problem) {
    out.clear();
    problem.clear();
    if (text == nullptr) return true;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    size_t available = 0;
    while (bytes[available] != 0) ++available;
    size_t i = 0;
    auto fault = [&](const char* what) {
        if (problem.empty()) problem = std::string(what) + " at byte " + std::to_string(i);
    };
    while (i < available) {
        int length = sequenceLength(bytes[i]);
        if (!completeSequence(bytes + i, available - i, length)) {
            fault(length == 0 ? "invalid lead byte" : "truncated or malformed sequence");
            out += u'\xFFFD';
            ++i;
            continue;
        }
        unsigned long code = decodeSequence(bytes + i, length);
        if (length == 4) {
            fault("four-byte sequence (modified UTF-8 encodes supplementary characters as two surrogates)");
            appendCodePoint(out, code);
        } else if ((length == 2 && code < 0x80 && code != 0) || (length == 3 && code < 0x800)) {
            fault("overlong sequence");
            out += u'\xFFFD';
        } else {
            out += static_cast<char16_t>(code);
        }
        i += static_cast<size_t>(length);
    }
    return problem.empty();
}

std::u16string codePageToUnits(const char* text, UINT codePage) {
    if (text == nullptr || *text == 0) return std::u16string();
    int size = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
    if (size <= 1) return std::u16string();
    std::vector<wchar_t> wide(static_cast<size_t>(size));
    MultiByteToWideChar(codePage, 0, text, -1, wide.data(), size);
    return std::u16string(reinterpret_cast<const char16_t*>(wide.data()), static_cast<size_t>(size - 1));
}

std::u16string unitsOf(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

}  // namespace standin
