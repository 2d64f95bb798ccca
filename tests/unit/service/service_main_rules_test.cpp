#include "service/service_main_rules.h"

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

TEST(ServiceName, FirstArgumentOrUnknown) {
    wchar_t name[] = L"My App";
    wchar_t empty[] = L"";
    wchar_t* named[] = {name, nullptr};
    wchar_t* emptyName[] = {empty};
    wchar_t* missing[] = {nullptr};
    EXPECT_STREQ(chooseServiceName(1, named, 6000), L"My App");
    EXPECT_STREQ(chooseServiceName(0, named, 6000), L"unknown");
    EXPECT_STREQ(chooseServiceName(1, emptyName, 6000), L"unknown");
    EXPECT_STREQ(chooseServiceName(1, missing, 6000), L"unknown");
    EXPECT_STREQ(chooseServiceName(0, nullptr, 6000), L"unknown");
}

TEST(ServiceName, NameThatDoesNotFitIsRefusedNotCut) {
    std::wstring fits(5999, L'n');
    std::wstring tooLong(6000, L'n');
    wchar_t* fitting[] = {fits.data()};
    wchar_t* overlong[] = {tooLong.data()};
    EXPECT_EQ(chooseServiceName(1, fitting, 6000), fits.data());
    EXPECT_STREQ(chooseServiceName(1, overlong, 6000), L"unknown");
}
