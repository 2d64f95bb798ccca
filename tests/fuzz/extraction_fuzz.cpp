// Extraction of included files against an in-memory file system: the names (settings 2002
// and 2003) and the records come from the input. Whatever they hold, every file and
// directory extraction creates lies inside the extraction directory, under a name Windows
// would not resolve elsewhere (no "..", no drive or stream, no device name).
#include "config/config_store.h"
#include "config/block_format.h"
#include "config/block_reader.h"
#include "config/extraction.h"
#include "config/extraction_rules.h"
#include "config/included_file_name.h"
#include "support/log_capture.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

const char kTempFile[] = "C:\\T\\rvl1.tmp";

class NullSink : public ByteSink {
public:
    bool write(const void*, uint32_t count, uint32_t& written, uint32_t&) override {
        written = count;
        return true;
    }
};

// A held entry that is gone once it is closed; nothing here needs more of it.
class MemoryEntry : public HeldEntry {
public:
    explicit MemoryEntry(EntryKind kind) : kind_(kind) {}
    EntryKind kind() const override { return kind_; }
    std::vector<DirectoryEntry> entries() override { return {}; }
    bool markForDeletion(uint32_t&) override { return true; }

private:
    EntryKind kind_;
};

class MemoryExtraction : public ExtractionFileSystem {
public:
    explicit MemoryExtraction(const std::vector<uint8_t>& launcher) : launcher_(launcher) {}
    std::vector<std::string> created;  // files and directories below the extraction directory

    void makeTempFileName(char* out, size_t size) override { snprintf(out, size, "%s", kTempFile); }
    std::string tempDirectory() override { return "C:\\T"; }
    uint32_t unpredictableNumber() override { return 12345; }
    DirectoryCreation createDirectory(const char* path, uint32_t&) override {
        if (std::string(path) != extractionDirectory) created.push_back(path);
        return DirectoryCreation::Created;
    }
    std::unique_ptr<ByteSource> openLauncherFile() override {
        return std::make_unique<MemorySource>(launcher_.data(), launcher_.size());
    }
    std::unique_ptr<ByteSink> createFile(const char* path, uint32_t&) override {
        created.push_back(path);
        return std::make_unique<NullSink>();
    }
    std::vector<DirectoryEntry> listDirectory(const char*) override { return {}; }
    std::unique_ptr<HeldEntry> holdEntry(const char*) override {
        return std::make_unique<MemoryEntry>(EntryKind::Directory);
    }
    std::unique_ptr<HeldEntry> claimTempFile(const char*) override {
        return std::make_unique<MemoryEntry>(EntryKind::File);
    }
    OwnerState ownerOf(const char*, std::unique_ptr<HeldEntry>&) override { return OwnerState::Unknown; }
    bool exists(const char*) override { return false; }

private:
    const std::vector<uint8_t>& launcher_;
};

bool staysInside(const std::string& path, const std::string& directory) {
    if (path.compare(0, directory.size() + 1, directory + "\\") != 0) return false;
    std::string rest = path.substr(directory.size() + 1);
    if (rest.find(':') != std::string::npos) return false;
    size_t start = 0;
    for (;;) {
        size_t end = rest.find_first_of("\\/", start);
        std::string component = rest.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (checkIncludedFileName(component) != IncludedNameProblem::None) return false;
        if (end == std::string::npos) return true;
        start = end + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    clearCapturedLog();
    if (size < 1) return 0;
    // The first byte is the count; the names run to the first 0xFF; the rest are records.
    const uint8_t* end = static_cast<const uint8_t*>(memchr(data + 1, 0xFF, size - 1));
    size_t namesEnd = end == nullptr ? size : static_cast<size_t>(end - data);
    std::string names(reinterpret_cast<const char*>(data + 1), namesEnd - 1);
    std::vector<uint8_t> launcher(data + std::min(size, namesEnd + 1), data + size);

    configStore = ConfigStore();
    configStore.settings[kSettingIncludedFileCount] = std::to_string(static_cast<int8_t>(data[0]));
    configStore.settings[kSettingIncludedFilePaths] = names;
    MemoryExtraction files(launcher);
    extractIncludedFiles(files, true, 0);
    for (const std::string& path : files.created)
        if (!staysInside(path, extractionDirectory)) __builtin_trap();
    removeExtractionDirectory(files);  // the next input starts without a directory
    return 0;
}
