// Path helpers that need the file system or the code page: conversion to the 8-bit form,
// existence, resolution against the launcher directory, directory listings.
#pragma once

#include "core/platform.h"
#include "paths/path_helpers_rules.h"

#include <cstddef>
#include <string>
#include <vector>

// The code page of the 8-bit file APIs: CP_ACP when they are ANSI, otherwise CP_OEMCP.
UINT fileSystemCodePage();

// `wide` in the file-system code page without best-fit substitutes; characters the code
// page lacks become "?" and set `lossy`. An empty result with `lossy` set means the size
// could not be determined.
std::string toMultiByte(const wchar_t* wide, bool& lossy);

// The file-system code page's 8-bit text widened exactly (MultiByteToWideChar); empty when
// the text cannot be converted.
std::wstring fromMultiByte(const char* text);

// `text` lower-cased with the system's locale-independent case table (the mapping path
// comparisons use). Text the system cannot map is returned unchanged.
std::wstring lowerCase(std::wstring text);

// Collapses backslash runs in an 8-bit path (see the wide form in path_helpers_rules.h) by way of the
// wide form, so that a double-byte character whose second byte is a backslash survives. The
// path is left as it is when the round trip would lose characters.
void collapseBackslashes(char* path);
// The same on a copy, up to the text's first NUL.
std::string collapsedBackslashes(const std::string& path);

// True for the drive-root forms without touching the disk, otherwise when FindFirstFile
// finds the path. `lastWriteTime`, when given, receives the found entry's last-write time
// (zero for a drive root).
bool pathExists(const char* path, FILETIME* lastWriteTime = nullptr);
bool pathExists(const wchar_t* path, FILETIME* lastWriteTime = nullptr);

// Resolves `path` against the launcher directory (when relative), normalises it with
// GetFullPathName, lower-cases it unless `keepCase`, and collapses backslash runs.
// The wide form takes the directory derived from the 8-bit launcher path when
// `useNarrowDirectory`, else the wide one; the 8-bit form takes the 8-bit directory.
// A result that does not fit `capacity` (terminator included) is refused: `out` is left
// empty, the refusal logged and false returned.
bool makeAbsolutePath(wchar_t* out, size_t capacity, const wchar_t* path, bool useNarrowDirectory, bool keepCase);
bool makeAbsolutePath(char* out, size_t capacity, const char* path, bool keepCase);

// The same against the directory of `baseFile` instead of the launcher's.
bool makeAbsolutePathFromFile(wchar_t* out, size_t capacity, const wchar_t* path, const wchar_t* baseFile,
                              bool keepCase);
bool makeAbsolutePathFromFile(char* out, size_t capacity, const char* path, const char* baseFile, bool keepCase);

// Resolves every entry of the ";"-separated `list` as the 8-bit makeAbsolutePath does
// (case kept), up to the first empty entry, and writes them joined by ";" into `out`.
// `callback`, when given, receives each resolved entry. An entry that cannot be resolved
// is left out and one that no longer fits ends the list, both logged, and false is returned;
// `out` then holds the entries that were resolved and fitted.
bool makeAbsolutePathList(char* out, size_t capacity, const char* list, void (*callback)(const char* entry));

// The names (without directory) of the entries matching "directory\*.extension", in the
// order the file system returns them.
std::vector<std::string> listFilesWithExtension(const char* directory, const char* extension);
