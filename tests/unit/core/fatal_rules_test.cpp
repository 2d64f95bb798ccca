#include "core/fatal_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::wstring substituted(const wchar_t* text, const wchar_t* argument, size_t capacity = kMessageWorkCapacity) {
    std::vector<wchar_t> out(capacity, L'#');
    substituteFirstArgument(out.data(), capacity, text, argument);
    return out.data();
}

std::wstring shown(const wchar_t* text, const wchar_t* logPath, size_t capacity = kShownTextCapacity) {
    std::vector<wchar_t> out(capacity, L'#');
    composeShownText(out.data(), capacity, text, logPath);
    return out.data();
}

}  // namespace

TEST(MessageArgument, OnlyTheFirstPlaceholderIsReplaced) {
    EXPECT_EQ(substituted(L"Cannot find {0} in {0}", L"x"), L"Cannot find x in {0}");
    EXPECT_EQ(substituted(L"{0}", L"C:\\Program Files\\app"), L"C:\\Program Files\\app");
    EXPECT_EQ(substituted(L"Error {1} {0}", L"7"), L"Error {1} 7");
}

TEST(MessageArgument, NoArgumentOrNoPlaceholderLeavesTheText) {
    EXPECT_EQ(substituted(L"Cannot find {0}", nullptr), L"Cannot find {0}");
    EXPECT_EQ(substituted(L"No Java found", L"x"), L"No Java found");
    EXPECT_EQ(substituted(L"{0 } { 0}", L"x"), L"{0 } { 0}");
    EXPECT_EQ(substituted(L"", L"x"), L"");
}

TEST(MessageArgument, ArgumentIsInsertedLiterally) {
    EXPECT_EQ(substituted(L"a {0} b {0}", L"{0}%s"), L"a {0}%s b {0}");
    EXPECT_EQ(substituted(L"{0}", L""), L"");
}

TEST(MessageArgument, ResultIsBoundedByTheWorkArea) {
    std::wstring argument(kMessageWorkCapacity, L'a');
    std::wstring result = substituted(L"x{0}y", argument.c_str());
    EXPECT_EQ(result.size(), kMessageWorkCapacity - 1);
    EXPECT_EQ(result.substr(0, 2), L"xa");
    std::vector<wchar_t> out(10);
    EXPECT_FALSE(substituteFirstArgument(out.data(), out.size(), L"Cannot find {0}", L"x"));
    EXPECT_STREQ(out.data(), L"Cannot fi");
    EXPECT_TRUE(substituteFirstArgument(out.data(), out.size(), L"ab{0}cd", L"xyz"));
}

TEST(ShownText, LogReferenceFollowsAnEmptyLine) {
    EXPECT_EQ(shown(L"No Java found", L"C:\\Temp\\qwk_nlog_4.log"), L"No Java found\n\nLog: C:\\Temp\\qwk_nlog_4.log");
    EXPECT_EQ(shown(L"", L"c:\\qwk_nlog"), L"\n\nLog: c:\\qwk_nlog");
}

TEST(ShownText, WithoutLogTheTextStandsAlone) { EXPECT_EQ(shown(L"No Java found", nullptr), L"No Java found"); }

TEST(ShownText, TextIsCutBeforeTheLogReference) {
    std::wstring text(kShownTextCapacity, L't');
    std::wstring result = shown(text.c_str(), L"C:\\l.log");
    EXPECT_EQ(result.size(), kShownTextCapacity - 1);
    EXPECT_EQ(result.substr(result.size() - 15), L"\n\nLog: C:\\l.log");
    std::vector<wchar_t> out(20);
    EXPECT_FALSE(composeShownText(out.data(), out.size(), L"0123456789", L"C:\\l.log"));
    EXPECT_STREQ(out.data(), L"0123\n\nLog: C:\\l.log");
    EXPECT_TRUE(composeShownText(out.data(), out.size(), L"0123", L"C:\\l.log"));
    EXPECT_FALSE(composeShownText(out.data(), 5, L"abcdef", nullptr));
}

TEST(ShownText, OverlongLogPathIsCutAfterTheText) {
    std::wstring path(kShownTextCapacity, L'p');
    std::wstring result = shown(L"Fatal", path.c_str());
    EXPECT_EQ(result.size(), kShownTextCapacity - 1);
    EXPECT_EQ(result.substr(0, 13), L"Fatal\n\nLog: p");
}

TEST(MessageArgument, EightBitArgumentIsWidenedByteForByte) {
    std::vector<wchar_t> out(kMessageArgumentCapacity);
    EXPECT_TRUE(widenArgument(out.data(), out.size(),
                              "C:\\Gr\xf6\xdf"
                              "e"));
    EXPECT_STREQ(out.data(), L"C:\\Gr\u00f6\u00dfe");
    std::string tooLong(kMessageArgumentCapacity, 'a');
    EXPECT_FALSE(widenArgument(out.data(), out.size(), tooLong.c_str()));
    EXPECT_EQ(std::wstring(out.data()).size(), kMessageArgumentCapacity - 1);
}
