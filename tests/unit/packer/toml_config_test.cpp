#include "block_writer.h"
#include "inspect.h"
#include "key_table.h"
#include "reference.h"
#include "toml_config.h"

#include "config/block_reader.h"
#include "support/block_builder.h"
#include "support/launcher_view.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

namespace fs = std::filesystem;

namespace {

// A scratch folder for included files and printed configurations, removed after the test.
class ScratchFolder {
public:
    ScratchFolder() {
        char pattern[] = "/tmp/packer_tomlXXXXXX";
        path_ = mkdtemp(pattern);
    }
    ~ScratchFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }
    void write(const std::string& name, const std::string& content) const {
        fs::create_directories(fs::path(path_ + "/" + name).parent_path());
        std::ofstream(path_ + "/" + name, std::ios::binary) << content;
    }

private:
    std::string path_;
};

Description parseToml(const std::string& text, const std::string& base = "/nonexistent") {
    Description d;
    std::string error;
    EXPECT_TRUE(parseTomlConfig(text, "app.toml", base, d, error)) << error;
    return d;
}

std::string tomlError(const std::string& text, const std::string& base = "/nonexistent") {
    Description d;
    std::string error;
    EXPECT_FALSE(parseTomlConfig(text, "app.toml", base, d, error)) << "accepted:\n" << text;
    return error;
}

std::string settingOf(const Description& d, int id) {
    for (const auto& s : d.settings)
        if (s.first == id) return s.second;
    return "<absent>";
}

// Inspects `block`, writing included files below `folder`, and packs the printed text again.
std::vector<uint8_t> repack(const std::vector<uint8_t>& block, const ScratchFolder& folder, InspectOutput& output) {
    PackedBlock parsed;
    std::string error;
    EXPECT_TRUE(parseBlock(block, parsed, error)) << error;
    EXPECT_TRUE(inspectBlock(parsed, "files", output, error)) << error;
    for (const auto& [name, content] : output.files)
        folder.write("files/" + name, std::string(content.begin(), content.end()));
    Description again;
    EXPECT_TRUE(parseTomlConfig(output.toml, "printed.toml", folder.path(), again, error)) << error << "\n"
                                                                                           << output.toml;
    return buildBlock(again);
}

}  // namespace

TEST(PackerToml, NamedKeysBecomeTheirIdsInCanonicalOrder) {
    ScratchFolder folder;
    folder.write("app.jar", "PK");
    Description d = parseToml(R"(
[service]
name = "Svc"
dependencies = ["Tcpip", "Dnscache"]
[java]
search_sequence = ['Rjre', "EJAVA_HOME", "Y"]
min_version = "1.8.0_201"
require_jdk = true
allow_prerelease = false
[application]
kind = -3
[[jvm.version_options]]
versions = "11-17"
options = "-Xss2m"
[messages]
error_title = "Fehler ä"
[messages.de_CH]
error_title = "CH"
[messages.de]
error_title = "DE"
[raw.messages.de]
4711 = "raw"
[[files]]
path = 'lib\app.jar'
source = "app.jar"
)",
                              folder.path());
    std::vector<std::pair<int, std::string>> expected = {
        {101, "Svc"},
        {107, "-3"},
        {126, "1.8.0_201"},
        {128, "Rjre;EJAVA_HOME;Y"},
        {130, "0"},
        {131, "1"},
        {149, "Tcpip,Dnscache"},
        {2002, "1"},
        {2003, "lib\\app.jar"},
        {10200, "1"},
        {10201, "11-17"},
        {10202, "-Xss2m"},
    };
    EXPECT_EQ(d.settings, expected);
    ASSERT_EQ(d.messages.size(), 1u);
    EXPECT_EQ(d.messages[0], (std::pair<int, std::u16string>{1000, u"Fehler \u00e4"}));
    // Locale sections by name, so the general "de" applies before the specific "de_CH".
    ASSERT_EQ(d.locales.size(), 2u);
    EXPECT_EQ(d.locales[0].name, "de");
    EXPECT_EQ(d.locales[0].overrides, (std::vector<std::pair<int, std::u16string>>{{1000, u"DE"}, {4711, u"raw"}}));
    EXPECT_EQ(d.locales[1].name, "de_CH");
    EXPECT_EQ(launcherView(buildBlock(d), "de_CH").messages.at(1000), L"CH");
    EXPECT_EQ(launcherView(buildBlock(d), "de_AT").messages.at(1000), L"DE");
    ASSERT_EQ(d.files.size(), 1u);
    EXPECT_EQ(d.files[0].content, (std::vector<uint8_t>{'P', 'K'}));
}

