// Bounded printf-style formatting with the launcher's wide conventions, independent of
// which C runtime the compiler links: "%s" is a wide string, "%S" an 8-bit string,
// "%I64d"/"%I64u" a 64-bit integer, "%d" "%u" "%x" "%X" "%ld" "%lu" "%c" "%p" "%%",
// with optional "-" / "0" flags and a decimal width. Unknown conversions are copied as they
// stand, so a malformed format never reads arguments it was not given.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

// Formats into `out`, which holds `capacity` characters including the terminator. The result
// is always terminated (when capacity > 0). Returns false when the text had to be cut.
bool formatWideV(wchar_t* out, size_t capacity, const wchar_t* format, va_list args);
bool formatWide(wchar_t* out, size_t capacity, const wchar_t* format, ...);

// The same, growing a string instead of filling a fixed buffer.
std::wstring formatWideStringV(const wchar_t* format, va_list args);
std::wstring formatWideString(const wchar_t* format, ...);

// Widens 8-bit text as the "%S" conversion does. Each byte becomes the code unit of the same
// value, which is what the C runtime's default "C" locale does for multibyte-to-wide.
std::wstring widenBytes(const char* text);
std::wstring widenBytes(const char* text, size_t length);

// Copies as much of `text` as fits and always terminates; returns false when it had to cut.
bool copyBounded(wchar_t* out, size_t capacity, const wchar_t* text);
bool copyBounded(char* out, size_t capacity, const char* text);
