// Splitting of command-line-shaped texts into arguments. The rules are the launcher's own,
// not the C runtime's: double quotes group, a quote that directly follows a closing quote
// yields a literal quote, and backslashes are ordinary characters (they never escape).
// The same rules apply to the process command line, configured option strings and the
// child command line of the service.
#pragma once

#include <string>
#include <string_view>
#include <vector>

using ArgumentList = std::vector<std::wstring>;

// Copies one argument of `src` into `dst`, which must hold at least as many characters as
// `src` plus a terminator. Returns where the following argument starts, or nullptr when the
// text is exhausted (the argument copied by that call is still valid).
const wchar_t* nextArgument(const wchar_t* src, wchar_t* dst);

// Appends every argument of `text` to `list`; an empty text appends nothing.
void splitCommandLine(std::wstring_view text, ArgumentList& list);
ArgumentList splitCommandLine(std::wstring_view text);

// The inverse of the splitting: `argument` written so that splitCommandLine gives it back
// exactly, as one argument. A plain word stays as it is; one that is empty or holds a space,
// a tab or a quote is enclosed in quotes, each quote in it doubled. Backslashes need nothing,
// since they never escape.
std::wstring quoteArgument(std::wstring_view argument);
