#include "config/extraction_rules.h"

#include "config/block_format.h"
#include "config/block_reader.h"
#include "config/config_store.h"
#include "support/log_capture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <set>

namespace {

using Bytes = std::vector<uint8_t>;
using Names = std::vector<std::string>;

// ---------------------------------------------------------------------------------------
// Memory stand-ins for the file system and the launcher file.

// Records how much each read asked for, and can fail or dry up after a given offset.
class RecordingSource : public ByteSource {
public:
    explicit RecordingSource(Bytes data) : data_(std::move(data)) {}
    bool read(void* buffer, uint32_t count, uint32_t& got, uint32_t& error) override {
        requests.push_back(count);
        if (failWithError != 0) {
            got = 0;
            error = failWithError;
            return false;
        }
        uint64_t available = position_ < data_.size() ? data_.size() - position_ : 0;
        got = static_cast<uint32_t>(std::min<uint64_t>(available, std::min(count, maxPerRead)));
        error = 0;
        if (got > 0) memcpy(buffer, data_.data() + position_, got);
        position_ += got;
        return true;
    }
    bool seek(uint64_t offset) override {
        if (offset > data_.size()) return false;
        position_ = offset;
        return true;
    }
    uint64_t position() const override { return position_; }
    uint64_t size() const override { return data_.size(); }

    std::vector<uint32_t> requests;
    uint32_t maxPerRead = UINT32_MAX;
    uint32_t failWithError = 0;

private:
    Bytes data_;
    uint64_t position_ = 0;
};

class MemorySink : public ByteSink {
public:
    explicit MemorySink(Bytes& target) : target_(target) {}
    bool write(const void* buffer, uint32_t count, uint32_t& written, uint32_t& error) override {
        calls.push_back(count);
        if (failAfterCalls >= 0 && static_cast<int>(calls.size()) > failAfterCalls) {
            written = 0;
            error = 112;
            return false;
        }
        written = std::min(count, maxPerWrite);
        error = 0;
        const uint8_t* bytes = static_cast<const uint8_t*>(buffer);
        target_.insert(target_.end(), bytes, bytes + written);
        return true;
    }
    std::vector<uint32_t> calls;
    uint32_t maxPerWrite = UINT32_MAX;
    int failAfterCalls = -1;

private:
    Bytes& target_;
};

// What the held entries of a MemoryFiles did; shared, since the extraction rules keep this
// run's temp file beyond the file system object of one test.
struct Journal {
    Names marked;                  // entries marked for deletion, in order
    Names listed;                  // held directories whose entries were read
    std::set<std::string> refuse;  // entries whose deletion the system refuses
};

class MemoryEntry : public HeldEntry {
public:
    MemoryEntry(std::shared_ptr<Journal> journal, std::string path, EntryKind kind,
                std::vector<DirectoryEntry> listing = {})
        : journal_(std::move(journal)), path_(std::move(path)), kind_(kind), listing_(std::move(listing)) {}
    EntryKind kind() const override { return kind_; }
    std::vector<DirectoryEntry> entries() override {
        journal_->listed.push_back(path_);
        return kind_ == EntryKind::Directory ? listing_ : std::vector<DirectoryEntry>();
    }
    bool markForDeletion(uint32_t& error) override {
        if (journal_->refuse.count(path_) != 0) {
            error = 145;
            return false;
        }
        journal_->marked.push_back(path_);
        return true;
    }

private:
    std::shared_ptr<Journal> journal_;
    std::string path_;
    EntryKind kind_;
    std::vector<DirectoryEntry> listing_;
};

class MemoryFiles : public ExtractionFileSystem {
public:
    void makeTempFileName(char* out, size_t size) override {
        std::string name = tempPrefix + std::to_string(++tempNames) + ".tmp";
        ASSERT_LT(name.size(), size);
        strcpy(out, name.c_str());
    }
    std::string tempDirectory() override { return "C:\\T"; }
    uint32_t unpredictableNumber() override { return number; }
    DirectoryCreation createDirectory(const char* path, uint32_t& error) override {
        directoryAttempts.push_back(path);
        if (failDirectories > 0) {
            --failDirectories;
            error = 5;
            return DirectoryCreation::Failed;
        }
        if (!directories.insert(path).second) {
            error = 183;
            return DirectoryCreation::AlreadyExists;
        }
        return DirectoryCreation::Created;
    }
    std::unique_ptr<ByteSource> openLauncherFile() override {
        auto source = std::make_unique<RecordingSource>(launcher);
        lastSource = source.get();
        return source;
    }
    std::unique_ptr<ByteSink> createFile(const char* path, uint32_t& error) override {
        if (unwritable.count(path) != 0) {
            error = 5;
            return nullptr;
        }
        Bytes& target = files[path];
        target.clear();
        return std::make_unique<MemorySink>(target);
    }
    std::vector<DirectoryEntry> listDirectory(const char* pattern) override {
        patterns.push_back(pattern);
        auto it = listings.find(pattern);
        return it == listings.end() ? std::vector<DirectoryEntry>() : it->second;
    }
    // What the handle says: `kinds` first (an entry replaced since it was listed), then the
    // directories and files the test made; nothing there, no entry.
    std::unique_ptr<HeldEntry> holdEntry(const char* path) override {
        std::optional<EntryKind> kind;
        if (kinds.count(path) != 0)
            kind = kinds[path];
        else if (directories.count(path) != 0)
            kind = EntryKind::Directory;
        else if (files.count(path) != 0)
            kind = EntryKind::File;
        if (!kind || gone(path)) return nullptr;
        auto listing = listings.find(path);
        return std::make_unique<MemoryEntry>(
            journal, path, *kind, listing == listings.end() ? std::vector<DirectoryEntry>() : listing->second);
    }
    std::unique_ptr<HeldEntry> claimTempFile(const char* path) override {
        claims.push_back(path);
        if (unclaimable.count(path) != 0) return nullptr;
        return std::make_unique<MemoryEntry>(journal, path, EntryKind::File);
    }
    OwnerState ownerOf(const char* path, std::unique_ptr<HeldEntry>& held) override {
        auto it = owners.find(path);
        OwnerState state = it == owners.end() ? OwnerState::Unknown : it->second;
        if (state == OwnerState::Ended) held = std::make_unique<MemoryEntry>(journal, path, EntryKind::File);
        return state;
    }
    bool exists(const char* path) override {
        return (directories.count(path) != 0 || files.count(path) != 0 || kinds.count(path) != 0) && !gone(path);
    }
    bool gone(const std::string& path) const {
        return std::find(journal->marked.begin(), journal->marked.end(), path) != journal->marked.end();
    }

