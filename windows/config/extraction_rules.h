// The portable rules of extraction: which records, which names, how bytes are copied and what
// cleanup touches, run against an ExtractionFileSystem. extraction_win.cpp gives them the real
// files; the unit tests give them files held in memory.
#pragma once

#include "config/extraction.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class BlockReader;
class ByteSource;

// Where extracted bytes are written.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    // Writes up to `count` bytes; `written` receives how many were taken. Returns false on a
    // write error and then sets `error` to the system's error code.
    virtual bool write(const void* buffer, uint32_t count, uint32_t& written, uint32_t& error) = 0;
};

// How extraction, or one step of it, ended. The first three are the codes the run sequence
// sees; the others end the process with the fatal message named beside them.
enum class ExtractionStatus : int {
    Done = 0,
    ReadFailed = 1,
    WriteFailed = 2,
    NoDirectory,        // MessageId::ExtractionFailed with "7"
    CannotCreateFile,   // MessageId::ExtractionFailed with "11"
    RecordHeaderShort,  // "Internal Error: readLong"
};

enum class DirectoryCreation { Created, AlreadyExists, Failed };

struct DirectoryEntry {
    std::string name;
    bool isDirectory = false;
    // A directory entry that is a junction or symbolic link: cleanup removes the link itself
    // and never deletes what it points to.
    bool isLink = false;
};

// The operating-system side of extraction and cleanup.
class ExtractionFileSystem {
public:
    virtual ~ExtractionFileSystem() = default;
    // A new unique file name in the temp directory (the empty file is created); ends the
    // process when no temp directory is usable.
    virtual void makeTempFileName(char* out, size_t size) = 0;
    // The low 32 bits of the current time in seconds.
    virtual uint32_t currentSeconds() = 0;
    // `error` receives the system's error code unless the directory was created.
    virtual DirectoryCreation createDirectory(const char* path, uint32_t& error) = 0;
    // The launcher's own file; ends the process when it cannot be opened.
    virtual std::unique_ptr<ByteSource> openLauncherFile() = 0;
    // A new file, replacing any file of that name; null (and `error` set) when it cannot be
    // created.
    virtual std::unique_ptr<ByteSink> createFile(const char* path, uint32_t& error) = 0;
    // The entries matching a "<directory>\*.*" pattern, "." and ".." included as the system
    // reports them; empty when nothing matches or the directory cannot be read.
    virtual std::vector<DirectoryEntry> listDirectory(const char* pattern) = 0;
    virtual void removeDirectory(const char* path) = 0;
    virtual void deleteFile(const char* path) = 0;
};

// The whole extraction: reads the count (IncludedFileCount) and the names (IncludedFilePaths),
// creates the extraction directory when asked, and extracts the records that start at
// `recordsPosition` of the launcher file.
ExtractionStatus extractIncludedFiles(ExtractionFileSystem& files, bool createDirectory, uint64_t recordsPosition);

// Fills extractionDirectory with a new directory "<temp file>_dir<seconds>" and creates it,
// trying up to 10 temp names; NoDirectory (and an empty extractionDirectory) when none works.
ExtractionStatus createExtractionDirectory(ExtractionFileSystem& files);

// Reads one record at the reader's position and writes its content to `path`; a record of
// size 0 or less produces no file.
ExtractionStatus extractOneFile(BlockReader& reader, ExtractionFileSystem& files, const char* path);

// Copies `count` bytes in chunks of kCopyChunkSize, XORing each byte with 0x97 when
// `unscramble`; Done, ReadFailed or WriteFailed.
ExtractionStatus copyFileRange(ByteSource& from, ByteSink& to, int64_t count, bool unscramble);

void emptyDirectory(ExtractionFileSystem& files, const char* path, bool withSubdirectories);
void removeExtractionDirectory(ExtractionFileSystem& files);

// The names to extract: the ";"-separated entries of `list` (up to its first NUL), at most
// `count` of them, stopping at the first empty entry.
std::vector<std::string> includedFileTokens(const std::string& list, int count);

enum class IncludedPathProblem {
    None,
    Absolute,          // leading "\" or "/", or a ":" (drive letter or stream name)
    OutsideDirectory,  // empty, or a component made of dots and spaces only (".", "..", "...")
};

// Whether an included-file name stays inside the extraction directory.
IncludedPathProblem checkIncludedPath(const std::string& path);

// "<directory>\<name>" into `out`; false (and `out` empty) when it does not fit.
bool composeIncludedFilePath(char* out, size_t capacity, const char* directory, const char* name);

// "<directory>\<name>", the backslash left out when `directory` already ends in one; false
// (and `out` empty) when it does not fit.
bool composeEntryPath(char* out, size_t capacity, const char* directory, const char* name);

// "<temp file>_dir<seconds as a signed 32-bit number>"; false (and `out` empty) when it does
// not fit.
bool composeExtractionDirectoryName(char* out, size_t capacity, const char* tempFile, uint32_t seconds);
