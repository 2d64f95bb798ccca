#include "jvmsearch/java_version.h"

#include "support/log_capture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

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

namespace {

// The wildcard matcher the launcher used before: its results are the reference, but it tries
// the rest of the pattern at every position after each "*", so its time grows with the
// number of stars as a power of the text length.
bool recursiveWildcard(const char* pattern, const char* text) {
    for (; *pattern != 0; ++pattern, ++text) {
        if (*pattern == '*') {
            while (*pattern == '*') ++pattern;
            if (*pattern == 0) return true;
            for (const char* t = text; *t != 0; ++t)
                if (recursiveWildcard(pattern, t)) return true;
            return false;
        }
        if (*text == 0) return false;
        if (*pattern != '?' && *pattern != *text) return false;
    }
    return *text == 0;
}

std::string randomText(std::mt19937& random, const char* alphabet, size_t maximumLength) {
    std::string text(random() % (maximumLength + 1), ' ');
    size_t letters = strlen(alphabet);
    for (char& c : text) c = alphabet[random() % letters];
    return text;
}

// A pattern made from `text`: some characters become "?", some runs "*", some characters
// change; such patterns match often, where unrelated random ones rarely do.
std::string patternFrom(std::mt19937& random, const std::string& text) {
    std::string pattern;
    for (size_t i = 0; i < text.size(); ++i) {
        switch (random() % 8) {
        case 0:
            pattern += '?';
            break;
        case 1:
            pattern += '*';
            i += random() % 3;
            break;
        case 2:
            pattern += "*1";
            break;
        default:
            pattern += text[i];
        }
    }
    if (random() % 4 == 0) pattern += '*';
    return pattern;
}

}  // namespace

TEST(VersionWildcard, AgreesWithTheRecursiveMatcherOnGeneratedInputs) {
    std::mt19937 random(20261209);
    int matches = 0, cases = 0;
    for (int i = 0; i < 200000; ++i, ++cases) {
        std::string text = randomText(random, "18.0_1a", 12);
        std::string pattern = i % 2 == 0 ? patternFrom(random, text) : randomText(random, "18.0*?*", 9);
        bool expected = recursiveWildcard(pattern.c_str(), text.c_str());
        matches += expected ? 1 : 0;
        ASSERT_EQ(matchVersionWildcard(pattern.c_str(), text.c_str()), expected)
            << "pattern \"" << pattern << "\" text \"" << text << "\"";
    }
    // Both answers are common among the generated cases, so the agreement means something.
    EXPECT_GT(matches, cases / 10);
    EXPECT_GT(cases - matches, cases / 10);
}

TEST(VersionWildcard, WholeTextQuestionMarksStarsAndNul) {
    EXPECT_TRUE(matchVersionWildcard("*1.8*", "1.8.0_301"));
    EXPECT_TRUE(matchVersionWildcard("1.?.0*", "1.8.0_301"));
    EXPECT_FALSE(matchVersionWildcard("1.8", "1.8.0"));
    EXPECT_FALSE(matchVersionWildcard("1.8.0", "1.8"));
    EXPECT_TRUE(matchVersionWildcard("", ""));
    EXPECT_FALSE(matchVersionWildcard("", "1"));
    EXPECT_TRUE(matchVersionWildcard("**", ""));
    EXPECT_FALSE(matchVersionWildcard("*?", ""));
    EXPECT_TRUE(matchVersionWildcard("a*b*c", "aXbYbZc"));
    EXPECT_FALSE(matchVersionWildcard("a*b*c", "aXbYbZ"));
    EXPECT_FALSE(matchVersionWildcard("*EA*", "17-ea"));
    EXPECT_TRUE(matchVersionWildcard(L"*-e?", L"17-ea"));
    EXPECT_FALSE(matchVersionWildcard(L"*-e", L"17-ea"));
    EXPECT_TRUE(matchVersionWildcard(std::string("17*\0x", 5).c_str(), "17.0.2"));  // the pattern ends at its NUL
}

TEST(VersionWildcard, ManyStarsAgainstALongVersionGiveTheRightAnswer) {
    // Thirteen stars before a character the version lacks: the recursive matcher needed about
    // a minute for this; the answers must still be right, whether the ending fits or not.
    std::string version = "17";
    while (version.size() < 40) version += ".0";
    std::string stars;
    for (int i = 0; i < 13; ++i) stars += "*0";
    EXPECT_FALSE(matchVersionWildcard((stars + "*x").c_str(), version.c_str()));
    EXPECT_TRUE(matchVersionWildcard((stars + "*0").c_str(), version.c_str()));
    EXPECT_TRUE(matchVersionWildcard((stars + "*").c_str(), (version + "x").c_str()));
    EXPECT_FALSE(matchVersionWildcard(("1" + stars + "?x").c_str(), (version + "x").c_str()));
    EXPECT_FALSE(matchVersionWildcard(("?" + stars + "*?x").c_str(), version.c_str()));
}
