// The process environment and the launcher's own file name, read the one way the launcher
// reads them. Each read comes in the 8-bit form (the ANSI code page, as the system converts)
// and the UTF-16 form; a caller keeps the form it always used, since a value outside the code
// page reads differently in the two.
#pragma once

#include "core/environment_rules.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// A variable as read at one moment.
template <typename Char>
struct EnvironmentValue {
    bool set = false;
    // Whether the system answered that the variable does not exist. When neither `set` nor
    // `missing`, the first call answered 0 without saying so: a read that failed for another
    // reason, or a variable defined but empty on a system that reports no size for it.
    bool missing = false;
    // The size the system reported first, terminator included; 0 when the variable is unset.
    uint32_t reportedSize = 0;
    std::basic_string<Char> text;

    // Whether the text read is the one whose size was reported first. It is not when the
    // value changed between the two calls, or when an 8-bit value did not convert within the
    // size reported; a caller that must not act on such a value refuses it with this.
    bool readAsReported() const { return set && text.size() + 1 == reportedSize; }
};

// The whole value, however long: the size is asked for first, and asked again should the
// variable grow before it is read.
EnvironmentValue<wchar_t> readVariable(const wchar_t* name);
EnvironmentValue<char> readVariable(const char* name);

// The value into the caller's `out` (`capacity` characters, terminator included), always
// terminated. The length kept, or none for an unset or empty variable and for a value that
// does not fit: that is refused, never cut, because the launcher's variables name paths and
// switches, and a cut one would name something else.
std::optional<size_t> readVariableBounded(const wchar_t* name, wchar_t* out, size_t capacity);
std::optional<size_t> readVariableBounded(const char* name, char* out, size_t capacity);

// The launcher executable's own path as the system gives it, into `out` (`capacity`
// characters, always terminated). A path that does not fit is refused or cut by `rule`; the
// length kept, or none when nothing is kept.
std::optional<size_t> moduleFileName(wchar_t* out, size_t capacity, TooLong rule);
std::optional<size_t> moduleFileName(char* out, size_t capacity, TooLong rule);