    std::string tempPrefix = "C:\\T\\rvl";
    int tempNames = 0;
    uint32_t number = 1700000000;
    int failDirectories = 0;
    Bytes launcher;
    RecordingSource* lastSource = nullptr;
    std::set<std::string> directories;
    Names directoryAttempts;
    std::map<std::string, Bytes> files;
    std::set<std::string> unwritable;
    std::map<std::string, std::vector<DirectoryEntry>> listings;
    std::map<std::string, EntryKind> kinds;
    std::map<std::string, OwnerState> owners;
    std::set<std::string> unclaimable;
    Names claims;
    Names patterns;
    std::shared_ptr<Journal> journal = std::make_shared<Journal>();
};

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes patterned(size_t size) {
    Bytes data(size);
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(i * 7 + 3);
    return data;
}

Bytes scrambled(const Bytes& plain) {
    Bytes data = plain;
    for (uint8_t& b : data) b ^= kIncludedFileXor;
    return data;
}

// An included-file record as the packer writes it: 64-bit size, then the scrambled bytes.
void appendRecord(Bytes& out, const Bytes& content, int64_t declaredSize) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(static_cast<uint64_t>(declaredSize) >> (8 * i)));
    Bytes data = scrambled(content);
    out.insert(out.end(), data.begin(), data.end());
}

// ---------------------------------------------------------------------------------------

TEST(IncludedFileTokens, CountSmallerThanTheListTakesOnlyTheFirstEntries) {
    EXPECT_EQ(includedFileTokens("a;b;c", 2), (Names{"a", "b"}));
    EXPECT_EQ(includedFileTokens("a;b;c", 1), (Names{"a"}));
}

TEST(IncludedFileTokens, CountLargerThanTheListTakesEveryEntry) {
    EXPECT_EQ(includedFileTokens("a;b;c", 3), (Names{"a", "b", "c"}));
    EXPECT_EQ(includedFileTokens("lib\\a.jar;x", 10), (Names{"lib\\a.jar", "x"}));
}

TEST(IncludedFileTokens, AnEmptyEntryStopsTheList) {
    EXPECT_EQ(includedFileTokens("a;;b", 5), (Names{"a"}));
    EXPECT_EQ(includedFileTokens(";a", 5), Names{});
    EXPECT_EQ(includedFileTokens("a;b;", 5), (Names{"a", "b"}));
    EXPECT_EQ(includedFileTokens("", 5), Names{});
}

TEST(IncludedFileTokens, NoCountOrANulEndsTheList) {
    EXPECT_EQ(includedFileTokens("a;b", 0), Names{});
    EXPECT_EQ(includedFileTokens("a;b", -3), Names{});
    EXPECT_EQ(includedFileTokens(std::string("a;b\0;c", 6), 5), (Names{"a", "b"}));
}

TEST(IncludedPath, AbsoluteNamesAreRefused) {
    for (const char* path : {"C:\\evil.txt", "c:evil.txt", "\\evil.txt", "/evil.txt", "\\\\server\\share\\x",
                             "\\\\?\\C:\\x", "lib\\a.jar:stream"})
        EXPECT_EQ(checkIncludedPath(path), IncludedPathProblem::Absolute) << path;
}

TEST(IncludedPath, NamesClimbingOutOrNamingTheDirectoryAreRefused) {
    for (const char* path : {"..\\evil.txt", "lib\\..\\..\\evil.txt", "lib/../../evil.txt", "..", "lib\\..", ".",
                             ".\\..\\x", "...\\x", "lib\\.. \\x", " \\x", ""})
        EXPECT_EQ(checkIncludedPath(path), IncludedPathProblem::OutsideDirectory) << '"' << path << '"';
}

