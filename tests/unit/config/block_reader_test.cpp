#include "config/block_reader.h"

#include "support/block_builder.h"
#include "support/log_capture.h"

#include <gtest/gtest.h>

namespace {

struct Parsed {
    BlockError error;
    ConfigStore store;
    BlockContents contents;
};

Parsed parse(const std::vector<uint8_t>& bytes, const std::string& locale = "de_DE") {
    MemorySource source(bytes.data(), bytes.size());
    BlockReader reader(source);
    Parsed p;
    p.error = parseConfigBlock(
        reader, p.store, [&] { return locale; }, p.contents);
    return p;
}

}  // namespace

TEST(BlockReader, ReadsSettingsMessagesAndWhereIncludedFilesStart) {
    BlockBuilder b;
    b.header().i32(2).i32(101).str("MyService").i32(107).str("");
    b.i32(1).i32(1000).wstr(u"Fehler \u00e4\u20ac");
    b.i32(0);
    size_t end = b.bytes.size();
    b.i64(5);  // the first included-file record, which the configuration read must not consume
    Parsed p = parse(b.bytes);
    ASSERT_EQ(p.error, BlockError::None);
    EXPECT_EQ(p.store.settings.at(101), "MyService");
    EXPECT_EQ(p.store.settings.at(107), "");
    EXPECT_EQ(p.store.messages.at(1000), (std::wstring{L'F', L'e', L'h', L'l', L'e', L'r', L' ', 0xe4, 0x20ac}));
    EXPECT_EQ(p.contents.includedFilesPosition, end);
}

TEST(BlockReader, ZeroAndNegativeCountsMeanNoRecords) {
    for (int32_t count : {0, -1, INT32_MIN}) {
        Parsed p = parse(BlockBuilder().header().i32(count).i32(count).i32(count).bytes);
        EXPECT_EQ(p.error, BlockError::None) << count;
        EXPECT_TRUE(p.store.settings.empty());
        EXPECT_TRUE(p.store.messages.empty());
    }
}

TEST(BlockReader, RepeatedIdKeepsTheLastValue) {
    BlockBuilder b;
    b.header().i32(2).i32(5).str("first").i32(5).str("second").i32(2).i32(9).wstr(u"a").i32(9).wstr(u"b").i32(0);
    Parsed p = parse(b.bytes);
    ASSERT_EQ(p.error, BlockError::None);
    EXPECT_EQ(p.store.settings.at(5), "second");
    EXPECT_EQ(p.store.messages.at(9), L"b");
}

TEST(BlockReader, LocaleSectionsApplyByPrefixInFileOrder) {
    BlockBuilder b;
    b.header().i32(0).i32(2).i32(1000).wstr(u"base").i32(1001).wstr(u"keep");
    b.i32(4);
    b.str("de").i32(1).i32(1000).wstr(u"de");
    b.str("fr").i32(2).i32(1000).wstr(u"fr").i32(1001).wstr(u"fr2");  // read completely, not applied
    b.str("de_DE").i32(1).i32(1000).wstr(u"de_DE");
    b.str("de_AT").i32(1).i32(1001).wstr(u"at");
    size_t end = b.bytes.size();
    Parsed p = parse(b.bytes, "de_DE");
    ASSERT_EQ(p.error, BlockError::None);
    EXPECT_EQ(p.store.messages.at(1000), L"de_DE");
    EXPECT_EQ(p.store.messages.at(1001), L"keep");
    EXPECT_EQ(p.contents.includedFilesPosition, end);

    // A section longer than the chosen name does not match it; an empty name matches all.
    BlockBuilder c;
    c.header().i32(0).i32(0).i32(2).str("de_DE").i32(1).i32(1).wstr(u"x").str("").i32(1).i32(2).wstr(u"all");
    Parsed q = parse(c.bytes, "de");
    ASSERT_EQ(q.error, BlockError::None);
    EXPECT_EQ(q.store.messages.count(1), 0u);
    EXPECT_EQ(q.store.messages.at(2), L"all");
}

