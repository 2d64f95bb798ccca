// What the launcher reads from a packed block: the block parsed as the launcher parses its
// own, with the user's locale chosen as `locale`. A block the launcher refuses fails the
// calling test.
#pragma once

#include "config/block_reader.h"
#include "config/config_store.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

inline ConfigStore launcherView(const std::vector<uint8_t>& block, const std::string& locale) {
    MemorySource source(block.data(), block.size());
    BlockReader reader(source);
    ConfigStore store;
    BlockContents contents;
    EXPECT_EQ(parseConfigBlock(
                  reader, store, [&] { return locale; }, contents),
              BlockError::None);
    return store;
}
