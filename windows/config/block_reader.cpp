#include "config/block_reader.h"

#include "config/block_format.h"
#include "core/log.h"
#include "core/text_helpers.h"

#include <cstring>

const wchar_t* blockErrorText(BlockError error) {
    switch (error) {
    case BlockError::None:
        return L"";
    case BlockError::Magic:
        return L"Internal Error: magic";
    case BlockError::ReadInt:
        return L"Internal Error: readInt";
    case BlockError::ReadShort:
        return L"Internal Error: readShort";
    case BlockError::ReadLong:
        return L"Internal Error: readLong";
    case BlockError::ReadString:
        return L"Internal Error: readString";
    case BlockError::ReadWString:
        return L"Internal Error: readWString";
    }
    return L"";
}

namespace {

// The block is little-endian whatever the host is.
uint32_t littleEndian32(const uint8_t* b) {
    return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16 |
           static_cast<uint32_t>(b[3]) << 24;
}

}  // namespace

bool BlockReader::fail(BlockError error) {
    if (error_ == BlockError::None) error_ = error;
    return false;
}

void BlockReader::seek(uint64_t offset) {
    if (!source_.seek(offset)) seekFailed_ = true;
}

bool BlockReader::readExact(void* buffer, uint32_t count) {
    uint32_t got = 0;
    uint32_t error = 0;
    if (seekFailed_) return false;
    if (!source_.read(buffer, count, got, error)) return false;
    return got == count;
}

bool BlockReader::readInt(int32_t& value) {
    if (error_ != BlockError::None) return false;
    uint8_t bytes[4];
    uint32_t got = 0;
    uint32_t error = 0;
    bool ok = !seekFailed_ && source_.read(bytes, 4, got, error) && got == 4;
    if (!ok) {
        logLine(L"error %d %d\n", static_cast<int>(error), static_cast<int>(got));
        return fail(BlockError::ReadInt);
    }
    value = static_cast<int32_t>(littleEndian32(bytes));
    return true;
}

bool BlockReader::readShort(int16_t& value) {
    if (error_ != BlockError::None) return false;
    uint8_t bytes[2];
    uint32_t got = 0;
    uint32_t error = 0;
    bool ok = !seekFailed_ && source_.read(bytes, 2, got, error) && got == 2;
    if (!ok) {
        logLine(L"error %d\n", static_cast<int>(error));
        return fail(BlockError::ReadShort);
    }
    value = static_cast<int16_t>(bytes[0] | bytes[1] << 8);
    return true;
}

bool BlockReader::readLong(int64_t& value) {
    if (error_ != BlockError::None) return false;
    uint8_t bytes[8];
    uint32_t got = 0;
    uint32_t error = 0;
    bool ok = !seekFailed_ && source_.read(bytes, 8, got, error) && got == 8;
    if (!ok) {
        logLine(L"error %d\n", static_cast<int>(error));
        return fail(BlockError::ReadLong);
    }
    value = static_cast<int64_t>(static_cast<uint64_t>(littleEndian32(bytes)) |
                                 static_cast<uint64_t>(littleEndian32(bytes + 4)) << 32);
    return true;
}

bool BlockReader::readString(std::string& value) {
    int32_t count = 0;
    if (!readInt(count)) return false;
    // A negative count or one beyond the end of the file is damage, not a size to allocate.
    if (count < 0 || static_cast<uint64_t>(count) > source_.size() - source_.position())
        return fail(BlockError::ReadString);
    value.assign(static_cast<size_t>(count), '\0');
    if (count > 0 && !readExact(&value[0], static_cast<uint32_t>(count))) return fail(BlockError::ReadString);
    return true;
}

bool BlockReader::readWString(std::wstring& value) {
    int32_t count = 0;
    if (!readInt(count)) return false;
    if (count < 0 || count % 2 != 0 || static_cast<uint64_t>(count) > source_.size() - source_.position())
        return fail(BlockError::ReadWString);
    std::string bytes(static_cast<size_t>(count), '\0');
    if (count > 0 && !readExact(&bytes[0], static_cast<uint32_t>(count))) return fail(BlockError::ReadWString);
    value.assign(static_cast<size_t>(count / 2), L'\0');
    for (size_t i = 0; i < value.size(); ++i)
        value[i] =
            static_cast<wchar_t>(static_cast<uint8_t>(bytes[2 * i]) | static_cast<uint8_t>(bytes[2 * i + 1]) << 8);
    return true;
}

