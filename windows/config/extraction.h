// Included files: extracted at the start of every run into a fresh directory under the temp
// directory, removed again when the process ends through exitLauncher.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kExtractionDirectoryCapacity = 6000;

// 8-bit path of this run's extraction directory; empty until created, and empty when there
// are no included files. Written by extractIncludedFiles on the main thread.
extern char extractionDirectory[kExtractionDirectoryCapacity];

// File offset of the launcher just after the last included file read; 0 until extraction ran.
extern int32_t unextractedPosition;

// 0 on success, 1 read failure, 2 write failure (from the first file that failed).
int extractIncludedFiles(bool createDirectory);

// Deletes the contents of `path` (and of its subdirectories, one level deep, when asked).
void emptyDirectory(const char* path, bool withSubdirectories);

// Empties and removes the extraction directory, if there is one; failures are ignored.
void removeExtractionDirectory();
