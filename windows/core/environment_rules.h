// How the environment kit judges what the system answered: whether a bounded read kept the
// text, cut it or refused it, and whether a whole read of a variable is done. Kept apart from
// Win32 so that these rules can be checked on their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

// What a bounded read does with a text that does not fit the caller's buffer.
enum class TooLong {
    // Nothing is kept: the caller sees the text as missing. For paths and switches, where a
    // cut text would name something else.
    Refuse,
    // The beginning that fits is kept and terminated. Only for texts that are merely shown.
    Cut,
};

// The number of characters a bounded read keeps, from `reported`, the count the system call
// returned for a buffer of `capacity` characters: 0 means failure or no text; below
// `capacity` the length of a text that fit; `capacity` or more, a text that did not fit
// (GetEnvironmentVariable then reports the size it needs, GetModuleFileName reports
// `capacity` after filling the buffer with the beginning of the text). None when nothing
// is kept: a failure, an empty buffer, or a text too long under TooLong::Refuse.
std::optional<size_t> keptLength(uint32_t reported, size_t capacity, TooLong rule);

// One step of reading a variable whole: first its size is asked for, then it is read into
// a buffer of that size.
enum class VariableRead {
    Whole,     // the value fit: it is read
    Grew,      // it grew in between: read again with the size now reported
    Vanished,  // it was removed in between: it is not set
};

// Judges the second call: `offered` characters were offered, `returned` came back, and
// `notFound` tells whether the system reported the variable as missing. A return of 0 that
// is not "missing" is a value that became empty.
VariableRead judgeVariableRead(uint32_t offered, uint32_t returned, bool notFound);
