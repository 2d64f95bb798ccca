#include "core/registry_rules.h"

#include <gtest/gtest.h>

#include <climits>

TEST(RegistryText, StringValuesWithOrWithoutTerminatorAsPlainOrExpandableStrings) {
    const char unterminated[] = {'1', '.', '8', '.', '0', '_', '2', '0', '1'};
    EXPECT_EQ(registryText(kRegistryTypeString, unterminated, sizeof unterminated), "1.8.0_201");
    EXPECT_EQ(registryText(kRegistryTypeString, "17.0.2", 7), "17.0.2");  // terminator stored
    EXPECT_EQ(registryText(kRegistryTypeString, "11\0junk", 7), "11");    // text ends at the first NUL
    EXPECT_EQ(registryText(kRegistryTypeString, "ignored", 0), "");       // size 0: the empty text
    EXPECT_EQ(registryText(kRegistryTypeString, nullptr, 0), "");
    EXPECT_EQ(registryText(kRegistryTypeBinary, "17", 2), std::nullopt);
    EXPECT_EQ(registryText(7 /* string list */, "17\0\0", 4), std::nullopt);
    // An expandable string is a text too; it comes back unexpanded, marked for expansion.
    EXPECT_EQ(registryText(kRegistryTypeExpandString, "%JAVA_ROOT%\\jdk\0", 16), "%JAVA_ROOT%\\jdk");
    EXPECT_TRUE(registryTextIsExpandable(kRegistryTypeExpandString));
    for (uint32_t type : {kRegistryTypeString, kRegistryTypeBinary, kRegistryTypeDword, 7u})
        EXPECT_FALSE(registryTextIsExpandable(type)) << type;
}

TEST(RegistryText, OneByteOfTheBufferIsKeptForTheTerminator) {
    EXPECT_EQ(registryTextQuerySize(100), 99u);
    EXPECT_EQ(registryTextQuerySize(1), 0u);
    EXPECT_EQ(registryTextQuerySize(0), 0u);
}

TEST(RegistryText, AHugeBufferIsOfferedAsHalfTheThirtyTwoBitRange) {
    if (sizeof(size_t) <= 4) GTEST_SKIP() << "needs a 64-bit size";
    EXPECT_EQ(registryTextQuerySize(static_cast<size_t>(UINT_MAX) * 4), UINT_MAX / 2);
    EXPECT_EQ(registryTextQuerySize(static_cast<size_t>(UINT_MAX / 2) + 1), UINT_MAX / 2);
    EXPECT_EQ(registryTextQuerySize(static_cast<size_t>(UINT_MAX / 2) + 2), UINT_MAX / 2);
}

TEST(RegistryDword, AnyTypeCountsWhenOnlyTheSizeIsChecked) {
    for (uint32_t type : {kRegistryTypeDword, kRegistryTypeBinary, kRegistryTypeString, 11u /* 64-bit number */})
        EXPECT_TRUE(isDwordValue(type, 4, DwordValueTypes::AnyOfFourBytes)) << type;
    EXPECT_FALSE(isDwordValue(kRegistryTypeDword, 2, DwordValueTypes::AnyOfFourBytes));
    EXPECT_FALSE(isDwordValue(11u, 8, DwordValueTypes::AnyOfFourBytes));
}

TEST(RegistryDword, OnlyADwordOrAFourByteBinaryCountsUnderTheTypeRestriction) {
    EXPECT_TRUE(isDwordValue(kRegistryTypeDword, 4, DwordValueTypes::DwordOrFourByteBinary));
    EXPECT_TRUE(isDwordValue(kRegistryTypeBinary, 4, DwordValueTypes::DwordOrFourByteBinary));
    EXPECT_FALSE(isDwordValue(kRegistryTypeBinary, 2, DwordValueTypes::DwordOrFourByteBinary));
    EXPECT_FALSE(isDwordValue(kRegistryTypeBinary, 8, DwordValueTypes::DwordOrFourByteBinary));
    EXPECT_FALSE(isDwordValue(kRegistryTypeString, 4, DwordValueTypes::DwordOrFourByteBinary));
    EXPECT_FALSE(isDwordValue(5u /* big-endian 32-bit number */, 4, DwordValueTypes::DwordOrFourByteBinary));
}