TEST(IncludedPath, NamesInsideTheDirectoryAreAccepted) {
    for (const char* path : {"a.jar", "lib\\a.jar", "lib/a.jar", "..a.jar", "a..b", ".hidden", "lib\\.config\\x",
                             "deep\\er\\file", "name with spaces.txt"})
        EXPECT_EQ(checkIncludedPath(path), IncludedPathProblem::None) << path;
}

TEST(ComposedPaths, APathThatDoesNotFitIsRefusedWhole) {
    char out[16];
    EXPECT_TRUE(composeIncludedFilePath(out, sizeof out, "C:\\dir", "a.jar"));
    EXPECT_STREQ(out, "C:\\dir\\a.jar");
    EXPECT_TRUE(composeIncludedFilePath(out, sizeof out, "C:\\dir", "abcdefgh"));  // 15 characters
    EXPECT_FALSE(composeIncludedFilePath(out, sizeof out, "C:\\dir", "abcdefghi"));
    EXPECT_STREQ(out, "");

    std::string longDirectory(kExtractionPathCapacity - 3, 'd');
    char path[kExtractionPathCapacity];
    EXPECT_TRUE(composeIncludedFilePath(path, sizeof path, longDirectory.c_str(), "a"));
    EXPECT_FALSE(composeIncludedFilePath(path, sizeof path, longDirectory.c_str(), "ab"));
}

TEST(ComposedPaths, EntryPathsAddABackslashOnlyWhenMissing) {
    char out[32];
    EXPECT_TRUE(composeEntryPath(out, sizeof out, "C:\\dir", "*.*"));
    EXPECT_STREQ(out, "C:\\dir\\*.*");
    EXPECT_TRUE(composeEntryPath(out, sizeof out, "C:\\dir\\", "*.*"));
    EXPECT_STREQ(out, "C:\\dir\\*.*");
    EXPECT_FALSE(composeEntryPath(out, 10, "C:\\dir", "*.*"));
    EXPECT_STREQ(out, "");
}

TEST(ComposedPaths, ExtractionDirectoryNameCarriesTheSecondsAsSigned32Bits) {
    char out[64];
    EXPECT_TRUE(composeExtractionDirectoryName(out, sizeof out, "C:\\T\\rvl1A.tmp", 1700000000u));
    EXPECT_STREQ(out, "C:\\T\\rvl1A.tmp_dir1700000000");
    EXPECT_TRUE(composeExtractionDirectoryName(out, sizeof out, "t", 0x80000000u));
    EXPECT_STREQ(out, "t_dir-2147483648");
    EXPECT_FALSE(composeExtractionDirectoryName(out, 10, "t", 123456));
}

// ---------------------------------------------------------------------------------------

class CopyFileRange : public ::testing::Test {
protected:
    void SetUp() override { clearCapturedLog(); }
    Bytes written;
};

TEST_F(CopyFileRange, CopiesInChunksOf6000AndUnscrambles) {
    Bytes plain = patterned(6001);
    RecordingSource source(scrambled(plain));
    MemorySink sink(written);
    EXPECT_EQ(copyFileRange(source, sink, 6001, true), ExtractionStatus::Done);
    EXPECT_EQ(source.requests, (std::vector<uint32_t>{6000, 1}));
    EXPECT_EQ(sink.calls, (std::vector<uint32_t>{6000, 1}));
    EXPECT_EQ(written, plain);
}

TEST_F(CopyFileRange, WithoutUnscramblingCopiesTheBytesAsTheyAre) {
    Bytes data = patterned(100);
    RecordingSource source(data);
    MemorySink sink(written);
    EXPECT_EQ(copyFileRange(source, sink, 60, false), ExtractionStatus::Done);
    EXPECT_EQ(written, Bytes(data.begin(), data.begin() + 60));
    EXPECT_EQ(source.position(), 60u);
}

TEST_F(CopyFileRange, NothingToCopyReadsNothing) {
    RecordingSource source(patterned(10));
    MemorySink sink(written);
    EXPECT_EQ(copyFileRange(source, sink, 0, true), ExtractionStatus::Done);
    EXPECT_EQ(copyFileRange(source, sink, -5, true), ExtractionStatus::Done);
    EXPECT_TRUE(source.requests.empty());
    EXPECT_TRUE(written.empty());
}

TEST_F(CopyFileRange, ShortReadsContinueUntilTheCountIsCopied) {
    Bytes plain = patterned(7000);
    RecordingSource source(scrambled(plain));
    source.maxPerRead = 2500;
    MemorySink sink(written);
    EXPECT_EQ(copyFileRange(source, sink, 7000, true), ExtractionStatus::Done);
    EXPECT_EQ(source.requests, (std::vector<uint32_t>{6000, 4500, 2000}));
    EXPECT_EQ(written, plain);
}

