#include "jvmsearch/jvm_library_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Names = std::vector<std::string>;
using WideNames = std::vector<std::wstring>;

TEST(BinDirectory, IsTheExecutablesDirectoryWithoutItsBackslash) {
    EXPECT_EQ(binDirectoryOf(R"(c:\java\jre\bin\java.exe)"), R"(c:\java\jre\bin)");
    EXPECT_EQ(binDirectoryOf(R"(c:\java\jre\bin\javaw.exe)"), R"(c:\java\jre\bin)");
    EXPECT_EQ(binDirectoryOf(R"(C:\Java\bin\JAVAW.EXE)"), R"(C:\Java\bin)");
}

TEST(BinDirectory, AnyOtherNameCountsAsLongAsJavaExe) {
    // "jdb.exe" is one character shorter than "java.exe": the cut takes one more.
    EXPECT_EQ(binDirectoryOf(R"(c:\j\bin\xjdb.exe)"), R"(c:\j\bin)");
    EXPECT_EQ(binDirectoryOf("java.exe"), "");
    EXPECT_EQ(binDirectoryOf("javaw.exe"), "");
    EXPECT_EQ(binDirectoryOf(""), "");
}

TEST(InnerJre, FollowsTheExecutablesDirectory) {
    EXPECT_EQ(innerJreJavaExe(R"(c:\jdk\bin\java.exe)"), R"(c:\jdk\bin\..\jre\bin\java.exe)");
    // The windowed executable leads to java.exe of the inner runtime all the same.
    EXPECT_EQ(innerJreJavaExe(R"(c:\jdk\bin\javaw.exe)"), R"(c:\jdk\bin\..\jre\bin\java.exe)");
    EXPECT_EQ(binDirectoryOf(innerJreJavaExe(R"(c:\jdk\bin\java.exe)")), R"(c:\jdk\bin\..\jre\bin)");
    EXPECT_EQ(innerJreJavaExe("java.exe"), "");
}

TEST(JvmSubdirectories, ConfiguredTypeComesFirst) {
    EXPECT_EQ(jvmSubdirectoryOrder(""), (Names{"client", "server", "j9vm", "hotspot", "jrockit"}));
    EXPECT_EQ(jvmSubdirectoryOrder("server"), (Names{"server", "client", "server", "j9vm", "hotspot", "jrockit"}));
    EXPECT_EQ(jvmSubdirectoryOrder("minimal"), (Names{"minimal", "client", "server", "j9vm", "hotspot", "jrockit"}));
    EXPECT_EQ(jvmLibraryPath(R"(c:\jre\bin)", "server"), R"(c:\jre\bin\server\jvm.dll)");
}

TEST(PrependToPath, RefusesAValueThatDoesNotFit) {
    EXPECT_EQ(prependToPath(L"c:\\jre\\bin", L"C:\\Windows", 100),
              std::optional<std::wstring>(L"c:\\jre\\bin;C:\\Windows"));
    // An unset PATH still gets the separator.
    EXPECT_EQ(prependToPath(L"d", L"", 100), std::optional<std::wstring>(L"d;"));
    // "d;pp" is four characters: it needs a capacity of five with the terminator.
    EXPECT_EQ(prependToPath(L"d", L"pp", 5), std::optional<std::wstring>(L"d;pp"));
    EXPECT_EQ(prependToPath(L"d", L"pp", 4), std::nullopt);
    EXPECT_EQ(prependToPath(L"d", L"", 0), std::nullopt);
}

TEST(ReducePath, KeepsEntriesUnderTheWindowsDirectoryInTheirOrder) {
    EXPECT_EQ(reducePathToWindowsDirectory(LR"(C:\Windows\system32;C:\Tools;C:\WINDOWS)", LR"(C:\Windows)"),
              LR"(C:\Windows\system32;C:\WINDOWS)");
    EXPECT_EQ(reducePathToWindowsDirectory(LR"(c:\windows;C:\Windows\System32\Wbem)", LR"(C:\Windows)"),
              LR"(c:\windows;C:\Windows\System32\Wbem)");
}

