// Composing the texts of fatal messages: the "{0}" argument of a configured message and the
// reference to the diagnostic log under every shown text.
#pragma once

#include "core/capacities.h"

#include <cstddef>

// The work area in which a message's "{0}" is replaced.
constexpr size_t kMessageWorkCapacity = kLongTextCapacity;
// The text shown to the user, and the title of a message box.
constexpr size_t kShownTextCapacity = kPathCapacity;
// An 8-bit message argument is widened up to this many characters.
constexpr size_t kMessageArgumentCapacity = kPathCapacity;

// Writes `text` with its first "{0}" replaced by `argument` into `out` (`capacity`
// characters, always terminated). Later occurrences stay as they are; a null `argument`
// replaces nothing. Returns false when the result had to be cut.
bool substituteFirstArgument(wchar_t* out, size_t capacity, const wchar_t* text, const wchar_t* argument);

// The text as the user sees it: `text` alone, or, when the log is on (`logPath` not null),
// `text`, an empty line and "Log: <logPath>". When it does not fit, `text` is cut rather
// than the log reference, so the user always learns where the trace is. Returns false when
// anything was cut.
bool composeShownText(wchar_t* out, size_t capacity, const wchar_t* text, const wchar_t* logPath);

// Widens an 8-bit argument as the "%S" conversion does, cut to `capacity` - 1 characters.
bool widenArgument(wchar_t* out, size_t capacity, const char* argument);
