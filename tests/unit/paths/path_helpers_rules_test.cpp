#include "paths/path_helpers_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string collapsedBytes(std::string path) {
    collapseBackslashesSingleByte(&path[0]);
    return path.c_str();
}

}  // namespace

TEST(CollapseBackslashes, EveryRunBecomesOne) {
    EXPECT_EQ(collapsedBackslashes(LR"(C:\\a\\\b)"), LR"(C:\a\b)");
    EXPECT_EQ(collapsedBackslashes(LR"(C:\app\\lib\)"), LR"(C:\app\lib\)");
    EXPECT_EQ(collapsedBackslashes(LR"(C:\a\\)"), LR"(C:\a\)");
    EXPECT_EQ(collapsedBytes(R"(C:\\a\\\b)"), R"(C:\a\b)");
}

TEST(CollapseBackslashes, LeadingPairOfANetworkPathSurvives) {
    EXPECT_EQ(collapsedBackslashes(LR"(\\server\share)"), LR"(\\server\share)");
    EXPECT_EQ(collapsedBackslashes(LR"(\\server\\share\\\x)"), LR"(\\server\share\x)");
    // A third leading backslash belongs to the run of the second and goes.
    EXPECT_EQ(collapsedBackslashes(LR"(\\\server)"), LR"(\\server)");
    EXPECT_EQ(collapsedBytes(R"(\\server\\share)"), R"(\\server\share)");
}

TEST(CollapseBackslashes, ShortAndEmptyTextsStayAsTheyAre) {
    EXPECT_EQ(collapsedBackslashes(L""), L"");
    EXPECT_EQ(collapsedBackslashes(L"\\"), L"\\");
    EXPECT_EQ(collapsedBackslashes(L"\\\\"), L"\\\\");
    EXPECT_EQ(collapsedBackslashes(L"a\\\\"), L"a\\");
}

TEST(CollapseBackslashes, CopyEndsAtTheFirstNulAsTheInPlaceFormDoes) {
    EXPECT_EQ(collapsedBackslashes(std::wstring(L"C:\\\\a\0\\\\b", 9)), L"C:\\a");
    // The text handed in is left as it was.
    const std::wstring original = LR"(C:\\a)";
    EXPECT_EQ(collapsedBackslashes(original), LR"(C:\a)");
    EXPECT_EQ(original, LR"(C:\\a)");
}

TEST(IsRelativePath, DriveAndNetworkFormsAreAbsolute) {
    EXPECT_FALSE(isRelativePath(LR"(C:\x)"));
    EXPECT_FALSE(isRelativePath(LR"(\\srv\x)"));
    EXPECT_FALSE(isRelativePath(LR"(C:\)"));
    EXPECT_FALSE(isRelativePath(R"(C:\x)"));
    EXPECT_FALSE(isRelativePath(R"(\\srv\x)"));
}

