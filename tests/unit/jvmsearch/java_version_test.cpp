#include "jvmsearch/java_version.h"

#include "support/log_capture.h"

#include <gtest/gtest.h>

TEST(JavaVersion, ParsesEveryNumberingScheme) {
    EXPECT_EQ(parseVersion("1.8.0_201"), (JavaVersion{1, 8, 0, 201}));
    EXPECT_EQ(parseVersion("11.0.2+9"), (JavaVersion{11, 0, 2, 9}));
    EXPECT_EQ(parseVersion("1.8.0_201-b09"), (JavaVersion{1, 8, 0, 201, 0}));
    EXPECT_EQ(parseVersion("9-ea"), (JavaVersion{9, 0}));
    EXPECT_EQ(parseVersion("17"), (JavaVersion{17}));
    EXPECT_EQ(parseVersion(""), JavaVersion{});
    EXPECT_EQ(parseVersion("..1__2.."), (JavaVersion{1, 2}));      // runs of separators are one split
    EXPECT_EQ(parseVersion("21.0.1b7"), (JavaVersion{21, 0, 1}));  // trailing letters end a number
    EXPECT_EQ(parseVersion("99999999999"), (JavaVersion{INT32_MAX}));
}

TEST(JavaVersion, RangeWithMissingComponentsAsZero) {
    JavaVersion v18 = parseVersion("1.8"), v17 = parseVersion("1.7");
    EXPECT_TRUE(checkVersion("1.8.0_201", v18, v18, false, false));
    EXPECT_FALSE(checkVersion("1.8.0_201", {}, v17, false, false));
    EXPECT_TRUE(checkVersion("1.8.0", v18, {}, false, false));
    EXPECT_FALSE(checkVersion("1.8", parseVersion("1.8.0_200"), {}, false, false));
    EXPECT_TRUE(checkVersion("11.0.2", v18, {}, false, false));
    EXPECT_FALSE(checkVersion("1.6.0_45", v17, {}, false, false));
    EXPECT_TRUE(checkVersion("anything", {}, {}, false, false));
}

TEST(JavaVersion, KeyRangeLetsShortNamesPass) {
    JavaVersion min = parseVersion("1.8.0_200");
    EXPECT_TRUE(versionKeyInRange("1.8", min, {}));
    EXPECT_FALSE(versionKeyInRange("1.7", min, {}));
    EXPECT_TRUE(versionKeyInRange("11", min, parseVersion("17")));
    EXPECT_FALSE(versionKeyInRange("21", min, parseVersion("17")));
    EXPECT_TRUE(versionKeyInRange("1.8", {}, parseVersion("1.8.0_100")));
}

TEST(JavaVersion, PreReleasesNeedPermission) {
    for (const char* text : {"17-ea", "1.9.0-rc", "1.7.0-beta"}) {
        clearCapturedLog();
        EXPECT_FALSE(checkVersion(text, {}, {}, false, false)) << text;
        EXPECT_TRUE(logContains(L"beta vm not allowed"));
        EXPECT_TRUE(checkVersion(text, {}, {}, true, false)) << text;
        EXPECT_TRUE(checkVersion(text, {}, {}, false, true)) << text;
    }
    EXPECT_TRUE(checkVersion("1.8.0_201-b09", {}, {}, false, false));
    EXPECT_TRUE(checkVersion("17-EA", {}, {}, false, false));  // the markers are case-sensitive
}

TEST(JavaVersion, NewerThan) {
    EXPECT_TRUE(isNewerVersion("11.0.2+9", "1.8.0_201"));
    EXPECT_TRUE(isNewerVersion("9", "1.8"));
    EXPECT_TRUE(isNewerVersion("11", "9"));
    EXPECT_FALSE(isNewerVersion("1.8", "1.8"));
    EXPECT_TRUE(isNewerVersion("1.8.0", "1.8"));
    EXPECT_FALSE(isNewerVersion("1.8", "1.8.0"));
    EXPECT_FALSE(isNewerVersion("", "1.8"));
    EXPECT_FALSE(isNewerVersion("", ""));
    EXPECT_TRUE(isNewerVersion("1", ""));
    EXPECT_FALSE(isNewerVersion("1.8.0_31", "1.8.0_201"));
}

TEST(JavaVersion, BannerLastMatchingLineWins) {
    std::string version;
    EXPECT_TRUE(
        parseVersionBanner("openjdk version \"17.0.2\" 2022-01-18\r\n"
                           "OpenJDK Runtime Environment (build 17.0.2+8)\r\n",
                           version));
    EXPECT_EQ(version, "17.0.2");
    EXPECT_TRUE(parseVersionBanner("java version \"1.8.0_201\"\nother version \"9\"\n", version));
    EXPECT_EQ(version, "9");
    EXPECT_FALSE(parseVersionBanner("Error: could not create the Java VM\n", version));
    EXPECT_FALSE(parseVersionBanner("version \"17\"\n", version));  // needs the space before "version"
}

TEST(JavaVersion, BannerWithoutClosingQuoteDropsTheLineEnd) {
    std::string version;
    EXPECT_TRUE(parseVersionBanner("java version \"1.8.0_201\r\n", version));
    EXPECT_EQ(version, "1.8.0_20");  // the rest of the line less its last two characters ("1\r")
    EXPECT_TRUE(parseVersionBanner("x version \"1", version));
    EXPECT_EQ(version, "");
}

TEST(JavaVersion, VendorKeysAreTriedByDescendingByteOrder) {
    EXPECT_EQ(vendorKeyTryOrder({"1.8", "1.8.0_201", "9"}), (std::vector<std::string>{"9", "1.8.0_201", "1.8"}));
    EXPECT_EQ(vendorKeyTryOrder({"11", "9"}), (std::vector<std::string>{"9", "11"}));
    EXPECT_EQ(vendorKeyTryOrder({"1.8.0_201", "1.8.0_31"}), (std::vector<std::string>{"1.8.0_31", "1.8.0_201"}));
}
