// The temp directory the launcher works in, chosen once among a fixed list of candidates by
// actually creating a subdirectory in each, in both the 8-bit and the wide form. The choice
// is made at the first call of an accessor below, so a run in which nothing needs the temp
// directory (no text names it, nothing is extracted, the log is off) never probes for it.
#pragma once

#include <cstddef>

// Copies the 8-bit temp directory into `buffer` (choosing it first if needed). When no
// candidate is usable the process ends with message 1015.
void getTempDirectory(char* buffer, size_t size);

// The same in wide form. When none is usable: ends the process as above if `failIfNone`,
// otherwise returns with an empty buffer.
void getTempDirectoryWide(wchar_t* buffer, size_t size, bool failIfNone);

// The wide form for the log's own file; empty when none is usable, or when the choice is one
// of the folders at the root of drive C: that every user may write to (the log is then off). The log decides where it writes at its first line, which may come before the
// configuration has been read, when setting 10009 (long temp paths) still reads as 0. A
// choice made then is used for the log alone and not kept, so that the application's temp
// paths are chosen later with the setting, and are the same whether the log is on or off.
void getTempDirectoryForLog(wchar_t* buffer, size_t size);

// A new unique file name in the temp directory; the empty file is created.
void makeTempFileName(char* out, size_t size);