TEST(IsRelativePath, OneLeadingQuoteIsSkipped) {
    EXPECT_FALSE(isRelativePath(LR"("C:\x")"));
    EXPECT_FALSE(isRelativePath(LR"("\\srv\x")"));
    EXPECT_FALSE(isRelativePath(LR"("C:\)"));
    EXPECT_FALSE(isRelativePath(R"("C:\x")"));
    // Quoted texts need four characters to be absolute.
    EXPECT_TRUE(isRelativePath(LR"("C:)"));
    EXPECT_TRUE(isRelativePath(R"("\\)"));
}

TEST(IsRelativePath, EverythingElseIsRelative) {
    EXPECT_TRUE(isRelativePath(LR"(dir\x)"));
    EXPECT_TRUE(isRelativePath(L"/x"));
    EXPECT_TRUE(isRelativePath(L"C:/x"));
    EXPECT_TRUE(isRelativePath(L"C:x"));
    EXPECT_TRUE(isRelativePath(LR"(\x\y)"));
    EXPECT_TRUE(isRelativePath(R"(dir\x)"));
    EXPECT_TRUE(isRelativePath(R"(/x)"));
}

TEST(IsRelativePath, TextsShorterThanThreeAreRelative) {
    EXPECT_TRUE(isRelativePath(L""));
    EXPECT_TRUE(isRelativePath(L"C:"));
    EXPECT_TRUE(isRelativePath(L"\\\\"));
    EXPECT_TRUE(isRelativePath(""));
    EXPECT_TRUE(isRelativePath("\\\\"));
    EXPECT_TRUE(isRelativePath(static_cast<const wchar_t*>(nullptr)));
}

TEST(DriveRootForm, RootSpellingsNeedNoDisk) {
    EXPECT_TRUE(isDriveRootForm(LR"(C:\)"));
    EXPECT_TRUE(isDriveRootForm(LR"(C:\.)"));
    EXPECT_TRUE(isDriveRootForm(LR"(d:\.\.)"));
    EXPECT_TRUE(isDriveRootForm(R"(C:\)"));
    EXPECT_TRUE(isDriveRootForm(R"(Z:\.\.)"));
}

TEST(DriveRootForm, AnythingMoreOrLessIsLookedUp) {
    EXPECT_FALSE(isDriveRootForm(L"C:"));
    EXPECT_FALSE(isDriveRootForm(LR"(C:\x)"));
    EXPECT_FALSE(isDriveRootForm(LR"(C:\..)"));
    EXPECT_FALSE(isDriveRootForm(LR"(C:\.\.\.)"));
    EXPECT_FALSE(isDriveRootForm(LR"(C:\\)"));
    EXPECT_FALSE(isDriveRootForm(LR"(CC:\)"));
    EXPECT_FALSE(isDriveRootForm(L""));
    EXPECT_FALSE(isDriveRootForm(""));
    EXPECT_FALSE(isDriveRootForm(R"(C:/)"));
}

TEST(EndsWithExe, AnyCaseWithAtLeastOneCharacterBefore) {
    EXPECT_TRUE(endsWithExe(L"a.exe"));
    EXPECT_TRUE(endsWithExe(LR"(C:\x\APP.EXE)"));
    EXPECT_TRUE(endsWithExe(R"(C:\x\app.ExE)"));
    EXPECT_FALSE(endsWithExe(L".exe"));
    EXPECT_FALSE(endsWithExe(".exe"));
    EXPECT_FALSE(endsWithExe(L"app.exe "));
    EXPECT_FALSE(endsWithExe(L"app.ex"));
    EXPECT_FALSE(endsWithExe(R"("C:\PROGRA~1\)"));
    EXPECT_FALSE(endsWithExe(""));
}

TEST(FilePattern, DotAddedOnlyWhenMissing) {
    EXPECT_EQ(filePatternFor(R"(C:\app\lib)", "jar"), R"(C:\app\lib\*.jar)");
    EXPECT_EQ(filePatternFor(R"(C:\app\lib)", ".zip"), R"(C:\app\lib\*.zip)");
}

TEST(DirectoryOf, KeepsTheLastBackslash) {
    EXPECT_EQ(directoryOf(LR"(C:\app\x.exe)"), LR"(C:\app\)");
    EXPECT_EQ(directoryOf(LR"(C:\x.exe)"), LR"(C:\)");
    EXPECT_EQ(directoryOf(L"x.exe"), L"");
}

TEST(ShellOutput, FirstLineOfALongEnoughAnswer) {
    EXPECT_EQ(firstLineOfShellOutput("C:\\PROGRA~1\\APP.EXE\r\n"), std::optional<std::string>("C:\\PROGRA~1\\APP.EXE"));
    EXPECT_EQ(firstLineOfShellOutput("C:\\A\\B.EXE\nmore\n"), std::optional<std::string>("C:\\A\\B.EXE"));
    EXPECT_EQ(firstLineOfShellOutput("C:\\A\\B.EXE"), std::nullopt);
    EXPECT_EQ(firstLineOfShellOutput("a.ex\n"), std::nullopt);
    EXPECT_EQ(firstLineOfShellOutput(""), std::nullopt);
}