TEST(PackerToml, UnknownTablesAndKeysAreRefusedWithTheirLine) {
    EXPECT_EQ(tomlError("[application]\nkind = 1\n\n[aplication]\nid = \"x\"\n"),
              "app.toml:4: unknown table [aplication] (did you mean [application]?)");
    EXPECT_EQ(tomlError("[java]\nmin_versoin = \"11\"\n"),
              "app.toml:2: unknown key \"min_versoin\" in [java] (did you mean min_version?)");
    EXPECT_EQ(tomlError("main_class = \"a.B\"\n"),
              "app.toml:1: \"main_class\" belongs in a table: write it under [application]");
    EXPECT_EQ(tomlError("[messages]\nerror_titel = \"x\"\n"),
              "app.toml:2: unknown key \"error_titel\" in [messages] (did you mean error_title?)");
    EXPECT_EQ(tomlError("[messages.de]\n\n1000 = \"x\"\n"),
              "app.toml:3: unknown key \"1000\" in [messages.de] (numeric ids go in [raw.messages.de])");
    EXPECT_EQ(tomlError("[raw.setting]\n\"1\" = \"x\"\n"),
              "app.toml:1: unknown key \"setting\" in [raw] (expected [raw.settings] or [raw.messages])");
    EXPECT_EQ(tomlError("[raw.settings]\nabc = \"x\"\n"),
              "app.toml:2: key \"abc\" in [raw.settings] is not a numeric id");
    EXPECT_EQ(tomlError("[[jvm.version_options]]\nversions = \"11-17\"\noptoins = \"-Xmx1g\"\n"),
              "app.toml:3: unknown key \"optoins\" in [[jvm.version_options]] (did you mean options?)");
    EXPECT_EQ(tomlError("[[jvm.version_options]]\nversions = \"11-17\"\nx = \"-Xmx1g\"\n"),
              "app.toml:3: unknown key \"x\" in [[jvm.version_options]] (expected versions and options)");
    // The derived ids have no name of their own.
    EXPECT_NE(tomlError("[files]\ncount = 2\n").find("app.toml:1: files must be an array of tables"),
              std::string::npos);
}

TEST(PackerToml, WrongTypesAreRefusedWithTheirLine) {
    EXPECT_EQ(tomlError("[application]\nkind = true\n"),
              "app.toml:2: application.kind must be a kind (console, gui, auto_start_service, "
              "console_with_message_boxes) or an integer, not a boolean");
    EXPECT_EQ(tomlError("[java]\nrequire_jdk = 1\n"),
              "app.toml:2: java.require_jdk must be a boolean (true or false), not an integer");
    EXPECT_EQ(tomlError("[classpath]\nentries = \"A1a.jar\"\n"),
              "app.toml:2: classpath.entries must be an array of strings, not a string");
    EXPECT_EQ(tomlError("[classpath]\nentries = [\n  \"A1a.jar\",\n  7,\n]\n"),
              "app.toml:4: classpath.entries entries must be tables or strings, not an integer");
    EXPECT_EQ(tomlError("[jvm]\nnative_directories = [{ directory = 'x' }]\n"),
              "app.toml:2: jvm.native_directories entries must be strings, not a table");
    EXPECT_EQ(tomlError("[service]\nname = 1.5\n"),
              "app.toml:2: service.name must be a string, not a floating-point number");
    EXPECT_EQ(tomlError("[application]\nkind = 4294967296\n"),
              "app.toml:2: application.kind is out of range (the launcher reads a 32-bit integer)");
    EXPECT_EQ(tomlError("[jvm]\nversion_options = \"11-17\"\n"),
              "app.toml:2: jvm.version_options must be an array of tables ([[jvm.version_options]]), not a string");
    EXPECT_EQ(tomlError("[messages]\nerror_title = true\n"),
              "app.toml:2: message \"error_title\" must be a string, not a boolean");
    EXPECT_EQ(tomlError("[service]\nname = \"\xe2\x82\xac\"\n"),
              "app.toml:2: service.name must hold characters up to U+00FF only (settings are 8-bit text)");
}

