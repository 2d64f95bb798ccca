#include "service/service_commands_rules.h"

#include <gtest/gtest.h>

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
