#include "service/service_text.h"

#include <gtest/gtest.h>

TEST(ChildCommandLine, PiecesWithSpacesAreQuotedNothingElseIsEscaped) {
    std::wstring line;
    ASSERT_TRUE(buildChildCommandLine({L"C:\\Program Files\\app\\app.exe"}, L"My App", {L"a", L"x y"}, 12000, line));
    EXPECT_EQ(line, L"\"C:\\Program Files\\app\\app.exe\" \"My App\" a \"x y\" __qwk_restart");
    ASSERT_TRUE(buildChildCommandLine({L"C:\\app\\app.exe", L"extra word"}, L"Svc", {}, 12000, line));
    EXPECT_EQ(line, L"C:\\app\\app.exe Svc \"extra word\" __qwk_restart");
    ASSERT_TRUE(buildChildCommandLine({L"C:\\app.exe"}, L"unknown", {L"a\"b"}, 12000, line));
    EXPECT_EQ(line, L"C:\\app.exe unknown a\"b __qwk_restart");
}

TEST(ChildCommandLine, TooLongIsRefusedNotCut) {
    std::wstring line = L"before";
    std::wstring program = L"p.exe";
    std::wstring name(11979, L'n');
    // "p.exe" + " " + name + " __qwk_restart" is 11999 characters: fits with its terminator.
    ASSERT_TRUE(buildChildCommandLine({program}, name, {}, 12000, line));
    EXPECT_EQ(line.size(), 11999u);
    line = L"before";
    EXPECT_FALSE(buildChildCommandLine({program}, name + L"n", {}, 12000, line));
    EXPECT_EQ(line, L"before");
}

TEST(DependencyList, EmptyPiecesDroppedSpacesKept) {
    EXPECT_EQ(dependencyMultiString(L"Tcpip,,My Dep", 6000), std::wstring(L"Tcpip\0My Dep\0\0", 14));
    EXPECT_EQ(dependencyMultiString(L"", 6000), L"");
    EXPECT_EQ(dependencyMultiString(L",,", 6000), L"");
    EXPECT_EQ(dependencyMultiString(L"a", 6000), std::wstring(L"a\0\0", 3));
}

TEST(DependencyList, OverlongListKeepsOnlyWholeNames) {
    EXPECT_EQ(dependencyMultiString(L"abc,defg", 7), std::wstring(L"abc\0\0", 5));
    EXPECT_EQ(dependencyMultiString(L"abcdefgh", 7), L"");
}
