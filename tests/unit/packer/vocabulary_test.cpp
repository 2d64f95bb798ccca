#include "block_writer.h"
#include "inspect.h"
#include "toml_config.h"
#include "vocabulary.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

Description parsed(const std::string& text) {
    Description d;
    std::string error;
    EXPECT_TRUE(parseTomlConfig(text, "app.toml", "/nonexistent", d, error)) << error << "\n" << text;
    return d;
}

std::string refused(const std::string& text) {
    Description d;
    std::string error;
    EXPECT_FALSE(parseTomlConfig(text, "app.toml", "/nonexistent", d, error)) << "accepted:\n" << text;
    return error;
}

std::string setting(const Description& d, int id) {
    for (const auto& s : d.settings)
        if (s.first == id) return s.second;
    return "<absent>";
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// What inspect prints for a block holding only `settings`.
std::string printed(const std::vector<std::pair<int, std::string>>& settings) {
    Description d;
    d.settings = settings;
    PackedBlock block;
    InspectOutput output;
    std::string error;
    EXPECT_TRUE(parseBlock(buildBlock(d), block, error)) << error;
    EXPECT_TRUE(inspectBlock(block, "", output, error)) << error;
    return output.toml;
}

}  // namespace

TEST(PackerVocabulary, KindsAreNamedAndNumbersStillAccepted) {
    for (const auto& [name, value] : std::vector<std::pair<const char*, const char*>>{
             {"console", "0"}, {"gui", "1"}, {"auto_start_service", "4"}, {"console_with_message_boxes", "5"}}) {
        EXPECT_EQ(setting(parsed(std::string("[application]\nkind = \"") + name + "\"\n"), 107), value) << name;
        EXPECT_EQ(setting(parsed(std::string("[application]\nkind = ") + value + "\n"), 107), value);
    }
    EXPECT_EQ(setting(parsed("[application]\nkind = 7\n"), 107), "7");
    EXPECT_EQ(refused("[application]\nkind = \"Gui\"\n"),
              "app.toml:2: application.kind \"Gui\" is not a kind: console, gui, auto_start_service, "
              "console_with_message_boxes, or a number (did you mean gui?)");
    EXPECT_EQ(refused("[application]\nkind = \"1\"\n"),
              "app.toml:2: application.kind \"1\" is not a kind: console, gui, auto_start_service, "
              "console_with_message_boxes, or a number");
    // Inspect names the values that have a name and keeps the others as numbers.
    EXPECT_NE(printed({{107, "5"}}).find("kind = \"console_with_message_boxes\"\n"), std::string::npos);
    EXPECT_NE(printed({{107, "-3"}}).find("kind = -3\n"), std::string::npos);
}

TEST(PackerVocabulary, EntryTablesGiveTheLetterForm) {
    Description d = parsed(R"(
[classpath]
entries = [{ archive = 'lib\app.jar', required = true }, { directory = "classes" }, { env = "CP", required = false },
           { archives_in = 'lib' }, 'A1old.jar']
[modulepath]
entries = [{ required = true, archives_in = "mods" }]
[java]
search_sequence = [{ home = 'C:\jdk' }, { bundled = "jre" }, { runtime = "rt" }, { env = "JAVA_HOME" },
                   { java_on_path = true }, { registry = true }, "Bold"]
)");
    EXPECT_EQ(setting(d, 121), "A1lib\\app.jar;D0classes;E0CP;S0lib;A1old.jar");
    EXPECT_EQ(setting(d, 132), "S1mods");
    EXPECT_EQ(setting(d, 128), "AC:\\jdk;Bjre;Rrt;EJAVA_HOME;S;Y;Bold");
}

