// Included files: extracted at the start of every run into a fresh directory under the temp
// directory, removed again when the process ends through exitLauncher.
//
// This header is what the run sequence calls; extraction_win.cpp implements it over the real
// files and turns the fatal outcomes of extraction_rules.h into the launcher's fatal messages.
#pragma once

#include "core/capacities.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr size_t kExtractionDirectoryCapacity = kPathCapacity;
// Every path extraction and cleanup composes lives in a buffer of this size; a path that
// does not fit is refused, never cut.
constexpr size_t kExtractionPathCapacity = kPathCapacity;
// Included-file content is copied through a buffer of this many bytes.
constexpr uint32_t kCopyChunkSize = kPathCapacity;

// 8-bit path of this run's extraction directory; empty until created, and empty when there
// are no included files. Written by extractIncludedFiles on the main thread, cleared by
// removeExtractionDirectory.
extern char extractionDirectory[kExtractionDirectoryCapacity];

// File offset of the launcher just after the last included file read; 0 until extraction ran.
// Written by extractIncludedFiles.
extern int32_t unextractedPosition;

// 0 on success, 1 read failure, 2 write failure (from the first file that failed). A missing
// extraction directory, a file that cannot be created (or whose name is refused) and a short
// record header end the process.
int extractIncludedFiles(bool createDirectory);

// Deletes the contents of `path` (and of its subdirectories, one level deep, when asked).
void emptyDirectory(const char* path, bool withSubdirectories);

// Empties and removes the extraction directory and its temp file, if there is one; failures
// are ignored (what stays is removed by a later launcher once this process has ended).
// Called at every end the launcher sees: the fatal exit, the return after the JVM's end,
// and the JVM's exit hook when the application calls System.exit.
void removeExtractionDirectory();

// The archives this run extracted to the top level of the extraction directory, as full
// paths: the ".jar" files in the order they were extracted, then the ".zip" files. An empty
// included file, which leaves no file, is not among them.
const std::vector<std::string>& extractedArchives();
