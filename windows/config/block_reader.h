// Reading the data block appended to the launcher: locating it through the PE headers of
// the file, the primitive readers, and the parse into a ConfigStore. The file is input that
// anyone can modify, so every count is checked against the bytes that remain before
// anything is allocated, and every header value that points outside the file ends the
// read as a short read.
#pragma once

#include "config/config_store.h"

#include <cstdint>
#include <functional>
#include <string>

// Where the bytes come from: the launcher's own file, or memory in tests.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Reads up to `count` bytes at the current position; `got` receives how many were read.
    // Returns false on a read error (and then sets `error` to the system's error code).
    virtual bool read(void* buffer, uint32_t count, uint32_t& got, uint32_t& error) = 0;
    // Moves to an absolute offset; false when the offset cannot be reached.
    virtual bool seek(uint64_t offset) = 0;
    virtual uint64_t position() const = 0;
    virtual uint64_t size() const = 0;
};

// Which read failed; each has its own fatal text.
enum class BlockError {
    None,
    Magic,
    ReadInt,
    ReadShort,
    ReadLong,
    ReadString,
    ReadWString,
};

// The text shown to the user for a failed read ("Internal Error: readInt", ...).
const wchar_t* blockErrorText(BlockError error);

// Readers over a source. On a failure each logs what the launcher logs, records the first
// error and returns false; after a failure further reads fail at once.
class BlockReader {
public:
    explicit BlockReader(ByteSource& source) : source_(source) {}

    bool readInt(int32_t& value);
    bool readShort(int16_t& value);
    bool readLong(int64_t& value);
    bool readString(std::string& value);
    bool readWString(std::wstring& value);
    // Positions the source; an unreachable offset makes the next read fail.
    void seek(uint64_t offset);

    BlockError error() const { return error_; }
    ByteSource& source() { return source_; }

private:
    bool readExact(void* buffer, uint32_t count);
    bool fail(BlockError error);

    ByteSource& source_;
    BlockError error_ = BlockError::None;
    bool seekFailed_ = false;
};

// Follows the PE headers to the first byte after the last section's raw data and positions
// the reader there. Failures surface as the read that could not be done.
bool locateDataBlock(BlockReader& reader);

struct BlockContents {
    // File offset of the first byte after the locale sections: the included-file records.
    uint64_t includedFilesPosition = 0;
};

// Reads the block from the current position into `store`. `chooseLocale` is called after
// the base messages and before the locale sections; a section applies when its name is a
// prefix of the returned name, in file order, so a later matching section wins.
BlockError parseConfigBlock(BlockReader& reader, ConfigStore& store, const std::function<std::string()>& chooseLocale,
                            BlockContents& contents);

// A source over memory, for tests and for the packer's own checks.
class MemorySource : public ByteSource {
public:
    MemorySource(const void* data, size_t size) : data_(static_cast<const uint8_t*>(data)), size_(size) {}
    bool read(void* buffer, uint32_t count, uint32_t& got, uint32_t& error) override;
    bool seek(uint64_t offset) override;
    uint64_t position() const override { return position_; }
    uint64_t size() const override { return size_; }

private:
    const uint8_t* data_;
    size_t size_;
    uint64_t position_ = 0;
};
