#include "jvmsearch/jvm_search_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string describe(const std::vector<SearchEntry>& entries) {
    std::string text;
    for (const SearchEntry& entry : entries) text += std::string(1, entry.letter) + "[" + entry.value + "]";
    return text;
}

SearchEntry entry(char letter, const std::string& value) {
    SearchEntry e;
    e.letter = letter;
    e.value = value;
    return e;
}

}  // namespace

TEST(SearchSequence, EachEntryIsALetterAndItsValue) {
    EXPECT_EQ(describe(parseSearchSequence("Bjre;Y")), "B[jre]Y[]");
    EXPECT_EQ(describe(parseSearchSequence(R"(Ac:\java\jdk;EJAVA_HOME;S;R${APP}\rt)")),
              R"(A[c:\java\jdk]E[JAVA_HOME]S[]R[${APP}\rt])");
}

TEST(SearchSequence, EmptyEntriesAreLeftOutAndLettersKept) {
    EXPECT_EQ(describe(parseSearchSequence(";;Bjre;;Y;")), "B[jre]Y[]");
    EXPECT_EQ(describe(parseSearchSequence("")), "");
    // Unknown and lower-case letters stay: the search skips them itself.
    EXPECT_EQ(describe(parseSearchSequence("Xfoo;ajre")), "X[foo]a[jre]");
}

TEST(FallbackPass, AbsoluteMeansDriveOrNetworkForm) {
    EXPECT_TRUE(isAbsoluteLocation(R"(c:\java\jdk)"));
    EXPECT_TRUE(isAbsoluteLocation("C:"));
    EXPECT_TRUE(isAbsoluteLocation("C:jre"));
    EXPECT_TRUE(isAbsoluteLocation(R"(\\server\share\jre)"));
    EXPECT_FALSE(isAbsoluteLocation("jre"));
    EXPECT_FALSE(isAbsoluteLocation(R"(\jre)"));
    EXPECT_FALSE(isAbsoluteLocation(R"(..\jre)"));
    EXPECT_FALSE(isAbsoluteLocation("C"));
    EXPECT_FALSE(isAbsoluteLocation(""));
}

TEST(FallbackPass, AbsoluteAAndRAreSkippedRelativeKeptBAlways) {
    EXPECT_FALSE(takesPartInFallbackPass(entry('A', R"(c:\java\jdk)")));
    EXPECT_FALSE(takesPartInFallbackPass(entry('R', R"(\\srv\jre)")));
    EXPECT_TRUE(takesPartInFallbackPass(entry('A', "runtime")));
    EXPECT_TRUE(takesPartInFallbackPass(entry('R', "jre")));
    EXPECT_TRUE(takesPartInFallbackPass(entry('B', R"(c:\java\jdk)")));
    EXPECT_TRUE(takesPartInFallbackPass(entry('B', "jre")));
}

TEST(FallbackPass, OnlyDirectoryEntriesTakePart) {
    for (char letter : {'E', 'S', 'Y', 'X', 'a'}) {
        EXPECT_FALSE(takesPartInFallbackPass(entry(letter, "jre"))) << letter;
        EXPECT_FALSE(isDirectoryEntry(letter)) << letter;
    }
    for (char letter : {'A', 'B', 'R'}) EXPECT_TRUE(isDirectoryEntry(letter)) << letter;
}

TEST(FailureMessage, KindSelectsMessageAndArgument) {
    struct Case {
        LocationKind kind;
        int id;
        bool hasArgument;
        std::string argument;
    };
    const Case cases[] = {
        {LocationKind::None, 1016, true, "64"},
        {LocationKind::Path, 1016, true, "64"},
        {LocationKind::Directory, 1019, true, "the location"},
        {LocationKind::Environment, 1017, true, "the location"},
        {LocationKind::Registry, 1005, false, ""},
    };
    for (const Case& c : cases) {
        FailureMessage message = failureMessageFor(c.kind, "the location", 64);
        EXPECT_EQ(message.id, c.id) << static_cast<int>(c.kind);
        EXPECT_EQ(message.hasArgument, c.hasArgument) << static_cast<int>(c.kind);
        EXPECT_EQ(message.argument, c.argument) << static_cast<int>(c.kind);
    }
}

TEST(FailureMessage, BitnessIsTheLaunchers) {
    EXPECT_EQ(failureMessageFor(LocationKind::None, "", 32).argument, "32");
    EXPECT_EQ(failureMessageFor(LocationKind::Path, "ignored", 32).argument, "32");
}

TEST(LocationFile, BackslashIsNotDoubled) {
    EXPECT_EQ(locationFilePath(LR"(C:\app)", kPreferredLocationFile), LR"(C:\app\.quillwork\pref_jre.cfg)");
    EXPECT_EQ(locationFilePath(LR"(C:\app\)", kInstallerLocationFile), LR"(C:\app\.quillwork\inst_jre.cfg)");
    EXPECT_EQ(locationFilePath(LR"(C:\)", kPreferredLocationFile), LR"(C:\.quillwork\pref_jre.cfg)");
}

TEST(LocationFile, EveryTrailingLineEndGoes) {
    std::string line = "C:\\jre\r\r\n";
    stripLineEnd(line);
    EXPECT_EQ(line, "C:\\jre");
    line = "\n";
    stripLineEnd(line);
    EXPECT_EQ(line, "");
    line = "a\rb";
    stripLineEnd(line);
    EXPECT_EQ(line, "a\rb");
}
