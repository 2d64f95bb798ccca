#include "jvmsearch/version_cache_rules.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(VersionCache, KeyIsTheNormalisedPathWithForwardSlashes) {
    EXPECT_EQ(versionCacheKey("c:\\program files\\java\\bin\\java.exe"),
              "SOFTWARE\\brightmoor-labs\\ravel\\jvms\\c:/program files/java/bin/java.exe");
    EXPECT_EQ(versionCacheKey("\\\\server\\share\\jre\\bin\\javaw.exe"),
              "SOFTWARE\\brightmoor-labs\\ravel\\jvms\\//server/share/jre/bin/javaw.exe");
    // Nothing else changes: the path is already lower-case when it gets here.
    EXPECT_EQ(versionCacheKey("C:\\A b\\java.exe"), "SOFTWARE\\brightmoor-labs\\ravel\\jvms\\C:/A b/java.exe");
}

TEST(VersionCache, LastWriteTimeIsEightBytesLowHalfFirst) {
    FileTimeBytes bytes = fileTimeBytes(0x04030201u, 0x08070605u);
    EXPECT_EQ(bytes, (FileTimeBytes{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(fileTimeBytes(0xFFFFFFFFu, 0), (FileTimeBytes{0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}));
}

TEST(VersionCache, StoredTimeMustBeBinaryOfExactlyEightEqualBytes) {
    FileTimeBytes expected = fileTimeBytes(0x11223344u, 0x01D5A0B0u);
    uint8_t stored[9];
    memcpy(stored, expected.data(), 8);
    stored[8] = 0;
    EXPECT_TRUE(storedTimeMatches(kRegistryTypeBinary, stored, 8, expected));
    EXPECT_FALSE(storedTimeMatches(kRegistryTypeString, stored, 8, expected));
    EXPECT_FALSE(storedTimeMatches(4 /* a 32-bit number */, stored, 8, expected));
    EXPECT_FALSE(storedTimeMatches(kRegistryTypeBinary, stored, 7, expected));
    EXPECT_FALSE(storedTimeMatches(kRegistryTypeBinary, stored, 9, expected));
    EXPECT_FALSE(storedTimeMatches(kRegistryTypeBinary, nullptr, 8, expected));
    stored[7] ^= 1;  // one changed byte: the executable was replaced
    EXPECT_FALSE(storedTimeMatches(kRegistryTypeBinary, stored, 8, expected));
}

TEST(VersionCache, OnlyTheWholeShortFormsAreDiscarded) {
    for (const char* text : {"1.7.", "1.6.", "1.5."}) EXPECT_TRUE(isDiscardedCachedVersion(text)) << text;
    for (const char* text : {"1.7.0_80", "1.7", "1.8.", "1.5", " 1.6.", "1.6. ", "", "1.0.0"})
        EXPECT_FALSE(isDiscardedCachedVersion(text)) << text;
}
