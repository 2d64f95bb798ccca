// Loading the libraries of a Java runtime (and the application's helper library) by full
// path, so that nothing the launcher loads is taken from the current directory or from the
// launcher's own folder by accident.
#pragma once

#include "core/platform.h"

// Loads the library at `fullPath`, searching the library's own folder first for the
// libraries it imports (then the system folders and PATH, never the current directory once
// the entry point has taken it out of the search). A path that is not absolute is loaded
// without the altered search, as the loader leaves that case undefined. On failure null,
// with the system error in `error`.
HMODULE loadLibraryFromItsFolder(const char* fullPath, DWORD& error);
HMODULE loadLibraryFromItsFolder(const wchar_t* fullPath, DWORD& error);

// Loads the system folder's copy of `fileName` by its full path; null when the system
// folder cannot be named or holds no loadable copy, with the system error in `error`.
HMODULE loadSystemLibrary(const wchar_t* fileName, DWORD& error);
