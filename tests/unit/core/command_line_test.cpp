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

namespace {

std::wstring joinedQuoted(const Args& args) {
    std::wstring line;
    for (const std::wstring& arg : args) {
        if (!line.empty()) line += L' ';
        line += quoteArgument(arg);
    }
    return line;
}

}  // namespace

TEST(QuoteArgument, EveryKindOfCharacterComesBackExactlyFromTheSplitting) {
    // Each list is one command line; the marker at the end shows that no earlier argument
    // swallowed what follows it.
    const Args cases[] = {
        {L"plain", L"", L"marker"},
        {L"two words", L"  leading and trailing  ", L"marker"},
        {L"tab\there", L"\t", L"marker"},
        {L"say \"hi\"", L"\"", L"\"\"", L"a\"b", L"\"starts", L"ends\"", L"marker"},
        {L"\"a\"\"b\"", L"\"\"\"\"", L"marker"},
        {L"C:\\dir\\", L"\\", L"a\\\"b", L"\\\\server\\share\\", L"trailing \\", L"marker"},
        {L"-J-Dx=\"y z\"", L"@file", L"/install", L"marker"},
        {L"gr\u00fc\u00dfe", L"\u65e5\u672c \u8a9e", L"\U0001F600\"", L"marker"},
    };
    for (const Args& args : cases) EXPECT_EQ(splitCommandLine(joinedQuoted(args)), args) << joinedQuoted(args);
}

TEST(QuoteArgument, RandomTextsOfTheTrickyCharactersRoundTrip) {
    const wchar_t alphabet[] = {L'a', L' ', L'\t', L'"', L'\\', L'\u00e9', L'x'};
    unsigned state = 12345;
    auto next = [&state] {
        state = state * 1103515245u + 12345u;
        return (state >> 16) & 0x7fff;
    };
    for (int round = 0; round < 2000; ++round) {
        Args args;
        size_t count = 1 + next() % 4;
        for (size_t i = 0; i < count; ++i) {
            std::wstring arg;
            size_t length = next() % 7;
            for (size_t k = 0; k < length; ++k) arg += alphabet[next() % (sizeof alphabet / sizeof alphabet[0])];
            args.push_back(arg);
        }
        ASSERT_EQ(splitCommandLine(joinedQuoted(args)), args) << joinedQuoted(args);
    }
}

TEST(QuoteArgument, PlainWordsStayAsTheyAre) {
    EXPECT_EQ(quoteArgument(L"a\\b"), L"a\\b");
    EXPECT_EQ(quoteArgument(L"x y"), L"\"x y\"");
    EXPECT_EQ(quoteArgument(L""), L"\"\"");
    EXPECT_EQ(quoteArgument(L"a\"b"), L"\"a\"\"b\"");
}
