#include "launch/launch_jvm_rules.h"

#include <gtest/gtest.h>

TEST(MemorySize, SuffixesAndRefusals) {
    EXPECT_EQ(parseMemorySize("512k"), 524288);
    EXPECT_EQ(parseMemorySize("1000"), 1000);
    EXPECT_EQ(parseMemorySize("0"), 0);
    EXPECT_EQ(parseMemorySize("2M"), 2097152);
    EXPECT_EQ(parseMemorySize("1g"), 1073741824);
    EXPECT_EQ(parseMemorySize("1T"), 1099511627776LL);
    EXPECT_EQ(parseMemorySize("1.5m"), -1);
    EXPECT_EQ(parseMemorySize("2mb"), -1);
    EXPECT_EQ(parseMemorySize("2x"), -1);
    EXPECT_EQ(parseMemorySize(""), -1);
    EXPECT_EQ(parseMemorySize("m"), -1);
    EXPECT_EQ(parseMemorySize("99999999999t"), -1);  // would overflow 64 bits
}

TEST(MemorySize, StackReservationFromTheLastUsableXss) {
    EXPECT_EQ(stackSizeFromOptions({"-Xss512k"}), 524288u);
    EXPECT_EQ(stackSizeFromOptions({"-Xss1000"}), 65536u);
    EXPECT_EQ(stackSizeFromOptions({"-Xss0"}), 0u);
    EXPECT_EQ(stackSizeFromOptions({"-Xss1.5m"}), 0u);
    EXPECT_EQ(stackSizeFromOptions({"-Xss2mb"}), 0u);
    EXPECT_EQ(stackSizeFromOptions({"-Xss2m", "-Xss1m"}), 1048576u);
    EXPECT_EQ(stackSizeFromOptions({"-Xss1m", "-Xss0"}), 1048576u);  // a size of 0 replaces nothing
    EXPECT_EQ(stackSizeFromOptions({"-Xmx1g"}), 0u);
}
