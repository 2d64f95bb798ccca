#include "jvmsearch/unpack_jre_rules.h"

#include <gtest/gtest.h>

TEST(UnpackJre, PackedNameLosesItsPackEnding) {
    EXPECT_EQ(jarNameForPackedFile("rt.jar.pack"), "rt.jar");
    EXPECT_EQ(jarNameForPackedFile("localedata.jar.pack"), "localedata.jar");
    EXPECT_EQ(jarNameForPackedFile("RT.JAR.PACK"), "RT.JAR");
    EXPECT_EQ(jarNameForPackedFile("a.b.jar.pack"), "a.b.jar");
}

TEST(UnpackJre, NamesWithoutAJarToRestoreAreRefused) {
    EXPECT_EQ(jarNameForPackedFile(".jar.pack"), std::nullopt);
    EXPECT_EQ(jarNameForPackedFile("rt.jar.pack2"), std::nullopt);
    EXPECT_EQ(jarNameForPackedFile("rt.pack"), std::nullopt);
    EXPECT_EQ(jarNameForPackedFile("pack"), std::nullopt);
    EXPECT_EQ(jarNameForPackedFile(""), std::nullopt);
}

TEST(UnpackJre, CommandLineIsTheTwoQuotedPathsAfterR) {
    EXPECT_EQ(unpack200CommandLine("c:\\jre\\lib\\rt.jar.pack", "c:\\jre\\lib\\rt.jar"),
              "-r \"c:\\jre\\lib\\rt.jar.pack\" \"c:\\jre\\lib\\rt.jar\"");
}