TEST(BlockReader, LocaleIsChosenAfterTheBaseMessages) {
    BlockBuilder b;
    b.header().i32(0).i32(1).i32(1).wstr(u"m").i32(0);
    MemorySource source(b.bytes.data(), b.bytes.size());
    BlockReader reader(source);
    ConfigStore store;
    BlockContents contents;
    size_t messagesSeen = 99;
    parseConfigBlock(
        reader, store,
        [&] {
            messagesSeen = store.messages.size();
            return std::string("en");
        },
        contents);
    EXPECT_EQ(messagesSeen, 1u);
}

TEST(BlockReader, EmptyStringsAreEmpty) {
    Parsed p = parse(BlockBuilder().header().i32(1).i32(1).str("").i32(1).i32(2).wstr(u"").i32(0).bytes);
    ASSERT_EQ(p.error, BlockError::None);
    EXPECT_EQ(p.store.settings.at(1), "");
    EXPECT_EQ(p.store.messages.at(2), L"");
}

TEST(BlockReader, WrongMagicIsReportedAsMagic) {
    Parsed p = parse(BlockBuilder().header(0x12345678).i32(0).i32(0).i32(0).bytes);
    EXPECT_EQ(p.error, BlockError::Magic);
    EXPECT_STREQ(blockErrorText(p.error), L"Internal Error: magic");
}

TEST(BlockReader, ShortReadsNameTheReaderThatFailed) {
    EXPECT_EQ(parse({}).error, BlockError::ReadInt);
    EXPECT_EQ(parse({0xD5, 0x13}).error, BlockError::ReadInt);
    // Header cut inside the 64-bit word.
    EXPECT_EQ(parse(BlockBuilder().i32(static_cast<int32_t>(0xE8E413D5u)).i32(0).i32(0).i32(0).bytes).error,
              BlockError::ReadLong);
    // A setting count promising more records than there are.
    EXPECT_EQ(parse(BlockBuilder().header().i32(3).i32(1).str("x").bytes).error, BlockError::ReadInt);
    // The locale section count is missing.
    EXPECT_EQ(parse(BlockBuilder().header().i32(0).i32(0).bytes).error, BlockError::ReadInt);
    EXPECT_STREQ(blockErrorText(BlockError::ReadLong), L"Internal Error: readLong");
}

TEST(BlockReader, DamagedStringCountsFailWithoutAllocating) {
    // Negative, larger than what is left, and (wide) odd counts are refused up front; a count
    // of 2^31-1 would otherwise ask for 2 GiB before noticing the file is short.
    EXPECT_EQ(parse(BlockBuilder().header().i32(1).i32(1).i32(-5).bytes).error, BlockError::ReadString);
    EXPECT_EQ(parse(BlockBuilder().header().i32(1).i32(1).i32(INT32_MAX).bytes).error, BlockError::ReadString);
    EXPECT_EQ(parse(BlockBuilder().header().i32(1).i32(1).i32(4).u8('a').bytes).error, BlockError::ReadString);
    EXPECT_EQ(parse(BlockBuilder().header().i32(0).i32(1).i32(1).i32(-2).bytes).error, BlockError::ReadWString);
    EXPECT_EQ(parse(BlockBuilder().header().i32(0).i32(1).i32(1).i32(3).u8(1).u8(0).u8(2).i32(0).bytes).error,
              BlockError::ReadWString);
    EXPECT_EQ(parse(BlockBuilder().header().i32(0).i32(1).i32(1).i32(INT32_MAX - 1).bytes).error,
              BlockError::ReadWString);
    // A locale name is an 8-bit string too.
    EXPECT_EQ(parse(BlockBuilder().header().i32(0).i32(0).i32(1).i32(100).bytes).error, BlockError::ReadString);
    EXPECT_STREQ(blockErrorText(BlockError::ReadWString), L"Internal Error: readWString");
}