TEST(PackerVocabulary, EntryTablesWithMistakesAreRefusedEachOnItsLine) {
    std::vector<std::string> errors = lines(refused(R"([classpath]
entries = [
  { archive = "a.jar", directory = "b" },
  { archve = "a.jar" },
  { required = true },
  { archive = "a.jar", required = 1 },
  { archive = "" },
  { archive = "x;y" },
]
[java]
search_sequence = [{ registry = false }, { java_on_path = "yes" }, { required = true }, { home = 3 }]
)"));
    std::vector<std::string> expected = {
        "app.toml:3: classpath.entries entry names both archive and directory; write one entry each",
        "app.toml:4: classpath.entries entry: unknown key \"archve\" (did you mean archive?)",
        "app.toml:5: classpath.entries entry names none of archive, directory, env, archives_in",
        "app.toml:6: classpath.entries entry: required must be a boolean (true or false), not an integer",
        "app.toml:7: classpath.entries entry \"A0\": the entry names nothing after its type letter and required flag",
        "app.toml:8: classpath.entries entry \"A0x;y\" contains \";\", which separates the entries",
        "app.toml:11: java.search_sequence entry: registry must be true (leave the entry out otherwise)",
        "app.toml:11: java.search_sequence entry: java_on_path must be true (leave the entry out otherwise)",
        "app.toml:11: java.search_sequence entry: unknown key \"required\" (expected one of home, bundled, runtime, "
        "env, java_on_path, registry)",
        "app.toml:11: java.search_sequence entry: home must be a string, not an integer",
    };
    EXPECT_EQ(errors, expected);
}

TEST(PackerVocabulary, OlderKeyNamesOfTheLeadingArgumentsAreAccepted) {
    Description older = parsed(
        "[launcher_arguments]\npath1_enabled = true\npath1 = 'err.txt'\npath2_enabled = false\npath2 = 'out.txt'\n"
        "flag = true\n");
    Description newer = parsed(
        "[launcher_arguments]\nstderr_file_enabled = true\nstderr_file = 'err.txt'\nstdout_file_enabled = false\n"
        "stdout_file = 'out.txt'\nappend_output = true\n");
    std::vector<std::pair<int, std::string>> expected = {
        {102, "1"}, {103, "err.txt"}, {104, "0"}, {105, "out.txt"}, {106, "1"}};
    EXPECT_EQ(older.settings, expected);
    EXPECT_EQ(newer.settings, expected);
    EXPECT_EQ(refused("[launcher_arguments]\npath1 = 'a'\nstderr_file = 'b'\n"),
              "app.toml:3: setting 103 is given twice: as launcher_arguments.path1 (line 2) and as "
              "launcher_arguments.stderr_file");
}

TEST(PackerVersions, JavaFiveToEightMeanOneDotThem) {
    for (const auto& [written, stored] : std::vector<std::pair<const char*, const char*>>{{"8", "1.8"},
                                                                                          {"5", "1.5"},
                                                                                          {"7.0_80", "1.7.0_80"},
                                                                                          {"8.0.201", "1.8.0.201"},
                                                                                          {"1.8", "1.8"},
                                                                                          {"9", "9"},
                                                                                          {"4", "4"},
                                                                                          {"80", "80"},
                                                                                          {"11.0.2", "11.0.2"}}) {
        EXPECT_EQ(setting(parsed(std::string("[java]\nmin_version = \"") + written + "\"\n"), 126), stored) << written;
        EXPECT_EQ(setting(parsed(std::string("[java]\nmax_version = \"") + written + "\"\n"), 127), stored) << written;
    }
    // A raw "8" is not rewritten, and inspect keeps a stored "8" raw: read back by name it
    // would become 1.8.
    EXPECT_EQ(setting(parsed("[raw.settings]\n126 = \"8\"\n"), 126), "8");
    std::string toml = printed({{126, "8"}, {127, "1.8"}});
    EXPECT_NE(toml.find("[raw.settings]\n126 = \"8\"\n"), std::string::npos) << toml;
    EXPECT_NE(toml.find("max_version = \"1.8\"\n"), std::string::npos) << toml;
}

TEST(PackerVersions, AMinimumAboveTheMaximumIsRefused) {
    auto bounds = [](const std::string& low, const std::string& high) {
        return "[java]\nmin_version = \"" + low + "\"\nmax_version = \"" + high + "\"\n";
    };
    EXPECT_EQ(refused(bounds("17", "11")),
              "app.toml:3: java.min_version \"17\" is above java.max_version \"11\": no runtime can pass both");
    EXPECT_FALSE(refused(bounds("1.8", "7")).empty());
    EXPECT_FALSE(refused(bounds("11.0.5", "11.0.2")).empty());
    // The maximum is a prefix: 11.0.2 is within "11", and the bounds may be equal.
    for (const auto& [low, high] : std::vector<std::pair<const char*, const char*>>{
             {"11.0.2", "11"}, {"8", "1.8"}, {"11", "11.0.2"}, {"1.8.0_201", "8"}, {"17", "17"}})
        EXPECT_EQ(setting(parsed(bounds(low, high)), 126), javaUsersVersion(low)) << low << " " << high;
    // Given raw, the bounds are still compared; reported at the later of the two lines.
    EXPECT_EQ(refused("[raw.settings]\n127 = \"9\"\n[java]\nmin_version = \"10\"\n"),
              "app.toml:4: java.min_version \"10\" is above raw.settings.\"127\" \"9\": no runtime can pass both");
}

TEST(PackerToml, EveryMistakeOfAFileIsReportedInLineOrder) {
    std::string error = refused(R"([service]
name = 3
[java]
min_version = "x"
require_jdk = "yes"
[application]
kind = "windowed"
main_clas = "a.B"
[aplication]
[messages.de]
error_titel = "x"
)");
    std::vector<std::string> expected = {
        "app.toml:2: service.name must be a string, not an integer",
        "app.toml:4: java.min_version \"x\" is not a version: digits in pieces joined by '.', '_', '-' or '+', e.g. "
        "\"1.8.0_201\" or \"17\"",
        "app.toml:5: java.require_jdk must be a boolean (true or false), not a string",
        "app.toml:7: application.kind \"windowed\" is not a kind: console, gui, auto_start_service, "
        "console_with_message_boxes, or a number",
        "app.toml:8: unknown key \"main_clas\" in [application] (did you mean main_class?)",
        "app.toml:9: unknown table [aplication] (did you mean [application]?)",
        "app.toml:11: unknown key \"error_titel\" in [messages.de] (did you mean error_title?)",
    };
    EXPECT_EQ(lines(error), expected);
    // A syntax error ends the reading: it is the one mistake reported.
    EXPECT_EQ(lines(refused("[java]\nmin_version = \"x\"\nmax_version = \n")).size(), 1u);
}

TEST(PackerSuggestions, NearMissesAndKeysInTheWrongTable) {
    EXPECT_EQ(editDistance("min_versoin", "min_version"), 1u);  // two letters swapped
    EXPECT_EQ(editDistance("Main_Class", "main_class"), 0u);
    EXPECT_EQ(editDistance("kind", "id"), 2u);
    EXPECT_EQ(editDistance("", "abc"), 3u);
    EXPECT_EQ(nearestName("nme", {"name", "id"}), "name");
    EXPECT_EQ(nearestName("idd", {"name", "id"}), "id");
    EXPECT_EQ(nearestName("colour", {"name", "id"}), "");
    EXPECT_EQ(keySuggestion("java", "min_versoin"), " (did you mean min_version?)");
    EXPECT_EQ(keySuggestion("application", "min_version"), " (did you mean [java] min_version?)");
    EXPECT_EQ(keySuggestion("application", "max_verison"), " (did you mean [java] max_version?)");
    EXPECT_EQ(keySuggestion("service", "restarts"), " (did you mean [service.recovery] restarts?)");
    EXPECT_EQ(keySuggestion("java", "error_title"), " (did you mean [messages] error_title?)");
    EXPECT_EQ(keySuggestion("java", "completely_unrelated"), "");
    EXPECT_EQ(tableSuggestion("sevice"), " (did you mean [service]?)");
    EXPECT_EQ(tableSuggestion("nothing_like_it"), "");
    EXPECT_EQ(refused("[application]\nmin_version = \"11\"\n"),
              "app.toml:2: unknown key \"min_version\" in [application] (did you mean [java] min_version?)");
    EXPECT_EQ(refused("search_sequence = []\n"),
              "app.toml:1: \"search_sequence\" belongs in a table: write it under [java]");
}
