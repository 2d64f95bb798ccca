// Text rules for paths that need no file system: the same decisions whether a path comes
// from a setting, the module name or a search entry. The Win32 path helpers build on them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// Turns every run of backslashes into one, in place. The first two characters are never
// touched, so the leading "\\" of a network path survives.
void collapseBackslashes(wchar_t* path);
// The same over 8-bit text whose every byte is one character. Only for text known to be in
// a single-byte form (the launcher's 8-bit paths go through the code-page-aware variant in
// path_helpers.h, since a double-byte character may end in the byte of a backslash).
void collapseBackslashesSingleByte(char* path);

// The wide form on a copy. Like the in-place form it takes the text up to its first NUL.
std::wstring collapsedBackslashes(const std::wstring& path);

// Absolute means: drive letter form ("X:\...") or a network path ("\\..."), after one
// optional leading double quote. Anything shorter than three characters (four when quoted)
// is relative, as is "/x" or "C:x".
bool isRelativePath(const char* path);
bool isRelativePath(const wchar_t* path);

// True for the forms of a drive root that need no disk access to exist: the text from its
// second character on is exactly ":\", ":\." or ":\.\.".
bool isDriveRootForm(const char* path);
bool isDriveRootForm(const wchar_t* path);

// At least five characters and ending in ".exe" in any ASCII case.
bool endsWithExe(const char* path);
bool endsWithExe(const wchar_t* path);

// The search pattern "directory\*.extension"; the "." is not doubled when the extension
// already begins with one.
std::string filePatternFor(const std::string& directory, const std::string& extension);

// The directory part of `path`: everything up to and including the last backslash; empty
// when there is none.
std::wstring directoryOf(const std::wstring& path);

// The short name the command interpreter printed: the first line of its output, which must
// be longer than five bytes and end in CR or LF. Anything else is no answer.
std::optional<std::string> firstLineOfShellOutput(const std::string& output);
