#include "block_writer.h"
#include "inspect.h"
#include "toml_config.h"

#include "config/block_reader.h"
#include "support/block_builder.h"
#include "support/launcher_view.h"

#include <gtest/gtest.h>

// A negative count reads as no records, but the printed form packs a 0 there: the bytes
// differ, so inspect says so, while the meaning stays the same.
TEST(PackerInspect, NegativeCountsAreNotedAndKeepTheirMeaning) {
    BlockBuilder builder;
    builder.i32(static_cast<int32_t>(0xE8E413D5u)).i32(1).i32(0).i64(0);
    builder.i32(-2);                        // settings
    builder.i32(1).i32(1000).wstr(u"Err");  // messages
    builder.i32(2).str("de").i32(-1).str("fr").i32(0);
    PackedBlock block;
    std::string error;
    ASSERT_TRUE(parseBlock(builder.bytes, block, error)) << error;
    InspectOutput output;
    ASSERT_TRUE(inspectBlock(block, "", output, error)) << error;
    ASSERT_EQ(output.notes.size(), 1u) << output.toml;
    EXPECT_EQ(output.notes[0],
              "the block has negative counts (setting count -2, override count of locale section de -1); the "
              "launcher reads them as none, and packing writes 0");
    EXPECT_NE(output.toml.find("# note: the block has negative counts"), std::string::npos);

    Description again;
    ASSERT_TRUE(parseTomlConfig(output.toml, "printed.toml", "/nonexistent", again, error)) << error;
    std::vector<uint8_t> repacked = buildBlock(again);
    EXPECT_NE(repacked, builder.bytes);
    ConfigStore before = launcherView(builder.bytes, "de_DE"), after = launcherView(repacked, "de_DE");
    EXPECT_EQ(before.settings, after.settings);
    EXPECT_EQ(before.messages, after.messages);
}