TEST_F(CopyFileRange, PartialWritesAreRepeatedForTheRest) {
    Bytes plain = patterned(6001);
    RecordingSource source(scrambled(plain));
    MemorySink sink(written);
    sink.maxPerWrite = 2500;
    EXPECT_EQ(copyFileRange(source, sink, 6001, true), ExtractionStatus::Done);
    EXPECT_EQ(sink.calls, (std::vector<uint32_t>{6000, 3500, 1000, 1}));
    EXPECT_EQ(written, plain);
}

TEST_F(CopyFileRange, DataEndingEarlyIsAReadFailure) {
    RecordingSource source(scrambled(patterned(6000)));
    MemorySink sink(written);
    EXPECT_EQ(copyFileRange(source, sink, 6001, true), ExtractionStatus::ReadFailed);
    EXPECT_EQ(written.size(), 6000u);
    EXPECT_TRUE(logContains(L"ERROR: ReadFile failed 0 0 6000"));
}

TEST_F(CopyFileRange, AReadErrorIsAReadFailure) {
    RecordingSource source(patterned(10));
    source.failWithError = 23;
    MemorySink sink(written);
    EXPECT_EQ(copyFileRange(source, sink, 10, true), ExtractionStatus::ReadFailed);
    EXPECT_TRUE(logContains(L"ERROR: ReadFile failed 0 23 0"));
}

TEST_F(CopyFileRange, AWriteErrorIsAWriteFailureNamingWhatWasLeft) {
    RecordingSource source(patterned(6001));
    MemorySink sink(written);
    sink.maxPerWrite = 2500;
    sink.failAfterCalls = 1;
    EXPECT_EQ(copyFileRange(source, sink, 6001, true), ExtractionStatus::WriteFailed);
    EXPECT_TRUE(logContains(L"ERROR: WriteFile failed 3500 112"));
}

// A sink that reports success without taking a byte would otherwise be called forever.
TEST_F(CopyFileRange, AWriteThatMakesNoProgressIsAWriteFailure) {
    RecordingSource source(patterned(10));
    MemorySink sink(written);
    sink.maxPerWrite = 0;
    EXPECT_EQ(copyFileRange(source, sink, 10, true), ExtractionStatus::WriteFailed);
    EXPECT_EQ(sink.calls.size(), 1u);
    EXPECT_TRUE(logContains(L"ERROR: WriteFile failed 10 0"));
}

// ---------------------------------------------------------------------------------------

// A launcher file with some configuration bytes before the records, and settings 2002/2003.
class Extraction : public ::testing::Test {
protected:
    static constexpr uint64_t kRecordsAt = 37;

    void SetUp() override {
        clearCapturedLog();
        configStore = ConfigStore();
        extractionDirectory[0] = 0;
        unextractedPosition = 0;
        files.launcher = Bytes(kRecordsAt, 0xEE);
    }
    void TearDown() override {
        configStore = ConfigStore();
        extractionDirectory[0] = 0;
        unextractedPosition = 0;
    }

    void include(const std::string& name, const Bytes& content) {
        names += (names.empty() ? "" : ";") + name;
        appendRecord(files.launcher, content, static_cast<int64_t>(content.size()));
        ++count;
        configure(count, names);
    }
    void configure(int n, const std::string& list) {
        configStore.settings[kSettingIncludedFileCount] = std::to_string(n);
        configStore.settings[kSettingIncludedFilePaths] = list;
    }
    ExtractionStatus extract() { return extractIncludedFiles(files, true, kRecordsAt); }
    std::string inDirectory(const std::string& name) { return std::string(extractionDirectory) + "\\" + name; }

    MemoryFiles files;
    std::string names;
    int count = 0;
};

TEST_F(Extraction, NoIncludedFilesCreatesNoDirectory) {
    strcpy(extractionDirectory, "stale");
    configure(0, "a.jar");
    EXPECT_EQ(extract(), ExtractionStatus::Done);
    EXPECT_STREQ(extractionDirectory, "");
    EXPECT_TRUE(files.directoryAttempts.empty());
    EXPECT_EQ(files.lastSource, nullptr);
    EXPECT_EQ(unextractedPosition, 0);
    EXPECT_TRUE(logContains(L"Included files: 0"));
}

TEST_F(Extraction, FilesLandInANewDirectoryNamedAfterATempFile) {
    include("a.txt", bytesOf("alpha"));
    EXPECT_EQ(extract(), ExtractionStatus::Done);
    EXPECT_STREQ(extractionDirectory, "C:\\T\\rvl1.tmp_dir1700000000");
    EXPECT_EQ(files.files[inDirectory("a.txt")], bytesOf("alpha"));
    EXPECT_EQ(capturedLog(), (std::vector<std::wstring>{
                                 L"extracting files",
                                 L"Included files: 1",
                                 L"Temp dir3: C:\\T\\rvl1.tmp_dir1700000000",
                                 L"extracting C:\\T\\rvl1.tmp_dir1700000000\\a.txt (size: 5)",
                                 L"extracting files done",
                             }));
}