TEST(PackerToml, VersionTextsMustParse) {
    for (const char* bad : {"1.8x", "abc", "11.", "-11", "1..2a", "99999999999"}) {
        std::string error = tomlError(std::string("[java]\n\nmin_version = \"") + bad + "\"\n");
        EXPECT_EQ(error.rfind("app.toml:3: java.min_version \"" + std::string(bad) + "\" ", 0), 0u) << error;
    }
    EXPECT_NE(tomlError("[java]\nmax_version = \"17-ea\"\n").find("is not a version"), std::string::npos);
    for (const char* good : {"1.8.0_201", "11", "17.0.2+8", ""})
        EXPECT_EQ(settingOf(parseToml(std::string("[java]\nmax_version = \"") + good + "\"\n"), 127), good);
    EXPECT_EQ(tomlError("[[jvm.version_options]]\nversions = \"11\"\noptions = \"\"\n"),
              "app.toml:2: jvm.version_options.versions \"11\" must be \"*\" and a pattern (\"*1.8*\") or a range of "
              "major versions (\"11-17\")");
}

TEST(PackerToml, ListEntriesNeedKnownTypeLetters) {
    EXPECT_EQ(tomlError("[classpath]\nentries = [\"A1a.jar\", \"X1b.jar\"]\n"),
              "app.toml:2: classpath.entries entry \"X1b.jar\": unknown type letter 'X' (A archive, D directory, E "
              "environment variable, S archives of a directory)");
    EXPECT_NE(tomlError("[modulepath]\nentries = [\"A2a.jar\"]\n").find("followed by 1 (required) or 0 (optional)"),
              std::string::npos);
    EXPECT_NE(tomlError("[classpath]\nentries = [\"D1\"]\n").find("names nothing"), std::string::npos);
    EXPECT_EQ(tomlError("[java]\nsearch_sequence = [\"Y\", \"Qjre\"]\n"),
              "app.toml:2: java.search_sequence entry \"Qjre\": unknown type letter 'Q' (A, B or R directory, E "
              "environment variable, S PATH, Y registry)");
    EXPECT_NE(tomlError("[java]\nsearch_sequence = [\"\"]\n").find("an empty entry"), std::string::npos);
    EXPECT_EQ(tomlError("[java]\nsearch_sequence = [\"Rjre;Y\"]\n"),
              "app.toml:2: java.search_sequence entry \"Rjre;Y\" contains \";\", which separates the entries");
    EXPECT_EQ(settingOf(parseToml("[classpath]\nentries = [\"A1a.jar\", \"D0classes\", \"E1LIB\", \"S0lib\"]\n"), 121),
              "A1a.jar;D0classes;E1LIB;S0lib");
}

