#include "config/extraction_rules.h"

#include "config/block_format.h"
#include "config/block_reader.h"
#include "config/config_store.h"
#include "config/included_file_name.h"
#include "core/log.h"
#include "core/text_helpers.h"

#include <algorithm>
#include <cstring>
#include <string>

char extractionDirectory[kExtractionDirectoryCapacity] = {};
int32_t unextractedPosition = 0;

namespace {

// This run's temp file, held from before the extraction directory exists until the directory
// is gone (or the process ends): the sign to other launchers that the directory is in use.
std::unique_ptr<HeldEntry> ownerLock;
std::vector<std::string> archivesExtracted;

constexpr int kMaxDirectoryAttempts = 10;

// Writes `text` into `out` only when all of it fits, so a path is either whole or absent.
bool storeWhole(char* out, size_t capacity, const std::string& text) {
    if (capacity == 0) return false;
    if (text.size() + 1 > capacity) {
        out[0] = 0;
        return false;
    }
    memcpy(out, text.c_str(), text.size() + 1);
    return true;
}

bool isSeparator(char c) { return c == '\\' || c == '/'; }

const wchar_t* problemText(IncludedPathProblem problem) {
    if (problem == IncludedPathProblem::DeviceName) return L"device name";
    return problem == IncludedPathProblem::Absolute ? L"absolute path" : L"outside the extraction directory";
}

// Writes all of `length` bytes, calling the sink again for whatever it did not take. A write
// that reports success without taking anything counts as a failure, so a sink that makes no
// progress cannot keep the loop running forever.
bool writeAll(ByteSink& to, const uint8_t* data, uint32_t length) {
    uint32_t done = 0;
    while (done < length) {
        uint32_t written = 0;
        uint32_t error = 0;
        bool ok = to.write(data + done, length - done, written, error);
        if (!ok || written == 0) {
            logError(L"WriteFile failed %d %d", static_cast<int>(length - done), static_cast<int>(error));
            return false;
        }
        done += written < length - done ? written : length - done;
    }
    return true;
}

// Creates the first directory level of `token` inside the extraction directory; "lib\a.jar"
// needs "lib". Deeper levels are not created, so their files fail when they are created.
void createFirstLevelDirectory(ExtractionFileSystem& files, const std::string& token) {
    size_t backslash = token.find('\\');
    if (backslash == std::string::npos) return;
    char directory[kExtractionPathCapacity];
    // The whole path already fit, so its prefix does too.
    composeIncludedFilePath(directory, sizeof directory, extractionDirectory, token.substr(0, backslash).c_str());
    logLine(L"creating directory %S", directory);
    uint32_t error = 0;
    if (files.createDirectory(directory, error) == DirectoryCreation::Failed)
        logError(L"failed to create directory %S", directory);
}

ExtractionStatus extractToken(BlockReader& reader, ExtractionFileSystem& files, const std::string& token) {
    IncludedPathProblem problem = checkIncludedPath(token);
    if (problem != IncludedPathProblem::None) {
        logError(L"refusing included file %S: %s", token.c_str(), problemText(problem));
        return ExtractionStatus::CannotCreateFile;
    }
    char path[kExtractionPathCapacity];
    if (!composeIncludedFilePath(path, sizeof path, extractionDirectory, token.c_str())) {
        logError(L"included file path too long: %S", token.c_str());
        return ExtractionStatus::CannotCreateFile;
    }
    createFirstLevelDirectory(files, token);
    ExtractionStatus status = extractOneFile(reader, files, path);
    if (status == ExtractionStatus::ReadFailed || status == ExtractionStatus::WriteFailed)
        logError(L"Failed to extract %S", path);
    if (status == ExtractionStatus::Done && token.find_first_of("\\/") == std::string::npos && files.exists(path))
        archivesExtracted.push_back(path);
    return status;
}

bool hasExtension(const std::string& path, const char* extension) {
    size_t length = strlen(extension);
    if (path.size() <= length) return false;
    for (size_t i = 0; i < length; ++i) {
        char c = path[path.size() - length + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != extension[i]) return false;
    }
    return true;
}

// One entry below a held directory. The listing's word and the handle's word are both heard:
// a name that was a directory when listed and a link when opened (or the other way round,
// as Wine reports its links) is a link, and a link is removed itself, never entered.
void removeEntry(ExtractionFileSystem& files, const char* path, bool listedAsLink, bool listedAsDirectory,
                 bool withSubdirectories);

void emptyHeldDirectory(ExtractionFileSystem& files, HeldEntry& directory, const char* path, bool withSubdirectories) {
    for (const DirectoryEntry& entry : directory.entries()) {
        if (entry.name == "." || entry.name == "..") continue;
        char child[kExtractionPathCapacity];
        if (!composeEntryPath(child, sizeof child, path, entry.name.c_str())) {
            logError(L"path too long to delete: %S", entry.name.c_str());
            continue;
        }
        removeEntry(files, child, entry.isLink, entry.isDirectory, withSubdirectories);
    }
}

void removeEntry(ExtractionFileSystem& files, const char* path, bool listedAsLink, bool listedAsDirectory,
                 bool withSubdirectories) {
    std::unique_ptr<HeldEntry> held = files.holdEntry(path);
    if (!held) return;
    EntryKind kind = held->kind();
    if (listedAsLink || kind == EntryKind::Link) {
        logLine(L"removing link %S", path);
    } else if (kind == EntryKind::Directory) {
        logLine(L"attempting to remove %S (%d)", path, withSubdirectories ? 1 : 0);
        // Entered only when it was a directory when listed too, and held while it is
        // emptied, so the paths below it stay inside it.
        if (withSubdirectories && listedAsDirectory) emptyHeldDirectory(files, *held, path, false);
    } else {
        logLine(L"attempting to delete %S", path);
    }
    uint32_t error = 0;
    held->markForDeletion(error);
}

// Removes a whole extraction directory; true when it is gone afterwards.
bool removeDirectoryTree(ExtractionFileSystem& files, const char* path) {
    {
        std::unique_ptr<HeldEntry> directory = files.holdEntry(path);
        if (!directory) return !files.exists(path);
        if (directory->kind() != EntryKind::Directory) {
            logError(L"not removing %S: not a directory", path);
            return false;
        }
        logLine(L"emptying %S", path);
        emptyHeldDirectory(files, *directory, path, true);
        uint32_t error = 0;
        directory->markForDeletion(error);
    }
    return !files.exists(path);
}

// Deletes a held temp file, and with it the mark that made it a lock.
void deleteTempFile(std::unique_ptr<HeldEntry>& held) {
    uint32_t error = 0;
    held->markForDeletion(error);
    held.reset();
}

}  // namespace

