#include "core/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace {

Utf8Validator validated(const std::string& bytes, size_t pieceSize) {
    Utf8Validator validator;
    for (size_t at = 0; at < bytes.size(); at += pieceSize)
        validator.feed(std::string_view(bytes).substr(at, pieceSize));
    return validator;
}

}  // namespace

TEST(Utf8Validator, AcceptsOnlyStrictCompleteSequencesInAnyPieces) {
    const std::string valid[] = {"",
                                 "plain",
                                 "caf\xC3\xA9",
                                 "\xE2\x82\xAC",
                                 "\xF0\x9F\x98\x80",
                                 "\xF4\x8F\xBF\xBF",
                                 "\xED\x9F\xBF" /* U+D7FF */,
                                 "\xEE\x80\x80" /* U+E000 */};
    const std::string invalid[] = {
        "caf\xE9",           // code page 1252
        "\xC3",              // cut short
        "\xE2\x82",          // cut short
        "\xC0\xAF",          // overlong
        "\xC1\xBF",          // overlong
        "\xE0\x9F\xBF",      // overlong
        "\xF0\x8F\xBF\xBF",  // overlong
        "\xED\xA0\x80",      // a surrogate
        "\xF4\x90\x80\x80",  // above U+10FFFF
        "\xF5\x80\x80\x80",  // no such lead byte
        "\x80",              // a continuation byte alone
        "\xC3\xA9\xA9",      // one continuation byte too many
        "\xE2\x28\xAC",      // an ASCII byte inside a sequence
    };
    for (const std::string& bytes : valid) {
        EXPECT_TRUE(validated(bytes, bytes.size() + 1).valid()) << bytes;
        EXPECT_TRUE(validated(bytes, 1).valid()) << bytes;
    }
    for (const std::string& bytes : invalid) {
        EXPECT_FALSE(validated(bytes, bytes.size() + 1).valid()) << bytes;
        EXPECT_FALSE(validated(bytes, 1).valid()) << bytes;
    }
    // A sequence cut between two pieces is valid once its rest arrives.
    Utf8Validator validator;
    validator.feed("ab\xE2\x82");
    EXPECT_FALSE(validator.valid());
    validator.feed("\xAC");
    EXPECT_TRUE(validator.valid());
}

TEST(Utf8Validator, NotesWhetherAnyByteWasAboveAscii) {
    EXPECT_FALSE(validated("-Xmx1g\n", 100).sawNonAscii());
    EXPECT_TRUE(validated("-Dx=\xC3\xA9", 100).sawNonAscii());
    EXPECT_TRUE(validated("-Dx=\xE9", 100).sawNonAscii());
}

TEST(Utf8Prefix, EndsBeforeASequenceThatIsNotComplete) {
    EXPECT_EQ(completeUtf8Prefix(""), 0u);
    EXPECT_EQ(completeUtf8Prefix("abc"), 3u);
    EXPECT_EQ(completeUtf8Prefix("ab\xC3"), 2u);
    EXPECT_EQ(completeUtf8Prefix("ab\xC3\xA9"), 4u);
    EXPECT_EQ(completeUtf8Prefix("ab\xE2\x82"), 2u);
    EXPECT_EQ(completeUtf8Prefix("ab\xE2\x82\xAC"), 5u);
    EXPECT_EQ(completeUtf8Prefix("a\xF0\x9F\x98"), 1u);
    EXPECT_EQ(completeUtf8Prefix("a\xF0\x9F\x98\x80"), 5u);
    EXPECT_EQ(completeUtf8Prefix("a\xFF"), 2u);  // starts no sequence: nothing is held back
}

TEST(Utf8Decoding, GivesUtf16UnitsAndReplacesBytesThatStartNothing) {
    EXPECT_EQ(utf16FromUtf8("caf\xC3\xA9 \xE2\x82\xAC"), std::wstring(L"caf\u00E9 \u20AC"));
    std::wstring emoji = utf16FromUtf8("\xF0\x9F\x98\x80");
    EXPECT_EQ(emoji, (std::wstring{static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)}));
    EXPECT_EQ(utf16FromUtf8("a\xE9z"), std::wstring(L"a\uFFFDz"));
    EXPECT_EQ(utf16FromUtf8("a\xE2\x82"), std::wstring(L"a\uFFFD\uFFFD"));
    EXPECT_EQ(utf16FromUtf8("\xED\xA0\x80"), std::wstring(L"\uFFFD\uFFFD\uFFFD"));
}

TEST(ModifiedUtf8, NulAsTwoBytesAndEveryUnitOnItsOwn) {
    EXPECT_EQ(modifiedUtf8(L"Chargement \u00E9l\u00E8ve"), "Chargement \xC3\xA9l\xC3\xA8ve");
    EXPECT_EQ(modifiedUtf8(std::wstring(L"a\0b", 3)), std::string("a\xC0\x80"
                                                                  "b"));
    EXPECT_EQ(modifiedUtf8(L"\u20AC\u07FF\u0080\u007F"), "\xE2\x82\xAC\xDF\xBF\xC2\x80\x7F");
    // A supplementary character as its two surrogates, three bytes each.
    const std::wstring pair{static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)};
    EXPECT_EQ(modifiedUtf8(pair), "\xED\xA0\xBD\xED\xB8\x80");
    // A lone surrogate is passed on as it is.
    EXPECT_EQ(modifiedUtf8(std::wstring(1, static_cast<wchar_t>(0xDC00))), "\xED\xB0\x80");
    if (sizeof(wchar_t) == 4) {
        // Where a wchar_t holds a whole code point, it is split into the same pair.
        EXPECT_EQ(modifiedUtf8(std::wstring(1, static_cast<wchar_t>(0x1F600))), "\xED\xA0\xBD\xED\xB8\x80");
    }
    EXPECT_EQ(modifiedUtf8(L""), "");
}