TEST(PackerToml, IncludedFilesMustExistAndBeExtractable) {
    ScratchFolder folder;
    folder.write("a.bin", "x");
    auto error = [&](const std::string& text) { return tomlError(text, folder.path()); };
    EXPECT_EQ(error("[[files]]\npath = 'a.bin'\nsource = \"missing.bin\"\n"),
              "app.toml:3: included file \"missing.bin\" does not exist");
    EXPECT_EQ(error("[[files]]\nsource = \"a.bin\"\n"),
              "app.toml:1: a [[files]] entry needs a path (where the launcher extracts it)");
    EXPECT_EQ(error("[[files]]\npath = 'a\\b\\c.jar'\nsource = \"a.bin\"\n"),
              "app.toml:2: files.path \"a\\b\\c.jar\" is more than one directory deep; the launcher creates only the "
              "first level");
    EXPECT_NE(
        error("[[files]]\npath = 'lib/a.jar'\nsource = \"a.bin\"\n").find("separate directories with a backslash"),
        std::string::npos);
    EXPECT_NE(error("[[files]]\npath = '..\\a.jar'\nsource = \"a.bin\"\n").find("\"..\""), std::string::npos);
    EXPECT_NE(error("[[files]]\npath = 'C:\\a.jar'\nsource = \"a.bin\"\n").find("not relative"), std::string::npos);
    EXPECT_EQ(error("[[files]]\npath = 'A.jar'\nsource = \"a.bin\"\n[[files]]\npath = 'a.JAR'\nsource = \"a.bin\"\n"),
              "app.toml:5: files.path \"a.JAR\" is given twice (Windows names ignore case)");
    EXPECT_EQ(error("[[files]]\npath = 'a.jar'\nsource = \"a.bin\"\nsize = 3\n"),
              "app.toml:4: unknown key \"size\" in [[files]] (expected path and source)");
    EXPECT_EQ(error("[[files]]\npath = 'a.jar'\nsoruce = \"a.bin\"\n"),
              "app.toml:1: a [[files]] entry needs a source (the file to include)\n"
              "app.toml:3: unknown key \"soruce\" in [[files]] (did you mean source?)");
}

TEST(PackerToml, DuplicateKeysAndIdsAreRefusedWithTheirLine) {
    std::string error = tomlError("[java]\nmin_version = \"11\"\nmin_version = \"17\"\n");
    EXPECT_EQ(error.rfind("app.toml:3: ", 0), 0u) << error;
    error = tomlError("[java]\nrequire_jdk = true\n\n[java]\n");
    EXPECT_EQ(error.rfind("app.toml:4: ", 0), 0u) << error;
    EXPECT_EQ(tomlError("[jvm]\noptions = \"-Xmx1g\"\n[raw.settings]\n\"123\" = \"-Xmx2g\"\n"),
              "app.toml:4: setting 123 is given twice: as jvm.options (line 2) and as raw.settings.\"123\"");
    EXPECT_EQ(tomlError("[messages]\nerror_title = \"a\"\n[raw.messages]\n1000 = \"b\"\n"),
              "app.toml:4: message 1000 is given twice: as messages.error_title (line 2) and as raw.messages.\"1000\"");
    EXPECT_EQ(
        tomlError("[[jvm.version_options]]\nversions = \"*\"\n[raw.settings]\n10201 = \"*9*\"\n"),
        "app.toml:4: setting 10201 is given twice: as jvm.version_options (line 1) and as raw.settings.\"10201\"");
}

TEST(PackerToml, ServiceRecoveryIsASubTableOfService) {
    Description d = parseToml(R"(
[service]
name = "Svc"
display_name = "Ravel Service"
account = '.\ravel'
password_env = "RAVEL_SVC_PASSWORD"
delayed_start = true
start_check_seconds = 5

[service.recovery]
restart_delay_seconds = 30
restarts = 2
reset_seconds = 0
)");
    std::vector<std::pair<int, std::string>> expected = {
        {101, "Svc"},  {30104, "5"},        {30105, "Ravel Service"},
        {30106, "1"},  {30107, ".\\ravel"}, {30108, "RAVEL_SVC_PASSWORD"},
        {30111, "30"}, {30112, "2"},        {30113, "0"},
    };
    EXPECT_EQ(d.settings, expected);
    // Dotted keys under [service] are the same table.
    EXPECT_EQ(settingOf(parseToml("[service]\nrecovery.restarts = 3\n"), 30112), "3");
    EXPECT_EQ(settingOf(parseToml("[service.recovery]\nrestarts = 1\n"), 30112), "1");
}

