#include "core/child_process_rules.h"

#include <gtest/gtest.h>

TEST(ChildProcess, ProgramIsTheFirstWordAsTheSystemReadsIt) {
    EXPECT_EQ(programOfCommandLine(std::string("\"C:\\Program Files\\app\\x.exe\" \"My App\" __qwk_restart")),
              "C:\\Program Files\\app\\x.exe");
    EXPECT_EQ(programOfCommandLine(std::string("\"C:\\PROGRA~1\\java\\bin\\java.exe\" -version")),
              "C:\\PROGRA~1\\java\\bin\\java.exe");
    EXPECT_EQ(programOfCommandLine(std::wstring(L"C:\\windows\\system32\\cmd.exe /C for")),
              L"C:\\windows\\system32\\cmd.exe");
    EXPECT_EQ(programOfCommandLine(std::wstring(L"C:\\x.exe\t-a")), L"C:\\x.exe");
    // No usable first word: nothing is named, so nothing is started.
    EXPECT_EQ(programOfCommandLine(std::string("\"C:\\unclosed\\x.exe -a")), "");
    EXPECT_EQ(programOfCommandLine(std::string(" C:\\x.exe")), "");
    EXPECT_EQ(programOfCommandLine(std::string("")), "");
}

TEST(ChildProcess, OnlyFullPathsNameAProgram) {
    EXPECT_TRUE(isFullProgramPath(std::string("C:\\jdk\\bin\\java.exe")));
    EXPECT_TRUE(isFullProgramPath(std::wstring(L"\\\\server\\share\\x.exe")));
    EXPECT_FALSE(isFullProgramPath(std::string("java.exe")));
    EXPECT_FALSE(isFullProgramPath(std::string("bin\\java.exe")));
    EXPECT_FALSE(isFullProgramPath(std::string("C:java.exe")));
    EXPECT_FALSE(isFullProgramPath(std::wstring(L"\\java.exe")));
    EXPECT_FALSE(isFullProgramPath(std::wstring(L"")));
}

TEST(ChildProcess, InheritedHandlesAreDistinctAndPresent) {
    using Handles = std::vector<uintptr_t>;
    // A pipe end that is both standard output and standard error is listed once.
    EXPECT_EQ(handlesToInherit(Handles{0x10, 0x24, 0x24}), (Handles{0x10, 0x24}));
    EXPECT_EQ(handlesToInherit(Handles{0, 0, 0x30}), (Handles{0x30}));
    EXPECT_EQ(handlesToInherit(Handles{0, 0, 0}), Handles{});
}
