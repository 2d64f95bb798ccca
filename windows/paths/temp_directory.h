// The temp directory the launcher works in, chosen once among a fixed list of candidates by
// actually creating a subdirectory in each, in both the 8-bit and the wide form.
#pragma once

#include <cstddef>

// Copies the 8-bit temp directory into `buffer` (choosing it first if needed). When no
// candidate is usable the process ends with message 1015.
void getTempDirectory(char* buffer, size_t size);

// The same in wide form. When none is usable: ends the process as above if `failIfNone`,
// otherwise returns with an empty buffer (the log uses this form).
void getTempDirectoryWide(wchar_t* buffer, size_t size, bool failIfNone);

// A new unique file name in the temp directory; the empty file is created.
void makeTempFileName(char* out, size_t size);