TEST_F(Extraction, FirstDirectoryLevelIsCreatedOnceAndFoundTheSecondTime) {
    include("lib\\a.jar", bytesOf("first jar"));
    include("lib\\b.jar", bytesOf("second jar"));
    EXPECT_EQ(extract(), ExtractionStatus::Done);
    std::string lib = inDirectory("lib");
    EXPECT_EQ(std::count(files.directoryAttempts.begin(), files.directoryAttempts.end(), lib), 2);
    EXPECT_EQ(files.files[inDirectory("lib\\a.jar")], bytesOf("first jar"));
    EXPECT_EQ(files.files[inDirectory("lib\\b.jar")], bytesOf("second jar"));
    EXPECT_TRUE(logContains(L"creating directory " + std::wstring(lib.begin(), lib.end())));
    EXPECT_FALSE(logContains(L"failed to create directory"));
}

TEST_F(Extraction, ASubdirectoryThatCannotBeCreatedIsLoggedAndTheFileDecides) {
    include("lib\\a.jar", bytesOf("x"));
    // The extraction directory itself is created; the next creation (lib) fails.
    ASSERT_EQ(createExtractionDirectory(files), ExtractionStatus::Done);
    files.failDirectories = 1;
    EXPECT_EQ(extractIncludedFiles(files, false, kRecordsAt), ExtractionStatus::Done);
    EXPECT_TRUE(logContains(L"ERROR: failed to create directory"));
    EXPECT_EQ(files.files[inDirectory("lib\\a.jar")], bytesOf("x"));
}

TEST_F(Extraction, AnEmptyFileLeavesNoFileButLaterFilesAreFound) {
    include("empty.txt", Bytes());
    include("after.bin", patterned(6001));
    EXPECT_EQ(extract(), ExtractionStatus::Done);
    EXPECT_EQ(files.files.count(inDirectory("empty.txt")), 0u);
    EXPECT_EQ(files.files[inDirectory("after.bin")], patterned(6001));
    EXPECT_EQ(unextractedPosition, static_cast<int32_t>(files.launcher.size()));
}

TEST_F(Extraction, ANegativeSizeIsTreatedAsEmpty) {
    appendRecord(files.launcher, Bytes(), -4);
    include("after.txt", bytesOf("still found"));
    configure(2, "neg.txt;after.txt");
    EXPECT_EQ(extract(), ExtractionStatus::Done);
    EXPECT_EQ(files.files.count(inDirectory("neg.txt")), 0u);
    EXPECT_EQ(files.files[inDirectory("after.txt")], bytesOf("still found"));
}

TEST_F(Extraction, ACountSmallerThanTheListExtractsOnlyThatManyRecords) {
    include("one.txt", bytesOf("1"));
    uint64_t afterFirst = files.launcher.size();
    include("two.txt", bytesOf("22"));
    configure(1, names);
    EXPECT_EQ(extract(), ExtractionStatus::Done);
    EXPECT_EQ(files.files.size(), 1u);
    EXPECT_EQ(files.files[inDirectory("one.txt")], bytesOf("1"));
    EXPECT_EQ(unextractedPosition, static_cast<int32_t>(afterFirst));
}

TEST_F(Extraction, ACountLargerThanTheListExtractsEveryName) {
    include("one.txt", bytesOf("1"));
    include("two.txt", bytesOf("22"));
    configure(9, names);
    EXPECT_EQ(extract(), ExtractionStatus::Done);
    EXPECT_EQ(files.files.size(), 2u);
    EXPECT_EQ(unextractedPosition, static_cast<int32_t>(files.launcher.size()));
}

TEST_F(Extraction, AnEmptyNameStopsExtractionAfterTheFilesBeforeIt) {
    include("one.txt", bytesOf("1"));
    uint64_t afterFirst = files.launcher.size();
    include("two.txt", bytesOf("22"));
    configure(2, "one.txt;;two.txt");
    EXPECT_EQ(extract(), ExtractionStatus::Done);
    EXPECT_EQ(files.files.size(), 1u);
    EXPECT_EQ(unextractedPosition, static_cast<int32_t>(afterFirst));
}

TEST_F(Extraction, ANameOutsideTheDirectoryIsRefusedBeforeAnythingIsWritten) {
    for (const char* bad : {"..\\evil.txt", "lib\\..\\..\\evil.txt", "C:\\evil.txt", "\\evil.txt"}) {
        SetUp();
        files = MemoryFiles();
        files.launcher = Bytes(kRecordsAt, 0);
        names.clear();
        count = 0;
        include("good.txt", bytesOf("g"));
        include(bad, bytesOf("evil"));
        EXPECT_EQ(extract(), ExtractionStatus::CannotCreateFile) << bad;
        EXPECT_EQ(files.files.size(), 1u) << bad;
        EXPECT_EQ(files.directoryAttempts.size(), 1u) << bad;  // the extraction directory only
        EXPECT_TRUE(logContains(L"ERROR: refusing included file")) << bad;
    }
}

TEST_F(Extraction, ANameTooLongForItsBufferIsRefused) {
    include(std::string(kExtractionPathCapacity, 'n'), bytesOf("x"));
    EXPECT_EQ(extract(), ExtractionStatus::CannotCreateFile);
    EXPECT_TRUE(files.files.empty());
    EXPECT_TRUE(logContains(L"ERROR: included file path too long"));
}

