// The packer and the launcher judge included-file names by one rule: what the packer refuses
// to write, the launcher refuses to extract, and the other way round.
#include "config/extraction_rules.h"
#include "config/included_file_name.h"
#include "toml_config.h"

#include <gtest/gtest.h>

namespace {

bool packerAccepts(const std::string& path) {
    std::string reason;
    return checkIncludedFilePath(path, reason);
}

}  // namespace

TEST(IncludedFileName, DeviceNamesAreRefusedByPackerAndLauncher) {
    for (const char* path :
         {"CON", "con", "Prn.txt", "aux.tar.gz", "NUL.", "nul  ", "Nul .txt", "COM1", "com9.log", "LPT1", "lpt9.",
          "COM0", "LPT\xB9", "com\xB2.x", "lib\\NUL", "lib\\Con.jar", "CON\\a.jar", "aux. . "}) {
        EXPECT_EQ(checkIncludedPath(path), IncludedPathProblem::DeviceName) << path;
        EXPECT_FALSE(packerAccepts(path)) << path;
    }
    std::string reason;
    checkIncludedFilePath("lib\\nul.jar", reason);
    EXPECT_EQ(reason, "names a Windows device (CON, PRN, AUX, NUL, COM1-9, LPT1-9), not a file");
}

TEST(IncludedFileName, NamesOfDotsAndSpacesAreRefusedByPackerAndLauncher) {
    for (const char* path : {".", "..", "...", " ", ". .", "lib\\...", "... \\a.jar"}) {
        EXPECT_EQ(checkIncludedPath(path), IncludedPathProblem::OutsideDirectory) << '"' << path << '"';
        EXPECT_FALSE(packerAccepts(path)) << '"' << path << '"';
    }
}

TEST(IncludedFileName, NamesThatOnlyResembleDevicesAreAcceptedByBoth) {
    for (const char* path : {"CONSOLE", "con_", "icon", "a.con", "COM10", "LPT", "COMx.txt", "nul-1.txt",
                             "lib\\connect.jar", "com1x", " con", "AUXILIARY.txt", "..a.jar", "a..", "lib\\a.b.c"}) {
        EXPECT_EQ(checkIncludedPath(path), IncludedPathProblem::None) << path;
        EXPECT_TRUE(packerAccepts(path)) << path;
    }
    EXPECT_EQ(checkIncludedFileName(""), IncludedNameProblem::None);
}
