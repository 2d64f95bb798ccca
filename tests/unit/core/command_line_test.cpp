#include "core/command_line.h"

#include <gtest/gtest.h>

using Args = ArgumentList;

TEST(CommandLine, SpacesAndTabsSeparateOutsideQuotes) {
    EXPECT_EQ(splitCommandLine(L"a b\tc"), (Args{L"a", L"b", L"c"}));
    EXPECT_EQ(splitCommandLine(L"a   \t b"), (Args{L"a", L"b"}));
    EXPECT_EQ(splitCommandLine(L"\"C:\\Program Files\\x.exe\" /run"), (Args{L"C:\\Program Files\\x.exe", L"/run"}));
    EXPECT_EQ(splitCommandLine(L"\"a b\"c d"), (Args{L"a bc", L"d"}));
}

TEST(CommandLine, LeadingWhiteSpaceGivesAnEmptyFirstArgumentTrailingGivesNothing) {
    EXPECT_EQ(splitCommandLine(L" a"), (Args{L"", L"a"}));
    EXPECT_EQ(splitCommandLine(L"a  "), (Args{L"a"}));
    EXPECT_EQ(splitCommandLine(L"   "), (Args{L""}));
    EXPECT_TRUE(splitCommandLine(L"").empty());
}

TEST(CommandLine, BackslashNeverEscapesAQuote) {
    EXPECT_EQ(splitCommandLine(LR"(a\"b c)"), (Args{LR"(a\b c)"}));
    EXPECT_EQ(splitCommandLine(LR"("a\" b)"), (Args{LR"(a\)", L"b"}));
    EXPECT_EQ(splitCommandLine(LR"(\\server\share x\\)"), (Args{LR"(\\server\share)", LR"(x\\)"}));
}

TEST(CommandLine, QuoteAfterAClosingQuoteIsLiteral) {
    EXPECT_EQ(splitCommandLine(L"\"a\"\"b\""), (Args{L"a\"b"}));
    EXPECT_EQ(splitCommandLine(L"\"\""), (Args{L""}));
    EXPECT_EQ(splitCommandLine(L"a\"\"b"), (Args{L"ab"}));
    EXPECT_EQ(splitCommandLine(L"\"\"\"\""), (Args{L"\""}));
    EXPECT_EQ(splitCommandLine(L"\"\" x"), (Args{L"", L"x"}));
}

TEST(CommandLine, QuotedSeparatorsAreKept) {
    EXPECT_EQ(splitCommandLine(L"\"a\tb  c\""), (Args{L"a\tb  c"}));
    // An unterminated quote runs to the end of the text.
    EXPECT_EQ(splitCommandLine(L"\"a b"), (Args{L"a b"}));
}

TEST(CommandLine, NextArgumentReportsWhereTheFollowingArgumentStarts) {
    const wchar_t* text = L"one  two";
    wchar_t work[16];
    const wchar_t* next = nextArgument(text, work);
    EXPECT_STREQ(work, L"one");
    ASSERT_NE(next, nullptr);
    EXPECT_STREQ(next, L"two");
    EXPECT_EQ(nextArgument(next, work), nullptr);
    EXPECT_STREQ(work, L"two");
}

TEST(CommandLine, SplitAppendsToAnExistingList) {
    Args list{L"first"};
    splitCommandLine(L"x y", list);
    EXPECT_EQ(list, (Args{L"first", L"x", L"y"}));
}
