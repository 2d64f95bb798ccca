#include "config/read_config.h"

#include "config/block_reader.h"
#include "config/config_store.h"
#include "config/user_locale.h"
#include "core/fatal.h"
#include "core/handles.h"
#include "core/log.h"
#include "core/presentation.h"
#include "paths/launcher_path.h"

uint64_t includedFilesPosition = 0;

namespace {

// The launcher's own file, read through a Win32 handle.
class FileSource : public ByteSource {
public:
    explicit FileSource(HANDLE file) : file_(file) {
        LARGE_INTEGER size;
        size_ = GetFileSizeEx(file_, &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
    }

    bool read(void* buffer, uint32_t count, uint32_t& got, uint32_t& error) override {
        DWORD read = 0;
        BOOL ok = ReadFile(file_, buffer, count, &read, nullptr);
        error = ok ? 0 : GetLastError();
        got = read;
        position_ += read;
        return ok != FALSE;
    }

    // Offsets beyond the end of the file are refused, so that a damaged header value ends
    // in a short read instead of reading from wherever the pointer stood before.
    bool seek(uint64_t offset) override {
        if (offset > size_) return false;
        LARGE_INTEGER distance;
        distance.QuadPart = static_cast<LONGLONG>(offset);
        if (!SetFilePointerEx(file_, distance, nullptr, FILE_BEGIN)) return false;
        position_ = offset;
        return true;
    }

    uint64_t position() const override { return position_; }
    uint64_t size() const override { return size_; }

private:
    HANDLE file_;
    uint64_t size_ = 0;
    uint64_t position_ = 0;
};

}  // namespace

FileHandle openLauncherFile() {
    const wchar_t* path = getLauncherPathWide();
    FileHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        DWORD error = GetLastError();
        logError(L"Could not open %p %d %s", file.get(), static_cast<int>(error), path);
        failWithText(L"Error opening media file.");
    }
    return file;
}

void failOnBlockError(BlockError error) {
    if (error != BlockError::None) failWithText(blockErrorText(error));
}

void readConfiguration() {
    FileHandle file = openLauncherFile();
    FileSource source(file.get());
    BlockReader reader(source);
    locateDataBlock(reader);
    failOnBlockError(reader.error());

    BlockContents contents;
    failOnBlockError(parseConfigBlock(reader, configStore, chooseUserLocale, contents));
    includedFilesPosition = contents.includedFilesPosition;
    file.reset();

    int kind = getSettingInt(107);
    if (kind != 1 && kind != 5) consolePresentation = true;
}
