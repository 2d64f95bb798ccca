#include "core/text_helpers.h"

#include <gtest/gtest.h>

#include <climits>

#include <string>
#include <vector>

namespace {

using Pieces = std::vector<std::string>;
using WidePieces = std::vector<std::wstring>;

}  // namespace

TEST(SplitList, SkippedEmptyPiecesLeaveTheRestOfTheList) {
    EXPECT_EQ(splitList("a;b;c", ';', EmptyPieces::Skip), (Pieces{"a", "b", "c"}));
    EXPECT_EQ(splitList(";a;;b;", ';', EmptyPieces::Skip), (Pieces{"a", "b"}));
    EXPECT_EQ(splitList(";;", ';', EmptyPieces::Skip), Pieces{});
    EXPECT_EQ(splitList("", ';', EmptyPieces::Skip), Pieces{});
    EXPECT_EQ(splitList(L"C:\\a;;D:\\b;", L';', EmptyPieces::Skip), (WidePieces{L"C:\\a", L"D:\\b"}));
}

TEST(SplitList, AnEmptyPieceEndsTheListWhenAsked) {
    EXPECT_EQ(splitList("a;b;c", ';', EmptyPieces::EndList), (Pieces{"a", "b", "c"}));
    EXPECT_EQ(splitList("a;;b", ';', EmptyPieces::EndList), (Pieces{"a"}));
    EXPECT_EQ(splitList(";a", ';', EmptyPieces::EndList), Pieces{});
    EXPECT_EQ(splitList("", ';', EmptyPieces::EndList), Pieces{});
    EXPECT_EQ(splitList(L"x;;y", L';', EmptyPieces::EndList), (WidePieces{L"x"}));
}

TEST(SplitList, ATrailingSeparatorAddsNoPiece) {
    EXPECT_EQ(splitList("a;b;", ';', EmptyPieces::Skip), (Pieces{"a", "b"}));
    EXPECT_EQ(splitList("a;b;", ';', EmptyPieces::EndList), (Pieces{"a", "b"}));
    EXPECT_EQ(splitList("a;", ';', EmptyPieces::EndList), (Pieces{"a"}));
}

TEST(SplitList, PiecesKeepTheirSpacesAndOtherSeparators) {
    EXPECT_EQ(splitList(" a ; b,c ", ';', EmptyPieces::Skip), (Pieces{" a ", " b,c "}));
    EXPECT_EQ(splitList("a,b;c", ',', EmptyPieces::Skip), (Pieces{"a", "b;c"}));
}

TEST(SplitList, ATextWithANulIsSplitWhole) {
    // A caller that wants C-string semantics hands over the text up to its NUL itself.
    EXPECT_EQ(splitList(std::string_view("a\0b;c", 5), ';', EmptyPieces::Skip), (Pieces{std::string("a\0b", 3), "c"}));
}

TEST(AsciiLower, OnlyAsciiCapitalsChange) {
    EXPECT_EQ(asciiLower('A'), 'a');
    EXPECT_EQ(asciiLower('Z'), 'z');
    EXPECT_EQ(asciiLower('a'), 'a');
    EXPECT_EQ(asciiLower('@'), '@');  // just below 'A'
    EXPECT_EQ(asciiLower('['), '[');  // just above 'Z'
    EXPECT_EQ(asciiLower(L'Q'), L'q');
}

TEST(AsciiLower, NonAsciiValuesAreUntouched) {
    // 0xC0..0xDE are capitals in Latin-1 and code page 1252; in other code pages the same
    // bytes are other letters or the lead byte of a double-byte character.
    for (int byte = 0x80; byte <= 0xFF; ++byte)
        EXPECT_EQ(asciiLower(static_cast<char>(byte)), static_cast<char>(byte)) << byte;
    EXPECT_EQ(asciiLower(L'\u00C4'), L'\u00C4');  // Ä
    EXPECT_EQ(asciiLower(L'\u0130'), L'\u0130');  // İ
    EXPECT_EQ(asciiLower(L'\uFF21'), L'\uFF21');  // fullwidth A
}

TEST(PrefixAndSuffix, ExactComparison) {
    EXPECT_TRUE(startsWith("-Xss512k", "-Xss"));
    EXPECT_FALSE(startsWith("-xss512k", "-Xss"));
    EXPECT_FALSE(startsWith("-Xs", "-Xss"));
    EXPECT_TRUE(startsWith("abc", ""));
    EXPECT_TRUE(startsWith(L"-Jx", L"-J"));
    EXPECT_FALSE(startsWith(L"-", L"-J"));

    EXPECT_TRUE(endsWith("a;", ";"));
    EXPECT_FALSE(endsWith("", ";"));
    EXPECT_FALSE(endsWith(";a", ";"));
    EXPECT_TRUE(endsWith("C:\\jre\\bin\\javaw.exe", "javaw.exe"));
    EXPECT_FALSE(endsWith("C:\\jre\\bin\\JAVAW.EXE", "javaw.exe"));
    EXPECT_FALSE(endsWith("w.exe", "javaw.exe"));
    EXPECT_TRUE(endsWith(L"x", L""));
}

TEST(PrefixAndSuffix, AsciiCaseIgnoredWhenAsked) {
    EXPECT_TRUE(endsWithIgnoringAsciiCase("C:\\JRE\\BIN\\JAVAW.EXE", "javaw.exe"));
    EXPECT_TRUE(endsWithIgnoringAsciiCase("a.Exe", ".eXe"));
    EXPECT_FALSE(endsWithIgnoringAsciiCase("exe", ".exe"));
    EXPECT_TRUE(startsWithIgnoringAsciiCase(L"c:\\windows\\system32", L"C:\\Windows"));
    EXPECT_FALSE(startsWithIgnoringAsciiCase(L"C:\\Win", L"C:\\Windows"));
    EXPECT_TRUE(startsWithIgnoringAsciiCase("LIB", "lib"));
    EXPECT_TRUE(endsWithIgnoringAsciiCase(L"X.JAR.PACK", L".jar.pack"));
}

TEST(PrefixAndSuffix, NonAsciiLettersMustMatchExactly) {
    EXPECT_TRUE(endsWithIgnoringAsciiCase("C:\\\xC4PP", "\xC4pp"));
    EXPECT_FALSE(endsWithIgnoringAsciiCase("C:\\\xC4PP", "\xE4pp"));  // Ä is not folded to ä
    EXPECT_FALSE(startsWithIgnoringAsciiCase(L"\u00C4", L"\u00E4"));
}

TEST(DecimalText, DigitsAndSignAsTheNarrowFormGivesThem) {
    EXPECT_EQ(decimalText(0), L"0");
    EXPECT_EQ(decimalText(1066), L"1066");
    EXPECT_EQ(decimalText(4294967295LL), L"4294967295");
    EXPECT_EQ(decimalText(-5), L"-5");
    EXPECT_EQ(decimalText(LLONG_MIN), L"-9223372036854775808");
}