TEST(ReducePath, ComparesOverTheWindowsDirectorysLengthOnly) {
    // A prefix match is enough, so a sibling folder whose name starts the same is kept.
    EXPECT_EQ(reducePathToWindowsDirectory(LR"(C:\WindowsApps;C:\Win)", LR"(C:\Windows)"), LR"(C:\WindowsApps)");
    EXPECT_EQ(reducePathToWindowsDirectory(LR"(;;C:\Windows;;)", LR"(C:\Windows)"), LR"(C:\Windows)");
}

TEST(ReducePath, NothingUnderTheWindowsDirectoryGivesEmpty) {
    EXPECT_EQ(reducePathToWindowsDirectory(LR"(C:\Tools;D:\bin)", LR"(C:\Windows)"), L"");
    EXPECT_EQ(reducePathToWindowsDirectory(L"", LR"(C:\Windows)"), L"");
}

TEST(NativeLibraryPath, DirectoriesThenSeparatorThenPath) {
    NativeLibraryPath path = composeNativeLibraryPath({LR"(D:\app\lib)", LR"(C:\native)"}, LR"(C:\Windows)", 100);
    EXPECT_EQ(path.value, LR"(D:\app\lib;C:\native;C:\Windows)");
    EXPECT_EQ(path.directoriesKept, 2u);
    EXPECT_TRUE(path.pathAppended);

    path = composeNativeLibraryPath({}, LR"(C:\Windows;C:\Tools)", 100);
    EXPECT_EQ(path.value, LR"(C:\Windows;C:\Tools)");

    path = composeNativeLibraryPath({L"d"}, L"", 100);
    EXPECT_EQ(path.value, L"d;");
}

TEST(NativeLibraryPath, APathThatDoesNotFitIsLeftOutWhole) {
    // "d;" leaves three characters of a capacity of six (terminator included).
    NativeLibraryPath path = composeNativeLibraryPath({L"d"}, L"abc", 6);
    EXPECT_EQ(path.value, L"d;abc");
    EXPECT_TRUE(path.pathAppended);
    path = composeNativeLibraryPath({L"d"}, L"abcd", 6);
    EXPECT_EQ(path.value, L"d;");
    EXPECT_FALSE(path.pathAppended);
}

TEST(NativeLibraryPath, DirectoriesStopAtTheFirstThatDoesNotFit) {
    NativeLibraryPath path = composeNativeLibraryPath({L"aa", L"bbbb", L"c"}, L"", 7);
    EXPECT_EQ(path.value, L"aa;");
    EXPECT_EQ(path.directoriesKept, 1u);
    EXPECT_LT(path.value.size(), 7u);

    path = composeNativeLibraryPath({L"toolong"}, L"p", 4);
    EXPECT_EQ(path.value, L"p");
    EXPECT_EQ(path.directoriesKept, 0u);
}

TEST(UcrtbasePreload, OnlyBeforeSixPointFour) {
    EXPECT_TRUE(needsUcrtbasePreload(5, 1));
    EXPECT_TRUE(needsUcrtbasePreload(6, 1));
    EXPECT_TRUE(needsUcrtbasePreload(6, 3));
    EXPECT_FALSE(needsUcrtbasePreload(6, 4));
    EXPECT_FALSE(needsUcrtbasePreload(10, 0));
}

TEST(JvmLibraryReasons, NameEveryPlaceLookedInAndTheBitness) {
    EXPECT_EQ(missingJvmLibraryReason({R"(c:\jdk\bin)", R"(c:\jdk\bin\..\jre\bin)"}, {"client", "server"}),
              R"(no jvm.dll below c:\jdk\bin or below c:\jdk\bin\..\jre\bin in client or server)");
    EXPECT_EQ(missingJvmLibraryReason({R"(c:\jre\bin)"}, jvmSubdirectoryOrder("")),
              R"(no jvm.dll below c:\jre\bin in client, server, j9vm, hotspot or jrockit)");
    EXPECT_EQ(bitnessReason(64), "not a 64-bit library; this launcher runs 64-bit Java runtimes only");
    EXPECT_EQ(bitnessReason(32), "not a 32-bit library; this launcher runs 32-bit Java runtimes only");
}