TEST(PackerToml, ServiceValuesOutOfTheirRangeAreRefusedWithTheirLine) {
    EXPECT_EQ(tomlError("[service.recovery]\nrestarts = 1\n\nreset_seconds = -1\n"),
              "app.toml:4: service.recovery.reset_seconds must not be negative");
    EXPECT_EQ(tomlError("[service.recovery]\nrestarts = 101\n"),
              "app.toml:2: service.recovery.restarts must be at most 100");
    EXPECT_EQ(tomlError("[service.recovery]\nrestart_delay_seconds = 4294968\n"),
              "app.toml:2: service.recovery.restart_delay_seconds must be at most 4294967");
    EXPECT_EQ(tomlError("[service]\noutput_max_bytes = -1\n"),
              "app.toml:2: service.output_max_bytes must not be negative");
    EXPECT_EQ(tomlError("[service]\noutput_keep = -3\n"), "app.toml:2: service.output_keep must not be negative");
    EXPECT_EQ(tomlError("[service]\nstart_check_seconds = -1\n"),
              "app.toml:2: service.start_check_seconds must not be negative");
    EXPECT_EQ(tomlError("[service]\naccount = \"ravel\"\n"),
              "app.toml:2: service.account \"ravel\" is not an account: LocalSystem, LocalService, NetworkService, or "
              ".\\name or DOMAIN\\name");
    EXPECT_EQ(tomlError("[service]\npassword_env = \"A=B\"\n"),
              "app.toml:2: service.password_env \"A=B\" is not a variable name: it holds \"=\"");
    EXPECT_EQ(tomlError("[service]\nrecovery = 3\n"),
              "app.toml:2: service.recovery must be a table ([service.recovery]), not an integer");
    EXPECT_EQ(tomlError("[service.recovry]\nrestarts = 1\n"),
              "app.toml:1: unknown table [service.recovry] (did you mean [service.recovery]?)");
    EXPECT_EQ(tomlError("[service.recovery]\nrestart = 1\n"),
              "app.toml:2: unknown key \"restart\" in [service.recovery] (did you mean restarts?)");
    EXPECT_EQ(tomlError("[service.recovery]\nrestarts = true\n"),
              "app.toml:2: service.recovery.restarts must be an integer, not a boolean");
}

TEST(PackerToml, GuiSubsystemRunsOnADoubleClickUnlessTheConfigurationSaysOtherwise) {
    EXPECT_EQ(settingOf(parseToml("[executable]\nsubsystem = \"gui\"\n"), 30501), "run");
    EXPECT_EQ(
        settingOf(parseToml("[executable]\nsubsystem = \"gui\"\n[application]\ndefault_command = \"none\"\n"), 30501),
        "none");
    EXPECT_EQ(settingOf(parseToml("[executable]\nsubsystem = \"console\"\n"), 30501), "<absent>");
    EXPECT_EQ(settingOf(parseToml("[application]\nmain_class = \"a.B\"\n"), 30501), "<absent>");
}

TEST(PackerToml, DefaultCommandIsRunOrNone) {
    EXPECT_EQ(settingOf(parseToml("[application]\ndefault_command = \"run\"\n"), 30501), "run");
    EXPECT_EQ(settingOf(parseToml("[application]\ndefault_command = \"none\"\n"), 30501), "none");
    EXPECT_EQ(tomlError("[application]\ndefault_command = \"/run\"\n"),
              "app.toml:2: application.default_command \"/run\" is not a default command: \"run\" or \"none\"");
}