std::vector<std::string> includedFileTokens(const std::string& list, int count) {
    if (count <= 0) return {};
    // The list is 8-bit text that ends at its first NUL, as a C string would.
    std::vector<std::string> tokens = splitList(list.c_str(), ';', EmptyPieces::EndList);
    if (tokens.size() > static_cast<size_t>(count)) tokens.resize(static_cast<size_t>(count));
    return tokens;
}

IncludedPathProblem checkIncludedPath(const std::string& path) {
    if (path.empty()) return IncludedPathProblem::OutsideDirectory;
    if (isSeparator(path[0]) || path.find(':') != std::string::npos) return IncludedPathProblem::Absolute;
    size_t start = 0;
    for (;;) {
        size_t end = start;
        while (end < path.size() && !isSeparator(path[end])) ++end;
        IncludedNameProblem name = checkIncludedFileName(path.substr(start, end - start));
        if (name != IncludedNameProblem::None)
            return name == IncludedNameProblem::DeviceName ? IncludedPathProblem::DeviceName
                                                           : IncludedPathProblem::OutsideDirectory;
        if (end == path.size()) return IncludedPathProblem::None;
        start = end + 1;
    }
}

bool composeIncludedFilePath(char* out, size_t capacity, const char* directory, const char* name) {
    return storeWhole(out, capacity, std::string(directory) + "\\" + name);
}

bool composeEntryPath(char* out, size_t capacity, const char* directory, const char* name) {
    std::string path(directory);
    if (path.empty() || path.back() != '\\') path += '\\';
    return storeWhole(out, capacity, path + name);
}