TEST_F(Extraction, AFileThatCannotBeCreatedEndsTheRun) {
    include("a.txt", bytesOf("a"));
    files.unwritable.insert("C:\\T\\rvl1.tmp_dir1700000000\\a.txt");
    EXPECT_EQ(extract(), ExtractionStatus::CannotCreateFile);
}

TEST_F(Extraction, AShortRecordHeaderIsFatal) {
    include("a.txt", bytesOf("a"));
    files.launcher.push_back(3);  // three bytes of a size that is never completed
    files.launcher.push_back(0);
    files.launcher.push_back(0);
    configure(2, "a.txt;b.txt");
    EXPECT_EQ(extract(), ExtractionStatus::RecordHeaderShort);
}

TEST_F(Extraction, TruncatedContentIsAReadFailureOfThatFile) {
    include("a.txt", bytesOf("a"));
    include("b.bin", patterned(100));
    files.launcher.resize(files.launcher.size() - 1);
    EXPECT_EQ(extract(), ExtractionStatus::ReadFailed);
    EXPECT_TRUE(logContains(L"ERROR: Failed to extract C:\\T\\rvl1.tmp_dir1700000000\\b.bin"));
}

TEST_F(Extraction, WithoutADirectoryNothingIsWrittenAtTheRoot) {
    include("a.txt", bytesOf("a"));
    EXPECT_EQ(extractIncludedFiles(files, false, kRecordsAt), ExtractionStatus::CannotCreateFile);
    EXPECT_TRUE(files.files.empty());
}

TEST_F(Extraction, DirectoryCreationTriesTenTempNamesThenGivesUp) {
    include("a.txt", bytesOf("a"));
    files.failDirectories = 10;
    EXPECT_EQ(extract(), ExtractionStatus::NoDirectory);
    EXPECT_EQ(files.tempNames, 10);
    EXPECT_EQ(files.directoryAttempts.size(), 10u);
    EXPECT_EQ(files.directoryAttempts[9], "C:\\T\\rvl10.tmp_dir1700000000");
    EXPECT_STREQ(extractionDirectory, "");
    EXPECT_EQ(std::count(capturedLog().begin(), capturedLog().end(), L"Could not create dir (5)"), 10);
    EXPECT_TRUE(files.files.empty());
}

TEST_F(Extraction, DirectoryCreationKeepsTheFirstNameThatWorks) {
    include("a.txt", bytesOf("a"));
    files.failDirectories = 2;
    EXPECT_EQ(extract(), ExtractionStatus::Done);
    EXPECT_STREQ(extractionDirectory, "C:\\T\\rvl3.tmp_dir1700000000");
    EXPECT_EQ(files.files[inDirectory("a.txt")], bytesOf("a"));
}

TEST_F(Extraction, ATempNameTooLongForTheSuffixGivesNoDirectory) {
    include("a.txt", bytesOf("a"));
    files.tempPrefix = std::string(kExtractionDirectoryCapacity - 12, 't');
    EXPECT_EQ(extract(), ExtractionStatus::NoDirectory);
    EXPECT_STREQ(extractionDirectory, "");
    EXPECT_TRUE(files.directoryAttempts.empty());
}

// Only what this run wrote goes on the class path, never what else the directory holds.
TEST_F(Extraction, ExtractedArchivesAreTheTopLevelJarsThenZipsThisRunWrote) {
    include("b.zip", bytesOf("z"));
    include("a.JAR", bytesOf("a"));
    include("lib\\nested.jar", bytesOf("n"));
    include("empty.jar", Bytes());
    include("notes.txt", bytesOf("t"));
    include("c.jar", bytesOf("c"));
    files.listings["C:\\T\\rvl1.tmp_dir1700000000"] = {DirectoryEntry{"planted.jar", false, false}};
    EXPECT_EQ(extract(), ExtractionStatus::Done);
    EXPECT_EQ(extractedArchives(), (Names{inDirectory("a.JAR"), inDirectory("c.jar"), inDirectory("b.zip")}));
    // A run without included files has none.
    configure(0, "");
    EXPECT_EQ(extract(), ExtractionStatus::Done);
    EXPECT_TRUE(extractedArchives().empty());
}

// ---------------------------------------------------------------------------------------

class Cleanup : public ::testing::Test {
protected:
    void SetUp() override {
        clearCapturedLog();
        extractionDirectory[0] = 0;
    }
    void TearDown() override { extractionDirectory[0] = 0; }

    static DirectoryEntry file(const char* name) { return DirectoryEntry{name, false, false}; }
    static DirectoryEntry directory(const char* name, bool link = false) { return DirectoryEntry{name, true, link}; }
    void makeTree(const Names& directoriesMade, const Names& filesMade) {
        for (const std::string& d : directoriesMade) files.directories.insert(d);
        for (const std::string& f : filesMade) files.files[f];
    }
    const Names& marked() { return files.journal->marked; }

    MemoryFiles files;
};

