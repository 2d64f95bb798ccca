// The launcher's own file path and directory, each computed once on first use (main thread,
// before other threads exist) and kept for the life of the process.
#pragma once

#include <optional>
#include <string>

// The long wide form: the module file name expanded with GetLongPathNameW (unchanged when
// that fails), doubled backslashes collapsed.
const wchar_t* getLauncherPathWide();

// The 8-bit form in the file-system code page. It never loses characters: when the long
// path cannot be represented, a short (8.3) form is used instead. Empty when every way of
// getting one failed.
const char* getLauncherPath();

// Directories of the launcher, each ending in a backslash:
// the full path of the 8-bit launcher path up to its last backslash,
const char* getLauncherDirectory();
// that 8-bit directory widened through the file-system code page (used where a text becomes
// an 8-bit JVM option),
const wchar_t* getLauncherDirectoryFromNarrow();
// and the directory of the wide long path.
const wchar_t* getLauncherDirectoryWide();

// Asks the command interpreter for the 8.3 form of `path`. None when the interpreter cannot
// be run or gives no usable answer (Wine's interpreter, for one, does not know "%~sI").
std::optional<std::string> getShortPathViaShell(const wchar_t* path);