bool composeExtractionDirectoryName(char* out, size_t capacity, const char* tempFile, uint32_t number) {
    return storeWhole(out, capacity, std::string(tempFile) + "_dir" + std::to_string(static_cast<int32_t>(number)));
}

std::string tempFileOfDirectory(const std::string& directoryName) {
    size_t marker = directoryName.rfind("_dir");
    if (marker == std::string::npos || marker == 0) return std::string();
    std::string number = directoryName.substr(marker + 4);
    if (!number.empty() && number[0] == '-') number.erase(0, 1);
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) return std::string();
    return directoryName.substr(0, marker);
}

std::string protectedDirectorySddl(const std::string& userSid) {
    // "P": the DACL is protected, nothing of the temp directory's is inherited. "OICI": files
    // and directories created inside get the same entries. FA: full access.
    return "D:P(A;OICI;FA;;;" + userSid + ")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
}

const std::vector<std::string>& extractedArchives() { return archivesExtracted; }

ExtractionStatus copyFileRange(ByteSource& from, ByteSink& to, int64_t count, bool unscramble) {
    if (count <= 0) return ExtractionStatus::Done;
    uint8_t chunk[kCopyChunkSize];
    int64_t copied = 0;
    while (copied < count) {
        int64_t remaining = count - copied;
        uint32_t wanted = remaining < kCopyChunkSize ? static_cast<uint32_t>(remaining) : kCopyChunkSize;
        uint32_t got = 0;
        uint32_t error = 0;
        bool ok = from.read(chunk, wanted, got, error);
        if (!ok || got == 0) {
            logError(L"ReadFile failed %d %d %I64d", static_cast<int>(got), static_cast<int>(error), copied);
            return ExtractionStatus::ReadFailed;
        }
        if (got > wanted) got = wanted;
        if (unscramble)
            for (uint32_t i = 0; i < got; ++i) chunk[i] ^= kIncludedFileXor;
        if (!writeAll(to, chunk, got)) return ExtractionStatus::WriteFailed;
        copied += got;
    }
    return ExtractionStatus::Done;
}

ExtractionStatus extractOneFile(BlockReader& reader, ExtractionFileSystem& files, const char* path) {
    int64_t size = 0;
    if (!reader.readLong(size)) return ExtractionStatus::RecordHeaderShort;
    logLine(L"extracting %S (size: %I64d)", path, size);
    // An empty included file leaves no file on disk; its record is consumed all the same.
    if (size <= 0) return ExtractionStatus::Done;
    uint32_t error = 0;
    std::unique_ptr<ByteSink> file = files.createFile(path, error);
    if (!file) {
        logError(L"could not create %S (%d)", path, static_cast<int>(error));
        return ExtractionStatus::CannotCreateFile;
    }
    // On a failure the file stays as far as it was written; closing it here (the sink's
    // owner) lets the cleanup at exit delete it.
    return copyFileRange(reader.source(), *file, size, true);
}

ExtractionStatus createExtractionDirectory(ExtractionFileSystem& files) {
    for (int attempt = 0; attempt < kMaxDirectoryAttempts; ++attempt) {
        char tempFile[kExtractionPathCapacity];
        files.makeTempFileName(tempFile, sizeof tempFile);
        // A temp name too long for the suffix stays too long on every attempt.
        if (!composeExtractionDirectoryName(extractionDirectory, sizeof extractionDirectory, tempFile,
                                            files.unpredictableNumber())) {
            logError(L"extraction directory name too long: %S", tempFile);
            break;
        }
        logLine(L"Temp dir3: %S", extractionDirectory);
        // The temp file is held before the directory exists, so no launcher ever sees the
        // directory without its owner's lock.
        std::unique_ptr<HeldEntry> lock = files.claimTempFile(tempFile);
        if (!lock) {
            logLine(L"Could not claim temp file %S", tempFile);
            continue;
        }
        uint32_t error = 0;
        if (files.createDirectory(extractionDirectory, error) == DirectoryCreation::Created) {
            ownerLock = std::move(lock);
            return ExtractionStatus::Done;
        }
        logLine(L"Could not create dir (%d)", static_cast<int>(error));
        deleteTempFile(lock);
    }
    extractionDirectory[0] = 0;
    return ExtractionStatus::NoDirectory;
}

