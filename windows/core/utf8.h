// UTF-8 in the forms the launcher meets it: single code points encoded (the log writer, the
// packer, the real-JVM host), files judged and decoded (VM-options files written by today's
// editors), and the JNI's modified UTF-8 for texts handed to NewStringUTF.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Longest UTF-8 sequence of one code point.
constexpr size_t kUtf8SequenceCapacity = 4;

// The byte-order mark an editor may put in front of a UTF-8 file, and which the log writes
// in front of its own.
constexpr std::string_view kUtf8MarkBytes = "\xEF\xBB\xBF";

// Writes the UTF-8 form of `codePoint` (at most U+10FFFF; the caller has already replaced
// anything else) into `bytes`, which holds kUtf8SequenceCapacity bytes; returns its length.
size_t utf8Sequence(uint32_t codePoint, char* bytes);

// Appends the UTF-8 form of `codePoint` to `out`.
void appendUtf8(std::string& out, uint32_t codePoint);

// Judges bytes as strict UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF)
// while they arrive in pieces of any size, so a file can be judged without being held whole.
class Utf8Validator {
public:
    void feed(std::string_view bytes);
    // True when every byte fed so far forms complete, valid sequences.
    bool valid() const { return !broken_ && pending_ == 0; }
    // True when some byte fed so far was 0x80 or above.
    bool sawNonAscii() const { return sawNonAscii_; }

private:
    int pending_ = 0;          // continuation bytes still expected
    unsigned char lower_ = 0;  // bounds of the next continuation byte
    unsigned char upper_ = 0;
    bool broken_ = false;
    bool sawNonAscii_ = false;
};

// The length of the longest start of `bytes` that does not end inside a sequence: a piece of
// a longer text cut at that length leaves no character split between two pieces.
size_t completeUtf8Prefix(std::string_view bytes);

// `bytes` decoded as UTF-8 into UTF-16 code units (characters above U+FFFF as surrogate
// pairs), one unit per wchar_t. A byte that starts no valid sequence becomes U+FFFD.
std::wstring utf16FromUtf8(std::string_view bytes);

// The JNI's modified UTF-8 of UTF-16 code units, as NewStringUTF reads it: U+0000 as C0 80,
// every unit (each half of a surrogate pair, paired or not) on its own in one to three bytes,
// so the result never holds a zero byte and no sequence is longer than three bytes. A
// wchar_t above U+FFFF (only where wchar_t is 32 bits) is taken as its surrogate pair.
std::string modifiedUtf8(std::wstring_view units);