TEST_F(Cleanup, EmptiesOneLevelOfSubdirectoriesAndSkipsDotEntries) {
    makeTree({"C:\\x", "C:\\x\\lib", "C:\\x\\lib\\deeper"}, {"C:\\x\\a.txt", "C:\\x\\lib\\a.jar"});
    files.listings["C:\\x"] = {directory("."), directory(".."), file("a.txt"), directory("lib")};
    files.listings["C:\\x\\lib"] = {directory("."), directory(".."), file("a.jar"), directory("deeper")};
    emptyDirectory(files, "C:\\x", true);
    // "deeper" is only removed (which fails when it is not empty), never entered; "lib" is
    // removed once it has been emptied.
    EXPECT_EQ(marked(), (Names{"C:\\x\\a.txt", "C:\\x\\lib\\a.jar", "C:\\x\\lib\\deeper", "C:\\x\\lib"}));
    EXPECT_EQ(files.journal->listed, (Names{"C:\\x", "C:\\x\\lib"}));
    EXPECT_TRUE(logContains(L"attempting to remove C:\\x\\lib (1)"));
    EXPECT_TRUE(logContains(L"attempting to remove C:\\x\\lib\\deeper (0)"));
    EXPECT_TRUE(logContains(L"attempting to delete C:\\x\\a.txt"));
}

TEST_F(Cleanup, WithoutSubdirectoriesTheyAreOnlyRemoved) {
    makeTree({"C:\\x\\", "C:\\x\\lib"}, {});
    files.listings["C:\\x\\"] = {directory("lib")};
    emptyDirectory(files, "C:\\x\\", false);
    EXPECT_EQ(files.journal->listed, (Names{"C:\\x\\"}));
    EXPECT_EQ(marked(), (Names{"C:\\x\\lib"}));
}

// A junction's target is never emptied, whichever of the two looks shows the link: the listing
// (a link there when listed), the handle (a directory swapped for a junction between listing
// and opening), or only the listing (Wine's handles show a link's target).
TEST_F(Cleanup, ALinkIsRemovedItselfAndNeverEntered) {
    struct Case {
        bool listedAsLink;
        std::optional<EntryKind> onHandle;
    };
    for (Case c : {Case{true, EntryKind::Link}, Case{false, EntryKind::Link}, Case{true, EntryKind::Directory}}) {
        files = MemoryFiles();
        makeTree({"C:\\x", "C:\\x\\link"}, {"C:\\x\\link\\precious.txt"});
        if (c.onHandle) files.kinds["C:\\x\\link"] = *c.onHandle;
        files.listings["C:\\x"] = {directory("link", c.listedAsLink)};
        files.listings["C:\\x\\link"] = {file("precious.txt")};
        emptyDirectory(files, "C:\\x", true);
        EXPECT_EQ(marked(), (Names{"C:\\x\\link"})) << c.listedAsLink;
        EXPECT_EQ(files.journal->listed, (Names{"C:\\x"})) << c.listedAsLink;
    }
    EXPECT_TRUE(logContains(L"removing link C:\\x\\link"));
}

TEST_F(Cleanup, ADirectoryReplacedByALinkIsNeitherEmptiedNorRemoved) {
    makeTree({"C:\\x"}, {"C:\\x\\a.txt"});
    files.kinds["C:\\x"] = EntryKind::Link;
    files.listings["C:\\x"] = {file("a.txt")};
    strcpy(extractionDirectory, "C:\\x");
    removeExtractionDirectory(files);
    emptyDirectory(files, "C:\\x", true);
    EXPECT_TRUE(marked().empty());
    EXPECT_TRUE(files.journal->listed.empty());
}

TEST_F(Cleanup, EmptyAndRelativePathsAreLeftAlone) {
    makeTree({".", ".\\sub"}, {".\\a.txt"});
    files.listings["."] = {file("a.txt")};
    emptyDirectory(files, "", true);
    emptyDirectory(files, ".", true);
    emptyDirectory(files, ".\\sub", true);
    EXPECT_TRUE(files.journal->listed.empty());
    EXPECT_TRUE(marked().empty());
}

TEST_F(Cleanup, AnEntryTooLongForItsBufferIsSkipped) {
    std::string longName(kExtractionPathCapacity, 'n');
    makeTree({"C:\\x"}, {"C:\\x\\b.txt"});
    files.listings["C:\\x"] = {file(longName.c_str()), file("b.txt")};
    emptyDirectory(files, "C:\\x", true);
    EXPECT_EQ(marked(), (Names{"C:\\x\\b.txt"}));
    EXPECT_TRUE(logContains(L"ERROR: path too long to delete"));
}