void removeStaleExtractionDirectories(ExtractionFileSystem& files) {
    std::string temp = files.tempDirectory();
    char pattern[kExtractionPathCapacity];
    if (temp.empty() || !composeEntryPath(pattern, sizeof pattern, temp.c_str(), "rvl*_dir*")) return;
    for (const DirectoryEntry& entry : files.listDirectory(pattern)) {
        std::string tempName = tempFileOfDirectory(entry.name);
        if (!entry.isDirectory || entry.isLink || tempName.empty()) continue;
        char directory[kExtractionPathCapacity];
        char tempFile[kExtractionPathCapacity];
        if (!composeEntryPath(directory, sizeof directory, temp.c_str(), entry.name.c_str()) ||
            !composeEntryPath(tempFile, sizeof tempFile, temp.c_str(), tempName.c_str()))
            continue;
        std::unique_ptr<HeldEntry> lock;
        if (files.ownerOf(tempFile, lock) != OwnerState::Ended || !lock) continue;
        logLine(L"removing the extraction directory of an ended launcher: %S", directory);
        if (removeDirectoryTree(files, directory)) deleteTempFile(lock);
    }
}

ExtractionStatus extractIncludedFiles(ExtractionFileSystem& files, bool createDirectory, uint64_t recordsPosition) {
    logLine(L"extracting files");
    archivesExtracted.clear();
    int count = getSettingInt(SettingId::IncludedFileCount);
    logLine(L"Included files: %d", count);
    if (count == 0) {
        if (createDirectory) extractionDirectory[0] = 0;
        return ExtractionStatus::Done;
    }
    if (createDirectory) {
        removeStaleExtractionDirectories(files);
        ExtractionStatus status = createExtractionDirectory(files);
        if (status != ExtractionStatus::Done) return status;
    }
    std::vector<std::string> tokens = includedFileTokens(getSettingCopy(SettingId::IncludedFilePaths), count);
    // Without a directory every name would be composed against the root of the drive.
    if (!tokens.empty() && extractionDirectory[0] == 0) {
        logError(L"no extraction directory for the included files");
        return ExtractionStatus::CannotCreateFile;
    }

    std::unique_ptr<ByteSource> launcher = files.openLauncherFile();
    BlockReader reader(*launcher);
    reader.seek(recordsPosition);
    for (const std::string& token : tokens) {
        ExtractionStatus status = extractToken(reader, files, token);
        if (status != ExtractionStatus::Done) return status;
    }
    unextractedPosition = static_cast<int32_t>(launcher->position());
    // Jars first, then zips, as the class path has always taken them.
    std::stable_partition(archivesExtracted.begin(), archivesExtracted.end(),
                          [](const std::string& path) { return hasExtension(path, ".jar"); });
    archivesExtracted.erase(std::remove_if(archivesExtracted.begin(), archivesExtracted.end(),
                                           [](const std::string& path) {
                                               return !hasExtension(path, ".jar") && !hasExtension(path, ".zip");
                                           }),
                            archivesExtracted.end());
    logLine(L"extracting files done");
    return ExtractionStatus::Done;
}

void emptyDirectory(ExtractionFileSystem& files, const char* path, bool withSubdirectories) {
    // A relative path here would delete inside whatever the working directory happens to be.
    if (path == nullptr || path[0] == 0 || path[0] == '.') return;
    std::unique_ptr<HeldEntry> directory = files.holdEntry(path);
    if (!directory || directory->kind() != EntryKind::Directory) return;
    logLine(L"emptying %S", path);
    emptyHeldDirectory(files, *directory, path, withSubdirectories);
}

void removeExtractionDirectory(ExtractionFileSystem& files) {
    if (extractionDirectory[0] == 0) return;
    bool gone = removeDirectoryTree(files, extractionDirectory);
    extractionDirectory[0] = 0;
    archivesExtracted.clear();
    if (gone && ownerLock) deleteTempFile(ownerLock);
}
