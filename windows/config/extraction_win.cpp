// The Win32 side of extraction: real files for the portable rules, and the fatal messages
// for the outcomes that end the run.

#include "config/extraction_rules.h"

#include "config/block_reader.h"
#include "config/launcher_file.h"
#include "config/read_config.h"
#include "core/fatal.h"
#include "core/handles.h"
#include "core/log.h"
#include "core/text_helpers.h"
#include "paths/path_helpers.h"
#include "paths/temp_directory.h"

#include <ntsecapi.h>
#include <sddl.h>

#include <optional>
#include <vector>

#include <cstdlib>
#include <cstring>

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

// An entry opened as HeldEntry describes: DELETE access for the removal through the handle,
// no FILE_SHARE_DELETE so that nobody renames or deletes it meanwhile, and
// FILE_FLAG_OPEN_REPARSE_POINT so that a link is opened itself rather than what it points to.
class WindowsHeldEntry : public HeldEntry {
public:
    WindowsHeldEntry(FileHandle file, EntryKind kind) : file_(std::move(file)), kind_(kind) {}

    EntryKind kind() const override { return kind_; }

    // Read through the handle, so the listing is of the directory held, whatever its path
    // names by now.
    std::vector<DirectoryEntry> entries() override {
        std::vector<DirectoryEntry> found;
        if (kind_ != EntryKind::Directory) return found;
        alignas(8) unsigned char buffer[16 * 1024];
        FILE_INFO_BY_HANDLE_CLASS request = FileIdBothDirectoryRestartInfo;
        while (GetFileInformationByHandleEx(file_.get(), request, buffer, sizeof buffer)) {
            request = FileIdBothDirectoryInfo;
            size_t offset = 0;
            for (;;) {
                auto* information = reinterpret_cast<FILE_ID_BOTH_DIR_INFO*>(buffer + offset);
                std::wstring name(information->FileName, information->FileNameLength / sizeof(wchar_t));
                bool lossy = false;
                DirectoryEntry entry;
                entry.name = toMultiByte(name.c_str(), lossy);
                entry.isDirectory = (information->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
                entry.isLink = (information->FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
                // A name the 8-bit path cannot hold would name some other entry.
                if (!lossy) found.push_back(entry);
                if (information->NextEntryOffset == 0) break;
                offset += information->NextEntryOffset;
            }
        }
        return found;
    }

    bool markForDeletion(uint32_t& error) override {
        FILE_DISPOSITION_INFO disposition = {TRUE};
        if (SetFileInformationByHandle(file_.get(), FileDispositionInfo, &disposition, sizeof disposition)) return true;
        error = GetLastError();
        return false;
    }

    HANDLE handle() const { return file_.get(); }

private:
    FileHandle file_;
    EntryKind kind_;
};

// What the handle, not the name, says the entry is. Only the attributes are asked for:
// GetFileInformationByHandle would also ask the volume for its serial number, which nothing
// here needs (and which the 32-bit Wine under emulation sometimes does not survive).
std::optional<EntryKind> kindOnHandle(HANDLE file) {
    FILE_BASIC_INFO information;
    if (!GetFileInformationByHandleEx(file, FileBasicInfo, &information, sizeof information)) return std::nullopt;
    if (information.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return EntryKind::Link;
    return (information.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? EntryKind::Directory : EntryKind::File;
}

std::unique_ptr<WindowsHeldEntry> openHeld(const char* path, DWORD access, DWORD share) {
    FileHandle file(CreateFileA(path, access, share, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.valid()) return nullptr;
    std::optional<EntryKind> kind = kindOnHandle(file.get());
    if (!kind) return nullptr;
    return std::make_unique<WindowsHeldEntry>(std::move(file), *kind);
}

// The temp file a launcher holds is taken without any sharing: a second open of it fails with
// a sharing violation for as long as its owner runs.
constexpr DWORD kLockAccess = GENERIC_READ | GENERIC_WRITE | DELETE;

// The string form of this process's user, for the directory's access list; empty when the
// token cannot tell (the directory is then not created).
std::string currentUserSid() {
    FileHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return std::string();
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size == 0) return std::string();
    std::vector<unsigned char> buffer(size);
    if (!GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return std::string();
    char* text = nullptr;
    if (!ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) return std::string();
    std::string sid = text;
    LocalFree(text);
    return sid;
}

// Built once; null when it cannot be built, and then every creation fails rather than making a
// directory that the temp directory's users could write to.
PSECURITY_DESCRIPTOR protectedDescriptor(uint32_t& error) {
    static PSECURITY_DESCRIPTOR descriptor = nullptr;
    static DWORD buildError = 0;
    if (descriptor == nullptr && buildError == 0) {
        std::string sid = currentUserSid();
        if (sid.empty()) {
            buildError = GetLastError() != 0 ? GetLastError() : ERROR_INVALID_SID;
        } else if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(protectedDirectorySddl(sid).c_str(),
                                                                         SDDL_REVISION_1, &descriptor, nullptr)) {
            buildError = GetLastError();
            descriptor = nullptr;
        }
        if (buildError != 0)
            logError(L"could not build the extraction directory's access list (%d)", static_cast<int>(buildError));
    }
    error = buildError;
    return descriptor;
}

class WindowsExtractionFiles : public ExtractionFileSystem {
public:
    void makeTempFileName(char* out, size_t size) override { ::makeTempFileName(out, size); }

    std::string tempDirectory() override {
        char buffer[kExtractionPathCapacity];
        getTempDirectory(buffer, sizeof buffer);
        return buffer;
    }

    uint32_t unpredictableNumber() override {
        uint32_t number = 0;
        if (RtlGenRandom(&number, sizeof number)) return number;
        // Without the system's generator: still different for every process and moment.
        LARGE_INTEGER counter;
        QueryPerformanceCounter(&counter);
        return static_cast<uint32_t>(counter.QuadPart) ^ (GetCurrentProcessId() << 16) ^ GetTickCount();
    }

    DirectoryCreation createDirectory(const char* path, uint32_t& error) override {
        PSECURITY_DESCRIPTOR descriptor = protectedDescriptor(error);
        if (descriptor == nullptr) return DirectoryCreation::Failed;
        SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
        if (CreateDirectoryA(path, &attributes)) return DirectoryCreation::Created;
        error = GetLastError();
        return error == ERROR_ALREADY_EXISTS ? DirectoryCreation::AlreadyExists : DirectoryCreation::Failed;
    }

    std::unique_ptr<ByteSource> openLauncherFile() override {
        return std::make_unique<LauncherFileSource>(::openLauncherFile());
    }

    std::unique_ptr<ByteSink> createFile(const char* path, uint32_t& error) override {
        FileHandle file(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
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

    std::unique_ptr<HeldEntry> holdEntry(const char* path) override {
        return openHeld(path, DELETE | FILE_READ_ATTRIBUTES | FILE_LIST_DIRECTORY | SYNCHRONIZE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE);
    }

    std::unique_ptr<HeldEntry> claimTempFile(const char* path) override {
        std::unique_ptr<WindowsHeldEntry> lock = openHeld(path, kLockAccess, 0);
        if (!lock || lock->kind() != EntryKind::File) return nullptr;
        // The process id after the mark only tells a reader whose lock it is.
        std::wstring id = decimalText(GetCurrentProcessId());
        std::string mark = std::string(kOwnerMark) + " " + std::string(id.begin(), id.end()) + "\r\n";
        DWORD written = 0;
        if (!WriteFile(lock->handle(), mark.data(), static_cast<DWORD>(mark.size()), &written, nullptr) ||
            written != mark.size())
            return nullptr;
        return lock;
    }

    OwnerState ownerOf(const char* path, std::unique_ptr<HeldEntry>& held) override {
        std::unique_ptr<WindowsHeldEntry> lock = openHeld(path, kLockAccess, 0);
        if (!lock) return GetLastError() == ERROR_SHARING_VIOLATION ? OwnerState::Running : OwnerState::Unknown;
        if (lock->kind() != EntryKind::File) return OwnerState::Unknown;
        char text[64] = {};
        size_t wanted = strlen(kOwnerMark);
        DWORD read = 0;
        if (!ReadFile(lock->handle(), text, static_cast<DWORD>(wanted), &read, nullptr) || read != wanted ||
            memcmp(text, kOwnerMark, wanted) != 0)
            return OwnerState::Unknown;
        held = std::move(lock);
        return OwnerState::Ended;
    }

    bool exists(const char* path) override { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }
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
