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

// What an opened entry turned out to be, judged on its handle rather than on its name.
enum class EntryKind { File, Directory, Link };

// A file or directory opened without following a reparse point and held without sharing it
// for deletion: while it is held nobody can rename or delete it, so the path that named it
// keeps naming the same entry, and a path below a held directory cannot be redirected
// through it. Closed when the owner goes.
class HeldEntry {
public:
    virtual ~HeldEntry() = default;
    virtual EntryKind kind() const = 0;
    // The entries of a held directory, read through its handle, "." and ".." included as the
    // system reports them; empty when it cannot be read.
    virtual std::vector<DirectoryEntry> entries() = 0;
    // Asks the system to remove the entry when it is closed; false (and `error` set) when
    // refused, as for a directory that is not empty or a read-only file.
    virtual bool markForDeletion(uint32_t& error) = 0;
};

// Whether the launcher that made an extraction directory still runs. Every launcher keeps
// the temp file its directory is named after open, unshared, until it ends, and writes a mark
// into it; the system closes that handle however the process ends, crash included.
enum class OwnerState {
    Running,  // someone holds the temp file: the owner, or a launcher sweeping it right now
    Ended,    // the temp file carries the mark and could be taken: nobody uses the directory
    Unknown,  // no temp file, or one without the mark (another program's, or an older launcher's)
};

// The operating-system side of extraction and cleanup.
class ExtractionFileSystem {
public:
    virtual ~ExtractionFileSystem() = default;
    // A new unique file name in the temp directory (the empty file is created); ends the
    // process when no temp directory is usable.
    virtual void makeTempFileName(char* out, size_t size) = 0;
    // The 8-bit temp directory; ends the process when none is usable.
    virtual std::string tempDirectory() = 0;
    // A number nobody can guess from outside the process, for the extraction directory's name.
    virtual uint32_t unpredictableNumber() = 0;
    // Creates a directory that only its owner, SYSTEM and the Administrators can use, with
    // inheritance from above cut off. `error` receives the system's error code unless the
    // directory was created; an existing directory is never taken over.
    virtual DirectoryCreation createDirectory(const char* path, uint32_t& error) = 0;
    // The launcher's own file; ends the process when it cannot be opened.
    virtual std::unique_ptr<ByteSource> openLauncherFile() = 0;
    // A new file; null (and `error` set) when anything, a link included, already has that
    // name, or it cannot be created.
    virtual std::unique_ptr<ByteSink> createFile(const char* path, uint32_t& error) = 0;
    // The entries matching a pattern such as "<directory>\*.*", "." and ".." included as the
    // system reports them; empty when nothing matches or the directory cannot be read.
    virtual std::vector<DirectoryEntry> listDirectory(const char* pattern) = 0;
    // The entry at `path`, held as HeldEntry describes; null when it cannot be opened.
    virtual std::unique_ptr<HeldEntry> holdEntry(const char* path) = 0;
    // Takes the temp file `path` for this process: opens the existing regular file unshared,
    // writes the owner mark and keeps it open; null when any of that fails.
    virtual std::unique_ptr<HeldEntry> claimTempFile(const char* path) = 0;
    // Whether the owner of the temp file `path` has ended; when it has, `held` receives the
    // temp file, taken as claimTempFile takes it, so no other launcher sweeps it meanwhile.
    virtual OwnerState ownerOf(const char* path, std::unique_ptr<HeldEntry>& held) = 0;
    virtual bool exists(const char* path) = 0;
};

// The whole extraction: reads the count (IncludedFileCount) and the names (IncludedFilePaths),
// creates the extraction directory when asked, and extracts the records that start at
// `recordsPosition` of the launcher file.
ExtractionStatus extractIncludedFiles(ExtractionFileSystem& files, bool createDirectory, uint64_t recordsPosition);

// Fills extractionDirectory with a new directory "<temp file>_dir<number>" and creates it,
// trying up to 10 temp names, each temp file claimed for this process first; NoDirectory (and
// an empty extractionDirectory) when none works.
ExtractionStatus createExtractionDirectory(ExtractionFileSystem& files);

// Reads one record at the reader's position and writes its content to `path`; a record of
// size 0 or less produces no file.
ExtractionStatus extractOneFile(BlockReader& reader, ExtractionFileSystem& files, const char* path);

// Copies `count` bytes in chunks of kCopyChunkSize, XORing each byte with 0x97 when
// `unscramble`; Done, ReadFailed or WriteFailed.
ExtractionStatus copyFileRange(ByteSource& from, ByteSink& to, int64_t count, bool unscramble);

// Deletes what is in `path`, and with `withSubdirectories` what is in its subdirectories, each
// entry through its own held handle: a link is removed itself and never entered, whether the
// listing or the opened entry shows it to be one.
void emptyDirectory(ExtractionFileSystem& files, const char* path, bool withSubdirectories);

// Empties and removes the extraction directory, then deletes its temp file, but only once the
// directory is gone: a directory that stays (a file the JVM still holds) keeps its marked temp
// file, so a later launcher removes it once this process has ended.
void removeExtractionDirectory(ExtractionFileSystem& files);

// Removes the extraction directories of launchers that have ended (OwnerState::Ended) from
// the temp directory, with their temp files.
void removeStaleExtractionDirectories(ExtractionFileSystem& files);

// The temp file an extraction directory "<temp file>_dir<number>" is named after; empty when
// the name is not of that form.
std::string tempFileOfDirectory(const std::string& directoryName);

// The text a launcher writes into the temp file it holds; one that begins with it is a
// launcher's lock.
constexpr const char* kOwnerMark = "ravel extraction directory owner";

// The security descriptor of the extraction directory as SDDL text: a protected DACL (nothing
// inherited from the temp directory) granting full access, inherited by everything created
// inside, to the user `userSid` ("S-1-5-..."), SYSTEM and the Administrators only.
std::string protectedDirectorySddl(const std::string& userSid);

// The names to extract: the ";"-separated entries of `list` (up to its first NUL), at most
// `count` of them, stopping at the first empty entry.
std::vector<std::string> includedFileTokens(const std::string& list, int count);

enum class IncludedPathProblem {
    None,
    Absolute,          // leading "\" or "/", or a ":" (drive letter or stream name)
    OutsideDirectory,  // empty, or a component made of dots and spaces only (".", "..", "...")
    DeviceName,        // a component that names a device (CON, NUL, COM1, ...), see included_file_name.h
};

// Whether an included-file name stays inside the extraction directory.
IncludedPathProblem checkIncludedPath(const std::string& path);

// "<directory>\<name>" into `out`; false (and `out` empty) when it does not fit.
bool composeIncludedFilePath(char* out, size_t capacity, const char* directory, const char* name);

// "<directory>\<name>", the backslash left out when `directory` already ends in one; false
// (and `out` empty) when it does not fit.
bool composeEntryPath(char* out, size_t capacity, const char* directory, const char* name);

// "<temp file>_dir<number as a signed 32-bit number>"; false (and `out` empty) when it does
// not fit.
bool composeExtractionDirectoryName(char* out, size_t capacity, const char* tempFile, uint32_t number);
