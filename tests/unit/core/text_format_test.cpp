#include "core/text_format.h"

#include <gtest/gtest.h>

TEST(TextFormat, WideAndNarrowStringConventions) {
    EXPECT_EQ(formatWideString(L"%s|%S", L"wide", "narrow"), L"wide|narrow");
    EXPECT_EQ(formatWideString(L"[%d:%d] ", 65, 7), L"[65:7] ");
    EXPECT_EQ(formatWideString(L"%I64d %I64d", 5000000000LL, -1LL), L"5000000000 -1");
    EXPECT_EQ(formatWideString(L"%u %x %X %c %%", 4000000000u, 255u, 255u, L'z'), L"4000000000 ff FF z %");
    EXPECT_EQ(formatWideString(L"%d", INT32_MIN), L"-2147483648");
    EXPECT_EQ(formatWideString(L"%5d|%-5d|%05d|%03d", 42, 42, 42, -7), L"   42|42   |00042|-07");
    EXPECT_EQ(formatWideString(L"%s %S", static_cast<const wchar_t*>(nullptr), static_cast<const char*>(nullptr)),
              L"(null) (null)");
}

TEST(TextFormat, UnknownConversionsAreCopiedAndConsumeNothing) {
    EXPECT_EQ(formatWideString(L"%q %d", 3), L"%q 3");
    EXPECT_EQ(formatWideString(L"100%"), L"100%");
}

TEST(TextFormat, BoundedFormatCutsAndTerminates) {
    wchar_t buffer[6];
    wmemset(buffer, L'#', 6);
    EXPECT_FALSE(formatWide(buffer, 5, L"%s-%d", L"abc", 123));
    EXPECT_STREQ(buffer, L"abc-");
    EXPECT_EQ(buffer[5], L'#');
    EXPECT_TRUE(formatWide(buffer, 6, L"%d", 12345));
    EXPECT_STREQ(buffer, L"12345");
}

TEST(TextFormat, BoundedCopies) {
    char narrow[4];
    EXPECT_TRUE(copyBounded(narrow, 4, "abc"));
    EXPECT_FALSE(copyBounded(narrow, 4, "abcd"));
    EXPECT_STREQ(narrow, "abc");
    wchar_t wide[3];
    EXPECT_FALSE(copyBounded(wide, 3, L"xyz"));
    EXPECT_STREQ(wide, L"xy");
    EXPECT_TRUE(copyBounded(wide, 3, nullptr));
    EXPECT_STREQ(wide, L"");
}
