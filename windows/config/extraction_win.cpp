// The Win32 side of extraction: real files for the portable rules, and the fatal messages
// for the outcomes that end the run.

#include "config/extraction_rules.h"

#include "config/block_reader.h"
#include "config/launcher_file.h"
#include "config/read_config.h"
#include "core/fatal.h"
#include "core/handles.h"
#include "paths/temp_directory.h"

#include <ctime>

namespace {

// An extracted file; closed when the sink goes, on success and failure alike.
class FileSink : public ByteSink {
public:
    explicit FileSink(FileHandle file) : file_(std::move(file)) {}

    bool write(const void* buffer, uint32_t count, uint32_t& written, uint32_t& error) override {
        DWORD done = 0;
        BOOL ok = WriteFile(file_.get(), buffer, count, &done, nullptr);
        error = ok ? 0 : GetLastError();
        written = done;
        return ok != FALSE;
    }

private:
    FileHandle file_;
};

class WindowsExtractionFiles : public ExtractionFileSystem {
public:
    void makeTempFileName(char* out, size_t size) override { ::makeTempFileName(out, size); }

    uint32_t currentSeconds() override { return static_cast<uint32_t>(time(nullptr)); }

    DirectoryCreation createDirectory(const char* path, uint32_t& error) override {
        if (CreateDirectoryA(path, nullptr)) return DirectoryCreation::Created;
        error = GetLastError();
        return error == ERROR_ALREADY_EXISTS ? DirectoryCreation::AlreadyExists : DirectoryCreation::Failed;
    }

    std::unique_ptr<ByteSource> openLauncherFile() override {
        return std::make_unique<LauncherFileSource>(::openLauncherFile());
    }

    std::unique_ptr<ByteSink> createFile(const char* path, uint32_t& error) override {
        FileHandle file(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid()) {
            error = GetLastError();
            return nullptr;
        }
        return std::make_unique<FileSink>(std::move(file));
    }

    std::vector<DirectoryEntry> listDirectory(const char* pattern) override {
        std::vector<DirectoryEntry> entries;
        WIN32_FIND_DATAA data;
        FindHandle find(FindFirstFileA(pattern, &data));
        if (!find.valid()) return entries;
        do {
            DirectoryEntry entry;
            entry.name = data.cFileName;
            entry.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            entry.isLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
            entries.push_back(entry);
        } while (FindNextFileA(find.get(), &data));
        return entries;
    }

    void removeDirectory(const char* path) override { RemoveDirectoryA(path); }

    void deleteFile(const char* path) override { DeleteFileA(path); }
};

}  // namespace

int extractIncludedFiles(bool createDirectory) {
    WindowsExtractionFiles files;
    switch (extractIncludedFiles(files, createDirectory, includedFilesPosition)) {
    case ExtractionStatus::Done:
        return 0;
    case ExtractionStatus::ReadFailed:
        return 1;
    case ExtractionStatus::WriteFailed:
        return 2;
    case ExtractionStatus::NoDirectory:
        failWithMessage(MessageId::ExtractionFailed, "7");
    case ExtractionStatus::CannotCreateFile:
        failWithMessage(MessageId::ExtractionFailed, "11");
    case ExtractionStatus::RecordHeaderShort:
        failOnBlockError(BlockError::ReadLong);
    }
    return 1;
}

void emptyDirectory(const char* path, bool withSubdirectories) {
    WindowsExtractionFiles files;
    emptyDirectory(files, path, withSubdirectories);
}

void removeExtractionDirectory() {
    WindowsExtractionFiles files;
    removeExtractionDirectory(files);
}
