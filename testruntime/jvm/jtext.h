// Text conversions of the stand-in VM. Java strings are sequences of UTF-16 units and are
// kept as such (std::u16string); the conversions below never lose a unit, so a test can
// compare what arrived with what was sent, unpaired surrogates included.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace standin {

// UTF-8 of UTF-16 units for the transcript. A proper surrogate pair becomes one four-byte
// sequence; an unpaired surrogate becomes its own three-byte sequence (the generalised
// UTF-8 that Python reads back with errors="surrogatepass"), so every unit survives.
std::string exactUtf8(std::u16string_view units);

// Standard UTF-8 (script files) to UTF-16; a malformed byte becomes U+FFFD.
std::u16string utf8ToUnits(std::string_view bytes);

// The JNI's modified UTF-8: U+0000 as C0 80, every unit (surrogates one by one) in at most
// three bytes.
std::string toModifiedUtf8(std::u16string_view units);

// Decodes modified UTF-8 up to its terminating zero byte. Returns false, with `problem`
// describing the first fault, when the bytes are not valid modified UTF-8 (a malformed or
// truncated sequence, an overlong form other than C0 80, or a four-byte sequence, which the
// modified form does not have). The result is still filled: a four-byte sequence becomes
// its surrogate pair, any other bad byte U+FFFD.
bool fromModifiedUtf8(const char* bytes, std::u16string& out, std::string& problem);

// 8-bit text of a Windows code page to UTF-16.
std::u16string codePageToUnits(const char* text, UINT codePage);

std::u16string unitsOf(std::string_view ascii);

}  // namespace standin