TEST(PackerToml, FormatIsChosenByExtensionOrContent) {
    EXPECT_TRUE(looksLikeToml("app.toml", "setting 1 = a\n"));
    EXPECT_TRUE(looksLikeToml("app.cfg", "# comment\n\n[application]\n"));
    EXPECT_TRUE(looksLikeToml("app.cfg", "title = \"x\"\n"));
    EXPECT_FALSE(looksLikeToml("app.desc", "# comment\nsetting 101 = Svc\n"));
    EXPECT_FALSE(looksLikeToml("app.desc", "locale de\nmessage 1000 = x\n"));
    EXPECT_FALSE(looksLikeToml("app.desc", "file a.jar = a.bin\n"));
}

TEST(PackerInspect, PrintedConfigurationPacksToTheSameBlock) {
    ScratchFolder folder;
    std::string binary;
    for (int i = 0; i < 256; ++i) binary.push_back(static_cast<char>(i));
    folder.write("in/native.dll", binary);
    folder.write("in/empty.txt", "");
    std::string config = R"toml(
[application]
kind = 1
main_class = "com.example.Main"
arguments = "--name \"a b\" 'c' \\\\server\\share"
working_directory = 'C:\Program Files\Ex'
[launcher_arguments]
path1_enabled = true
stderr_file = 'logs\err.log'
flag = true
[java]
search_sequence = ['Rjre', "EJAVA_HOME", "Y", "S", { home = 'C:\jdk' }, { bundled = "" }, "Sx"]
min_version = "8"
max_version = "17"
[classpath]
entries = ['A1lib\app.jar', "S0lib", { directory = "classes", required = false }, { env = "X", required = true }]
[modulepath]
entries = [{ archives_in = 'mods' }]
[jvm]
options = "-Dtab=\t -Dctl=\u0001\u007f\u0085 -Dlatin=\u00ff"
[[jvm.version_options]]
versions = "*1.8*"
options = "-XX:+UseG1GC"
[[jvm.version_options]]
versions = "9-21"
options = ""
[service]
name = "Svc"
dependencies = []
account = "NT AUTHORITY\\LocalService"
delayed_start = false
start_check_seconds = 0
[service.recovery]
restarts = 3
reset_seconds = 2147483647
[messages]
error_title = "Error \u20ac \U0001F600"
service_description = "line\nbreak"
[messages.de]
error_title = "Fehler"
no_runtime_found = "Keine Laufzeit ({0})"
[messages.pt_BR]
error_title = "Erro"
[messages.ja]
[raw.messages.fr]
4711 = "only raw"
[raw.messages]
5000 = "raw message"
[raw.settings]
-7 = "negative id"
9000 = "\u0000nul and 'quote'"
[[files]]
path = 'lib\native.dll'
source = "in/native.dll"
[[files]]
path = 'empty.txt'
source = "in/empty.txt"
)toml";
    Description d = parseToml(config, folder.path());
    std::vector<uint8_t> first = buildBlock(d);

    InspectOutput output;
    std::vector<uint8_t> second = repack(first, folder, output);
    EXPECT_EQ(first, second) << output.toml;
    EXPECT_TRUE(output.notes.empty());
    // The readable names are used wherever the value allows, and the files come back whole.
    EXPECT_NE(output.toml.find("[messages.pt_BR]\nerror_title = \"Erro\"\n"), std::string::npos) << output.toml;
    EXPECT_NE(output.toml.find("[messages.ja]\n"), std::string::npos);
    for (const char* named :
         {"kind = \"gui\"\n", "stderr_file_enabled = true\nstderr_file = 'logs\\err.log'\nappend_output = true\n",
          "min_version = \"1.8\"\n",
          "search_sequence = [\n    { runtime = \"jre\" },\n    { env = \"JAVA_HOME\" },\n    { registry = true },\n"
          "    { java_on_path = true },\n    { home = 'C:\\jdk' },\n    { bundled = \"\" },\n    \"Sx\",\n]\n",
          "entries = [\n    { archive = 'lib\\app.jar', required = true },\n    { archives_in = \"lib\" },\n"
          "    { directory = \"classes\" },\n    { env = \"X\", required = true },\n]\n",
          "[modulepath]\nentries = [\n    { archives_in = \"mods\" },\n]\n"})
        EXPECT_NE(output.toml.find(named), std::string::npos) << named << "\n" << output.toml;
    // The effective view adds only comments: it packs to the same block, and shows what the
    // launcher does where the configuration is silent.
    InspectOutput effective;
    PackedBlock parsed;
    std::string error;
    ASSERT_TRUE(parseBlock(first, parsed, error));
    ASSERT_TRUE(inspectBlock(parsed, "files", effective, error, true));
    Description fromEffective = parseToml(effective.toml, folder.path());
    EXPECT_EQ(buildBlock(fromEffective), first);
    for (const char* shown : {"# default: stdout_file_enabled = false\n", "# default: output_max_bytes = 10485760\n",
                              "\n[service.recovery]\n# default: restart_delay_seconds = 60\nrestarts = 3\n",
                              "# default: display_name = (the service name)\n"})
        EXPECT_NE(effective.toml.find(shown), std::string::npos) << shown << "\n" << effective.toml;
    EXPECT_EQ(effective.toml.find("# default: kind"), std::string::npos);
    EXPECT_EQ(effective.toml.find("# default: min_version"), std::string::npos);
    EXPECT_EQ(output.toml.find("# default:"), std::string::npos);
    EXPECT_EQ(output.toml.find("2003"), std::string::npos);
    EXPECT_NE(output.toml.find("\n[service.recovery]\nrestarts = 3\nreset_seconds = 2147483647\n"), std::string::npos)
        << output.toml;
    ASSERT_EQ(output.files.size(), 2u);
    EXPECT_EQ(output.files[0].first, "lib/native.dll");
    EXPECT_EQ(std::string(output.files[0].second.begin(), output.files[0].second.end()), binary);
}

