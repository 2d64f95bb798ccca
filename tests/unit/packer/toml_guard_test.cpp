#include "toml_config.h"
#include "toml_guard.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

std::string tomlError(const std::string& text, const std::string& base = "/nonexistent") {
    Description d;
    std::string error;
    EXPECT_FALSE(parseTomlConfig(text, "app.toml", base, d, error)) << "accepted:\n" << text;
    return error;
}

bool shapesPass(const std::string& text) {
    uint32_t line = 0;
    std::string reason;
    bool ok = checkTomlShapes(text, line, reason);
    EXPECT_TRUE(ok) << "line " << line << ": " << reason << "\n" << text;
    return ok;
}

}  // namespace

// Each of these sent the parsing library into an assertion or unreachable code.
TEST(PackerTomlGuard, ShapesTheParserCannotSurviveAreRefusedWithTheirLine) {
    const std::string header = "a table header must begin with a name";
    EXPECT_EQ(tomlError("[[[1]]]\n").rfind("app.toml:1: " + header, 0), 0u);
    EXPECT_EQ(tomlError("[application]\nmain_class = \"a.B\"\n\n  [[=\n").rfind("app.toml:4: " + header, 0), 0u);
    EXPECT_EQ(tomlError("[\x01]\n").rfind("app.toml:1: " + header, 0), 0u);
    EXPECT_EQ(tomlError("[application]\n[app\x01lication]\n"),
              "app.toml:2: a control character (U+0001) outside a string");
    EXPECT_EQ(tomlError("# comment\ncaf\xC3\xA9 = 1\n").rfind("app.toml:2: a non-ASCII character outside", 0), 0u);
    EXPECT_EQ(tomlError("[application]\nmain_class = \"a\" \xE2\xB4\x80\n").rfind("app.toml:2: a non-ASCII", 0), 0u);
    EXPECT_EQ(tomlError("[application]\n\xC3\xA9 = 1\n").rfind("app.toml:2: a non-ASCII", 0), 0u);
}

TEST(PackerTomlGuard, ValidTextThatResemblesThoseShapesIsLeftToTheParser) {
    // Arrays that open at the start of a line belong to the value, not to a header.
    shapesPass("a = [\n  [1, 2],\n[ [3] ],\n]\n[b]\n");
    // Strings and comments may hold anything the parser allows there, brackets included.
    shapesPass("a = \"caf\xC3\xA9 [[= \\\" \"\n# \xC3\xA9 [[=\nb = 'x\\'\n[c]\n");
    shapesPass("a = \"\"\"\n[[=\n\xC3\xA9 \\\"\"\" \"\"\"\"\n[b]\nc = '''\n[[=\n''''' \n");
    shapesPass("\xEF\xBB\xBF[a]\n\"\xC3\xA9\" = 1\n");
    shapesPass("[ \"quoted\" ]\n[[ 'literal'.x ]]\n[a-b_1]\n");
}

// The library's test for non-ASCII white space used to reach unreachable code for letters
// such as U+00DC; after a line-ending backslash in a multi-line string it is asked about the
// first letter of the next line.
TEST(PackerTomlGuard, NonAsciiTextAfterALineEndingBackslashIsRead) {
    Description d;
    std::string error;
    ASSERT_TRUE(
        parseTomlConfig("[messages]\nerror_title = \"\"\"Hallo \\\n    \xC3\x9C"
                        "bersicht\"\"\"\n",
                        "app.toml", "/nonexistent", d, error))
        << error;
    ASSERT_EQ(d.messages.size(), 1u);
    EXPECT_EQ(d.messages[0].second, u"Hallo \u00DCbersicht");
    EXPECT_EQ(tomlError("[messages]\nerror_title = \"\"\"a\\\xC3\xA9\"\"\"\n").rfind("app.toml:2: ", 0), 0u);
}

TEST(PackerTomlGuard, AnIncludedSourceThatIsAFolderIsRefusedWithItsLine) {
    char pattern[] = "/tmp/packer_guardXXXXXX";
    std::string folder = mkdtemp(pattern);
    std::filesystem::create_directory(folder + "/sub");
    EXPECT_EQ(tomlError("[[files]]\npath = 'a.bin'\nsource = \"sub\"\n", folder),
              "app.toml:3: included file \"sub\" is a folder, not a file");
    std::filesystem::remove_all(folder);
}