TEST(BlockReader, ShortIntReadIsLoggedWithTheBytesRead) {
    clearCapturedLog();
    parse({0xD5, 0x13, 0xE4});
    EXPECT_TRUE(logContains(L"error 0 3\n"));
}

namespace {

// A minimal PE image: MZ header pointing at a PE header with `sections` entries whose last
// entry says where its raw data lies, followed by `tail`.
std::vector<uint8_t> peImage(uint32_t peOffset, int16_t sections, int16_t optionalSize, uint32_t rawSize,
                             uint32_t rawPointer, size_t totalSize) {
    std::vector<uint8_t> image(totalSize, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            if (at + i < image.size()) image[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    auto put16 = [&](size_t at, uint16_t v) {
        for (int i = 0; i < 2; ++i)
            if (at + i < image.size()) image[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    image[0] = 'M';
    image[1] = 'Z';
    put32(0x3C, peOffset);
    put16(peOffset + 6, static_cast<uint16_t>(sections));
    put16(peOffset + 20, static_cast<uint16_t>(optionalSize));
    size_t last = peOffset + 24 + optionalSize + (sections - 1) * 40;
    put32(last + 16, rawSize);
    put32(last + 20, rawPointer);
    return image;
}

BlockError locate(const std::vector<uint8_t>& image, uint64_t& position) {
    MemorySource source(image.data(), image.size());
    BlockReader reader(source);
    locateDataBlock(reader);
    int32_t magic = 0;
    position = source.position();
    reader.readInt(magic);
    return reader.error();
}

}  // namespace

TEST(DataBlockLocation, FollowsTheLastSectionHeaderToTheEndOfItsRawData) {
    std::vector<uint8_t> image = peImage(0x80, 3, 0xF0, 0x200, 0x400, 0x604);
    uint64_t position = 0;
    EXPECT_EQ(locate(image, position), BlockError::None);
    EXPECT_EQ(position, 0x600u);
    clearCapturedLog();
    locate(image, position);
    EXPECT_TRUE(logContains(L"number of sections: 3"));
    EXPECT_TRUE(logContains(L"size of optional headers: 240"));
    EXPECT_TRUE(logContains(L"resSectionTableStart: 472"));  // 0x80 + 24 + 0xF0 + 2 * 40
    EXPECT_TRUE(logContains(L"rawDataSize: 512, rawDataOffset: 1024"));
}

TEST(DataBlockLocation, HeaderValuesPointingOutsideTheFileFailAsShortReads) {
    uint64_t position = 0;
    // The PE offset itself lies past the end of the file.
    EXPECT_EQ(locate(peImage(0x80, 3, 0xF0, 0x200, 0x400, 0x604), position), BlockError::None);
    std::vector<uint8_t> farPe = peImage(0x80, 3, 0xF0, 0x200, 0x400, 0x604);
    farPe[0x3C] = 0xFF;
    farPe[0x3F] = 0x7F;
    EXPECT_EQ(locate(farPe, position), BlockError::ReadShort);
    // A negative PE offset must not wrap to a small one.
    std::vector<uint8_t> negativePe = peImage(0x80, 3, 0xF0, 0x200, 0x400, 0x604);
    negativePe[0x3F] = 0xFF;
    EXPECT_EQ(locate(negativePe, position), BlockError::ReadShort);
    // A section count that puts the section table past the end.
    EXPECT_EQ(locate(peImage(0x80, 30000, 0xF0, 0x200, 0x400, 0x604), position), BlockError::ReadInt);
    // No sections at all: the "last" header would lie before the table.
    EXPECT_EQ(locate(peImage(0x00, 0, 0, 0, 0, 0x100), position), BlockError::ReadInt);
    // Raw data ending beyond the file: the magic cannot be read.
    EXPECT_EQ(locate(peImage(0x80, 3, 0xF0, 0xFFFFFFF0u, 0xFFFFFFF0u, 0x604), position), BlockError::ReadInt);
    // An image too short to hold the PE offset.
    EXPECT_EQ(locate(std::vector<uint8_t>{'M', 'Z'}, position), BlockError::ReadInt);
}