TEST(PackerInspect, ValuesWithoutTheirReadableFormStayRaw) {
    // A block another tool could have written: a flag "yes", a padded number, a search entry
    // with an unknown letter, an included path that cannot be extracted safely.
    Description d;
    d.settings = {{10005, "yes"}, {107, "01"}, {128, "Qx;Y"},          {126, "eleven"}, {10200, "2"},
                  {10201, "*"},   {2002, "1"}, {2003, "..\\evil.dll"}, {30112, "-1"},   {30107, "ravel"}};
    d.files.push_back(IncludedFile{"..\\evil.dll", {1, 2, 3}});
    std::sort(d.settings.begin(), d.settings.end());
    std::vector<uint8_t> first = buildBlock(d);
    ScratchFolder folder;
    InspectOutput output;
    EXPECT_EQ(repack(first, folder, output), first) << output.toml;
    for (const char* raw : {"10005 = \"yes\"", "107 = \"01\"", "128 = \"Qx;Y\"", "126 = \"eleven\"", "10200 = \"2\"",
                            "2003 = '..\\evil.dll'", "30112 = \"-1\"", "30107 = \"ravel\""})
        EXPECT_NE(output.toml.find(raw), std::string::npos) << raw << "\n" << output.toml;
    ASSERT_EQ(output.files.size(), 1u);
    EXPECT_EQ(output.files[0].first, "included1.bin");  // never written outside the files folder
}

