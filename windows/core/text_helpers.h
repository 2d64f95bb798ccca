// The small text chores the portable code shares: splitting a separated list, ASCII case
// folding, prefix and suffix tests, and numbers as wide text. Each comes in the 8-bit and the UTF-16 form and
// works on code units alone, whatever the code page: no locale is consulted, so a byte or
// code unit outside ASCII is only ever compared as it stands.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// What splitList does with an empty piece (two separators in a row, one at either end, or
// an empty text).
enum class EmptyPieces {
    // Skipped: the list goes on after it. For lists where ";;" or a trailing ";" is a slip
    // of the writer (search sequences, path entries).
    Skip,
    // The list ends before it: nothing after an empty piece is taken. For lists whose first
    // empty entry marks their end.
    EndList,
};

// The pieces of `text` between the `separator`s, in order, each without its separator and
// otherwise as written (nothing is trimmed).
std::vector<std::string> splitList(std::string_view text, char separator, EmptyPieces empties);
std::vector<std::wstring> splitList(std::wstring_view text, wchar_t separator, EmptyPieces empties);

// 'A'..'Z' to 'a'..'z'; every other value, non-ASCII included, unchanged.
char asciiLower(char c);
wchar_t asciiLower(wchar_t c);

bool startsWith(std::string_view text, std::string_view prefix);
bool startsWith(std::wstring_view text, std::wstring_view prefix);
bool endsWith(std::string_view text, std::string_view suffix);
bool endsWith(std::wstring_view text, std::wstring_view suffix);

// The same with ASCII letters compared without regard to case (see asciiLower).
bool startsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix);
bool startsWithIgnoringAsciiCase(std::wstring_view text, std::wstring_view prefix);
bool endsWithIgnoringAsciiCase(std::string_view text, std::string_view suffix);
bool endsWithIgnoringAsciiCase(std::wstring_view text, std::wstring_view suffix);

// The decimal text of `value` ("-" before a negative one, no leading zeros) in UTF-16. Use it
// rather than std::to_wstring, which brings the C library's wide formatted output, a
// floating-point formatter and all, into the launcher image for a few digits.
std::wstring decimalText(long long value);