TEST_F(Cleanup, TheTempFileGoesOnlyWithTheDirectory) {
    // Made as a run makes it: the temp file C:\T\rvl1.tmp is claimed, then the directory.
    ASSERT_EQ(createExtractionDirectory(files), ExtractionStatus::Done);
    EXPECT_EQ(files.claims, (Names{"C:\\T\\rvl1.tmp"}));
    files.files["C:\\T\\rvl1.tmp_dir1700000000\\in-use.jar"];
    files.listings["C:\\T\\rvl1.tmp_dir1700000000"] = {file("in-use.jar")};
    files.journal->refuse = {"C:\\T\\rvl1.tmp_dir1700000000\\in-use.jar", "C:\\T\\rvl1.tmp_dir1700000000"};
    removeExtractionDirectory(files);
    // A file still in use keeps the directory, and the directory keeps its temp file.
    EXPECT_TRUE(marked().empty());
    EXPECT_STREQ(extractionDirectory, "");

    files = MemoryFiles();
    ASSERT_EQ(createExtractionDirectory(files), ExtractionStatus::Done);
    files.files["C:\\T\\rvl1.tmp_dir1700000000\\a.txt"];
    files.listings["C:\\T\\rvl1.tmp_dir1700000000"] = {file("a.txt")};
    removeExtractionDirectory(files);
    EXPECT_EQ(marked(),
              (Names{"C:\\T\\rvl1.tmp_dir1700000000\\a.txt", "C:\\T\\rvl1.tmp_dir1700000000", "C:\\T\\rvl1.tmp"}));
    removeExtractionDirectory(files);
    EXPECT_EQ(marked().size(), 3u);
}

TEST_F(Cleanup, ATempFileThatCannotBeClaimedIsPassedBy) {
    files.unclaimable = {"C:\\T\\rvl1.tmp"};
    ASSERT_EQ(createExtractionDirectory(files), ExtractionStatus::Done);
    EXPECT_STREQ(extractionDirectory, "C:\\T\\rvl2.tmp_dir1700000000");
    EXPECT_EQ(files.directoryAttempts, (Names{"C:\\T\\rvl2.tmp_dir1700000000"}));
}

TEST_F(Cleanup, OnlyDirectoriesOfEndedLaunchersAreRemovedAtStart) {
    makeTree({"C:\\T\\rvl1.tmp_dir5", "C:\\T\\rvl2.tmp_dir6", "C:\\T\\rvl3.tmp_dir7", "C:\\T\\rvl4.tmp_dir8",
              "C:\\T\\rvl5.tmp_dirx"},
             {"C:\\T\\rvl1.tmp_dir5\\a.jar"});
    files.listings["C:\\T\\rvl*_dir*"] = {directory("rvl1.tmp_dir5"), directory("rvl2.tmp_dir6"),
                                          directory("rvl3.tmp_dir7"), directory("rvl4.tmp_dir8", true),
                                          directory("rvl5.tmp_dirx"), file("rvl6.tmp_dir9")};
    files.listings["C:\\T\\rvl1.tmp_dir5"] = {file("a.jar")};
    files.owners = {{"C:\\T\\rvl1.tmp", OwnerState::Ended},   {"C:\\T\\rvl2.tmp", OwnerState::Running},
                    {"C:\\T\\rvl3.tmp", OwnerState::Unknown}, {"C:\\T\\rvl4.tmp", OwnerState::Ended},
                    {"C:\\T\\rvl5.tmp", OwnerState::Ended},   {"C:\\T\\rvl6.tmp", OwnerState::Ended}};
    removeStaleExtractionDirectories(files);
    EXPECT_EQ(marked(), (Names{"C:\\T\\rvl1.tmp_dir5\\a.jar", "C:\\T\\rvl1.tmp_dir5", "C:\\T\\rvl1.tmp"}));
    EXPECT_TRUE(logContains(L"removing the extraction directory of an ended launcher: C:\\T\\rvl1.tmp_dir5"));
}

TEST_F(Cleanup, TempFileOfADirectoryName) {
    EXPECT_EQ(tempFileOfDirectory("rvl1A.tmp_dir1700000000"), "rvl1A.tmp");
    EXPECT_EQ(tempFileOfDirectory("rvl77_dir-5"), "rvl77");
    EXPECT_EQ(tempFileOfDirectory("rvl_dir1_dir2"), "rvl_dir1");
    for (const char* notOne : {"rvl1.tmp_dir", "rvl1.tmp_dirx", "rvl1.tmp_dir-", "_dir5", "rvl1.tmp"})
        EXPECT_EQ(tempFileOfDirectory(notOne), "") << notOne;
}

// Wine does not enforce access lists, so the descriptor is checked as the text the system
// is given: protected from inheritance, and no entry for anyone but the three trustees.
TEST_F(Cleanup, TheDirectoryAccessListNamesOnlyTheUserSystemAndAdministrators) {
    std::string sddl = protectedDirectorySddl("S-1-5-21-1-2-3-1001");
    EXPECT_EQ(sddl.rfind("D:P(", 0), 0u) << sddl;
    Names trustees;
    for (size_t open = sddl.find('('); open != std::string::npos; open = sddl.find('(', open + 1)) {
        std::string ace = sddl.substr(open + 1, sddl.find(')', open) - open - 1);
        EXPECT_EQ(ace.rfind("A;OICI;FA;;;", 0), 0u) << ace;
        trustees.push_back(ace.substr(ace.rfind(';') + 1));
    }
    EXPECT_EQ(trustees, (Names{"S-1-5-21-1-2-3-1001", "SY", "BA"}));
}

}  // namespace