TEST(PackerInspect, BlocksInAnotherOrderAreNotedAndKeepTheirMeaning) {
    Description d;
    d.settings = {{2001, "e"}, {101, "Svc"}, {101, "Second"}};
    d.messages = {{1000, u"Error"}};
    d.locales = {{"de_DE", {{1000, u"Specific"}}}, {"de", {{1000, u"General"}}}};
    std::vector<uint8_t> first = buildBlock(d);
    ScratchFolder folder;
    InspectOutput output;
    std::vector<uint8_t> second = repack(first, folder, output);
    EXPECT_NE(first, second);
    EXPECT_EQ(output.notes.size(), 2u);
    EXPECT_NE(output.toml.find("# note: settings are not in ascending id order"), std::string::npos);
    ConfigStore before = launcherView(first, "fr"), after = launcherView(second, "fr");
    EXPECT_EQ(before.settings, after.settings);
    EXPECT_EQ(after.settings.at(101), "Second");
    EXPECT_EQ(before.messages, after.messages);
}

TEST(PackerInspect, DamagedBlocksAreReportedNotRead) {
    PackedBlock block;
    std::string error;
    EXPECT_FALSE(parseBlock({1, 2, 3}, block, error));
    EXPECT_NE(error.find("not a packed launcher"), std::string::npos);

    BlockBuilder builder;
    builder.i32(static_cast<int32_t>(0xE8E413D5u)).i32(1).i32(0).i64(0).i32(1).i32(101).i32(1 << 30);
    PackedBlock huge;
    EXPECT_FALSE(parseBlock(builder.bytes, huge, error));
    EXPECT_EQ(error, "setting record 0 is cut short");

    BlockBuilder odd;
    odd.i32(static_cast<int32_t>(0xE8E413D5u))
        .i32(1)
        .i32(0)
        .i64(0)
        .i32(0)
        .i32(1)
        .i32(1000)
        .i32(3)
        .u8('a')
        .u8(0)
        .u8('b');
    PackedBlock oddBlock;
    EXPECT_FALSE(parseBlock(odd.bytes, oddBlock, error));

    // A message TOML cannot hold is refused rather than printed changed.
    Description d;
    d.messages = {{1000, std::u16string(1, char16_t(0xD800))}};
    PackedBlock surrogate;
    ASSERT_TRUE(parseBlock(buildBlock(d), surrogate, error)) << error;
    InspectOutput output;
    EXPECT_FALSE(inspectBlock(surrogate, "", output, error));
    EXPECT_NE(error.find("lone UTF-16 surrogate"), std::string::npos);
}

TEST(PackerReference, DocumentationIsTheGeneratedReference) {
    std::ifstream in(std::string(PACKER_SOURCE_DIR) + "/docs/configuration.md", std::ios::binary);
    ASSERT_TRUE(in) << "docs/configuration.md is missing";
    std::string documented((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(documented == configurationReference())
        << "docs/configuration.md is out of date: regenerate it with `packer --reference > docs/configuration.md`";
}

TEST(PackerReference, ExampleConfigurationIsValid) {
    ScratchFolder folder;
    folder.write("lib/native-helper.dll", "MZ");
    Description d = parseToml(exampleConfiguration(), folder.path());
    EXPECT_EQ(settingOf(d, 122), "com.example.Server");
    EXPECT_EQ(d.locales.size(), 2u);
    EXPECT_EQ(d.files.size(), 1u);
}

TEST(PackerKeyTable, NamesAndIdsAreUnique) {
    std::set<std::string> names;
    std::set<std::pair<int, bool>> ids;
    std::set<std::string> tables;
    for (const TableRow& t : tableList()) tables.insert(t.name);
    for (const KeyRow& row : keyTable()) {
        EXPECT_TRUE(names.insert(std::string(row.table) + "." + row.key).second) << row.table << "." << row.key;
        // Rows of the launcher's image name no id.
        if (!isImageRow(row)) EXPECT_TRUE(ids.insert({row.id, row.type == ValueType::Message}).second) << row.id;
        if (row.type != ValueType::Derived) EXPECT_EQ(tables.count(row.table), 1u) << row.table;
        if (row.type != ValueType::Derived) EXPECT_EQ(findKeyByName(row.table, row.key), &row);
    }
}