bool locateDataBlock(BlockReader& reader) {
    int32_t peOffset = 0;
    int16_t sectionCount = 0;
    int16_t optionalHeaderSize = 0;
    reader.seek(kPeOffsetField);
    if (!reader.readInt(peOffset)) return false;
    uint64_t pe = static_cast<uint32_t>(peOffset);
    reader.seek(pe + kSectionCountOffset);
    if (!reader.readShort(sectionCount)) return false;
    logLine(L"number of sections: %d", sectionCount);
    reader.seek(pe + kOptionalHeaderSizeOffset);
    if (!reader.readShort(optionalHeaderSize)) return false;
    logLine(L"size of optional headers: %d", optionalHeaderSize);

    // Header of the last section-table entry. Computed in 64 bits: damaged counts must not
    // wrap around to an offset inside the file.
    int64_t lastHeader = static_cast<int64_t>(pe) + kSectionTableOffset + optionalHeaderSize +
                         (static_cast<int64_t>(sectionCount) - 1) * kSectionHeaderSize;
    logLine(L"resSectionTableStart: %d", static_cast<int>(lastHeader));
    int32_t rawDataSize = 0;
    int32_t rawDataOffset = 0;
    reader.seek(lastHeader < 0 ? UINT64_MAX : static_cast<uint64_t>(lastHeader) + kRawDataSizeOffset);
    if (!reader.readInt(rawDataSize)) return false;
    if (!reader.readInt(rawDataOffset)) return false;
    logLine(L"rawDataSize: %d, rawDataOffset: %d", rawDataSize, rawDataOffset);
    reader.seek(static_cast<uint64_t>(static_cast<uint32_t>(rawDataOffset)) + static_cast<uint32_t>(rawDataSize));
    return true;
}

BlockError parseConfigBlock(BlockReader& reader, ConfigStore& store, const std::function<std::string()>& chooseLocale,
                            BlockContents& contents) {
    int32_t magic = 0;
    if (!reader.readInt(magic)) return reader.error();
    if (static_cast<uint32_t>(magic) != kBlockMagic) return BlockError::Magic;

    // Three header words the packer writes and the launcher attaches no meaning to.
    int32_t skippedInt = 0;
    int64_t skippedLong = 0;
    if (!reader.readInt(skippedInt) || !reader.readInt(skippedInt) || !reader.readLong(skippedLong))
        return reader.error();

    int32_t count = 0;
    if (!reader.readInt(count)) return reader.error();
    for (int32_t i = 0; i < count; ++i) {
        int32_t id = 0;
        std::string value;
        if (!reader.readInt(id) || !reader.readString(value)) return reader.error();
        store.settings[id] = std::move(value);
    }

    if (!reader.readInt(count)) return reader.error();
    for (int32_t i = 0; i < count; ++i) {
        int32_t id = 0;
        std::wstring value;
        if (!reader.readInt(id) || !reader.readWString(value)) return reader.error();
        store.messages[id] = std::move(value);
    }

    std::string locale = chooseLocale ? chooseLocale() : std::string("en");

    if (!reader.readInt(count)) return reader.error();
    for (int32_t section = 0; section < count; ++section) {
        std::string name;
        int32_t overrides = 0;
        if (!reader.readString(name) || !reader.readInt(overrides)) return reader.error();
        // Compared over the length of the section's name only, up to its first NUL as the
        // text comparison of a terminated string would.
        bool matches = startsWith(locale, name.c_str());
        for (int32_t i = 0; i < overrides; ++i) {
            int32_t id = 0;
            std::wstring value;
            if (!reader.readInt(id) || !reader.readWString(value)) return reader.error();
            if (matches) store.messages[id] = std::move(value);
        }
    }

    contents.includedFilesPosition = reader.source().position();
    return BlockError::None;
}

bool MemorySource::read(void* buffer, uint32_t count, uint32_t& got, uint32_t& error) {
    error = 0;
    uint64_t available = position_ < size_ ? size_ - position_ : 0;
    got = static_cast<uint32_t>(available < count ? available : count);
    if (got > 0) memcpy(buffer, data_ + position_, got);
    position_ += got;
    return true;
}

bool MemorySource::seek(uint64_t offset) {
    if (offset > size_) return false;
    position_ = offset;
    return true;
}
