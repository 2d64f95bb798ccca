#include "launch/jvm_arguments_rules.h"

#include "config/config_store.h"
#include "core/text_format.h"
#include "paths/path_helpers_rules.h"
#include "support/log_capture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

using Strings = std::vector<std::string>;

namespace {

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// The VM-options side of a launcher in C:\app\: the real reader takes setting 123 and the
// -J arguments; the VM-options file beside the launcher and the Java argument files are held
// in memory, and option texts are not expanded.
class FakeOptionFiles : public OptionFileSystem {
public:
    Strings defaultFile;  // lines of the VM-options file
    bool defaultFileOpened = false;
    std::map<std::string, Strings> argumentFiles;  // "@name" → its options

    FILE* openText(const std::wstring&) override { return nullptr; }
    std::string fileIdentity(FILE*, const wchar_t*) override { return std::string(); }
    bool expand(wchar_t*, size_t, bool) override { return true; }
    std::string toOptionText(const std::wstring& text) override { return narrow(text); }
    std::wstring widenAnsiLine(const std::string& line) override { return widenBytes(line.c_str()); }
    std::wstring launcherDirectory() override { return L"C:\\app\\"; }
    FILE* openDefaultFile() override {
        defaultFileOpened = true;
        std::string text;
        for (const std::string& line : defaultFile) text += line + "\n";
        FILE* file = tmpfile();
        fwrite(text.data(), 1, text.size(), file);
        rewind(file);
        return file;
    }
    void expandArgumentFiles(OptionList& options) override {
        OptionList expanded;
        for (const std::string& option : options) {
            auto it = argumentFiles.find(option);
            if (it == argumentFiles.end())
                expanded.push_back(option);
            else
                expanded.insert(expanded.end(), it->second.begin(), it->second.end());
        }
        options = expanded;
    }
};

// The path entries' side of the same launcher: an in-memory file system and environment.
class FakeSources : public JvmArgumentSources {
public:
    std::set<std::string> existing;
    std::map<std::string, Strings> files;  // "directory|extension" → names
    std::map<std::string, std::string> environment;
    std::map<std::string, std::string> placeholders;

    std::string expandVariables(const std::string& text) override {
        std::string result = text;
        for (const auto& [name, value] : placeholders) {
            size_t at;
            while ((at = result.find(name)) != std::string::npos) result.replace(at, name.size(), value);
        }
        return result;
    }
    std::string launcherDirectory() override { return "C:\\app\\"; }
    void collapseBackslashes(std::string& path) override {
        std::vector<char> buffer(path.begin(), path.end());
        buffer.push_back(0);
        collapseBackslashesSingleByte(buffer.data());
        path = buffer.data();
    }
    bool pathExists(const std::string& path) override { return existing.count(path) != 0; }
    std::vector<std::string> listFiles(const std::string& directory, const std::string& extension) override {
        listed.push_back(directory + "|" + extension);
        auto it = files.find(directory + "|" + extension);
        return it == files.end() ? Strings() : it->second;
    }
    std::optional<std::string> environmentVariable(const std::string& name) override {
        auto it = environment.find(name);
        if (it == environment.end()) return std::nullopt;
        return it->second;
    }
    std::string absolutePath(const std::string& path) override {
        std::string result = isRelativePath(path.c_str()) ? launcherDirectory() + path : path;
        collapseBackslashes(result);
        return result;
    }

    // A directory with archives: it exists and lists the names per extension.
    void directory(const std::string& path, const Strings& jars, const Strings& zips = {}) {
        existing.insert(path);
        files[path + "|jar"] = jars;
        files[path + "|zip"] = zips;
    }

    Strings listed;
};

const Strings kProperties{"-Dravel.moduleName=C:\\app\\app.exe", "-Djava.class.path.marker=1"};

class JvmArgumentsTest : public ::testing::Test {
protected:
    void SetUp() override {
        configStore = ConfigStore();
        clearCapturedLog();
    }
    void TearDown() override { configStore = ConfigStore(); }

    void setting(SettingId id, const std::string& value) { configStore.settings[idNumber(id)] = value; }

    // Setting 123 holding these option lines, each quoted so that it stays one element.
    void configured(const Strings& lines) {
        std::string text;
        for (const std::string& line : lines) text += (text.empty() ? "\"" : " \"") + line + "\"";
        setting(SettingId::JvmOptions, text);
    }

    // The options after the launcher properties.
    Strings assembled(const ArgumentList& args = {L"C:\\app\\app.exe"}) {
        OptionAssembly result = assembleOptions(kProperties, args, state, sources, optionFiles);
        EXPECT_FALSE(result.missing.has_value()) << result.missing->name;
        EXPECT_TRUE(std::equal(kProperties.begin(), kProperties.end(), result.options.begin()));
        return Strings(result.options.begin() + static_cast<std::ptrdiff_t>(kProperties.size()), result.options.end());
    }
    std::string classPathOption(const ArgumentList& args = {L"C:\\app\\app.exe"}) {
        for (const std::string& option : assembled(args))
            if (option.compare(0, 18, "-Djava.class.path=") == 0) return option;
        ADD_FAILURE() << "no class path option";
        return {};
    }
    std::optional<MissingEntry> missingWith(SettingId settingId, const std::string& entries) {
        setting(settingId, entries);
        std::string text;
        return addPathEntries(settingId, text, sources);
    }

    JvmArgumentState state;
    FakeSources sources;
    FakeOptionFiles optionFiles;
};

}  // namespace

TEST(LauncherProperties, AllPropertiesInTheirOrder) {
    LauncherPropertyInputs inputs;
    inputs.semaphoreName = "Local\\qwk_sem_1";
    inputs.generatorKind = 'i';
    inputs.serviceMode = true;
    inputs.launcherPath = "C:\\Program Files\\App\\app.exe";
    inputs.extractionDirectory = "C:\\Temp\\e4.tmp_dir1700000000";
    inputs.unextractedPosition = 123456;
    inputs.path = "C:\\jre\\bin;C:\\Windows";
    inputs.consoleOutputCodePage = 437;
    EXPECT_EQ(launcherProperties(inputs), (Strings{
                                              "-Dravel.semaphoreName=Local\\qwk_sem_1",
                                              "-Dravel.isQuillwork=true",
                                              "-Dravel.isService=true",
                                              "-Dravel.moduleName=C:\\Program Files\\App\\app.exe",
                                              "-Dsun.java.command=C:\\Program Files\\App\\app.exe",
                                              "-Dravel.tempDir=C:\\Temp\\e4.tmp_dir1700000000",
                                              "-Dravel.unextractedPosition=123456",
                                              "-Djava.library.path=C:\\jre\\bin;C:\\Windows",
                                              "-Dravel.consoleCodepage=cp437",
                                          }));
}

TEST(LauncherProperties, OptionalPropertiesLeftOut) {
    LauncherPropertyInputs inputs;
    inputs.generatorKind = 'e';
    inputs.launcherPath = "C:\\a.exe";
    inputs.unextractedPosition = -5;
    inputs.manPathDefined = true;
    // No semaphore, ravel generator, direct run, no extraction directory, PATH undefined and
    // MANPATH defined: the values that always exist remain, empty where there is nothing.
    EXPECT_EQ(launcherProperties(inputs), (Strings{
                                              "-Dravel.moduleName=C:\\a.exe",
                                              "-Dsun.java.command=C:\\a.exe",
                                              "-Dravel.tempDir=",
                                              "-Dravel.unextractedPosition=-5",
                                              "-Djava.library.path=",
                                          }));
}

TEST(LauncherProperties, LongValuesAreNeverCut) {
    LauncherPropertyInputs inputs;
    inputs.path = std::string(30000, 'p') + "\\end";
    inputs.launcherPath = "C:\\" + std::string(7000, 'd') + "\\app.exe";
    Strings properties = launcherProperties(inputs);
    EXPECT_EQ(properties[0], "-Dravel.moduleName=" + inputs.launcherPath);
    EXPECT_EQ(properties[4], "-Djava.library.path=" + inputs.path);
}

TEST(LauncherProperties, RuntimeModuleFollowsTheGenerator) {
    EXPECT_STREQ(runtimeModuleName('i'), "com.quillwork.runtime");
    EXPECT_STREQ(runtimeModuleName('e'), "com.ravel.runtime");
    EXPECT_STREQ(runtimeModuleName(0), "com.ravel.runtime");
}

TEST_F(JvmArgumentsTest, NothingConfiguredGivesAnEmptyClassPath) {
    EXPECT_EQ(assembled(), Strings{"-Djava.class.path="});
    EXPECT_FALSE(optionFiles.defaultFileOpened);
    EXPECT_TRUE(logContains(L"adding preconfigured modulepath"));
    EXPECT_TRUE(logContains(L"adding preconfigured classpath"));
}

TEST_F(JvmArgumentsTest, SourcesComeInTheirFixedOrder) {
    configured({"-Dfrom=setting"});
    optionFiles.defaultFile = {"-Dfrom=file"};
    setting(SettingId::ReadVmOptionsFile, "1");
    setting(SettingId::AllowJArguments, "1");
    EXPECT_EQ(assembled({L"C:\\app\\app.exe", L"-J-Dfrom=argument", L"x"}),
              (Strings{"-Dfrom=setting", "-Dfrom=file", "-Dfrom=argument", "-Djava.class.path="}));
}

TEST_F(JvmArgumentsTest, JArgumentsBecomeOptionsOnlyWhenEnabled) {
    ArgumentList args{L"-J-Xfirst", L"-J-Xmx1g", L"-Jclasspath/a tail.jar", L"J-no", L"-x"};
    setting(SettingId::AllowJArguments, "0");
    EXPECT_EQ(assembled(args), Strings{"-Djava.class.path="});
    setting(SettingId::AllowJArguments, "1");
    // Every argument counts, the first included; exactly "-J" is taken off and the rest is
    // an option line.
    EXPECT_EQ(assembled(args), (Strings{"-Xfirst", "-Xmx1g", "classpath/a tail.jar", "-Djava.class.path="}));
    EXPECT_EQ(classPathOption({L"-J-classpath/a tail.jar"}), "-Djava.class.path=tail.jar");
}

TEST_F(JvmArgumentsTest, InAServiceJArgumentsNeverBecomeOptions) {
    // The service's child gets the service name and the start arguments; -agentpath there
    // would load the starter's library into the service's JVM.
    ArgumentList args{L"Svc", L"-J-agentpath:C:\\evil.dll", L"-J-Dx=y"};
    setting(SettingId::AllowJArguments, "1");
    state.serviceMode = true;
    Strings options = assembled(args);
    EXPECT_EQ(std::count(options.begin(), options.end(), "-agentpath:C:\\evil.dll"), 0);
    EXPECT_EQ(std::count(options.begin(), options.end(), "-Dx=y"), 0);
    EXPECT_TRUE(logContains(L"service: -J argument is no JVM option here: -J-Dx=y"));
    EXPECT_FALSE(jArgumentsBecomeOptions(true, true));
    EXPECT_FALSE(jArgumentsBecomeOptions(false, false));
    EXPECT_TRUE(jArgumentsBecomeOptions(true, false));
}

TEST_F(JvmArgumentsTest, PrependArchivesAndDirectoryEntriesInOrder) {
    optionFiles.defaultFile = {"-classpath/p a.jar"};
    setting(SettingId::ReadVmOptionsFile, "1");
    setting(SettingId::ClassPath, "S0lib");
    sources.directory("C:\\app\\lib", {"x.jar"}, {"y.zip"});
    state.extractedArchives = {"C:\\Temp\\run_dir1\\e1.jar", "C:\\Temp\\run_dir1\\e2.jar", "C:\\Temp\\run_dir1\\e.zip"};
    // Whatever else lies in the extraction directory is not the launcher's.
    sources.directory("C:\\Temp\\run_dir1", {"e1.jar", "planted.jar", "e2.jar"}, {"e.zip"});
    EXPECT_EQ(classPathOption(),
              "-Djava.class.path=a.jar;C:\\Temp\\run_dir1\\e1.jar;C:\\Temp\\run_dir1\\e2.jar;"
              "C:\\Temp\\run_dir1\\e.zip;C:\\app\\lib\\x.jar;C:\\app\\lib\\y.zip");
}

TEST_F(JvmArgumentsTest, ReplacementAndAppendOverrides) {
    setting(SettingId::ClassPath, "A0configured.jar");
    configured({"-classpath first.jar", "-classpath second.jar", "-classpath/a more.jar"});
    EXPECT_EQ(classPathOption(), "-Djava.class.path=second.jar;more.jar");
    EXPECT_FALSE(logContains(L"adding preconfigured classpath"));

    // The append value follows the configured entries with one separator.
    configured({"-classpath/a more.jar"});
    EXPECT_EQ(classPathOption(), "-Djava.class.path=C:\\app\\configured.jar;more.jar");
}

TEST_F(JvmArgumentsTest, AppendAloneStartsTheClassPath) {
    // No separator directly after "=": an empty first entry would mean the working directory.
    configured({"-classpath/a only.jar"});
    EXPECT_EQ(classPathOption(), "-Djava.class.path=only.jar");
}

TEST_F(JvmArgumentsTest, RuntimeArchiveOfTheQuillworkGenerator) {
    state.generatorKind = 'i';
    setting(SettingId::RootDirectory, "root");
    EXPECT_EQ(classPathOption(), "-Djava.class.path=C:\\app\\root\\.quillwork\\qwkruntime.jar");
    setting(SettingId::RootDirectory, "D:\\apps\\x\\");
    EXPECT_EQ(classPathOption(), "-Djava.class.path=D:\\apps\\x\\.quillwork\\qwkruntime.jar");
    state.generatorKind = 'e';
    EXPECT_EQ(classPathOption(), "-Djava.class.path=");
}

TEST_F(JvmArgumentsTest, LongClassPathIsKeptWhole) {
    std::string entries;
    std::string expected = "-Djava.class.path=";
    for (int i = 0; i < 800; ++i) {
        std::string jar = "C:\\libs\\library-number-" + std::to_string(i) + ".jar";
        entries += "A0" + jar + ";";
        expected += jar + (i < 799 ? ";" : "");
    }
    setting(SettingId::ClassPath, entries);
    std::string option = classPathOption();
    EXPECT_GT(option.size(), 20000u);
    EXPECT_EQ(option, expected);
}

TEST_F(JvmArgumentsTest, PathEntriesResolveAgainstTheLauncherDirectory) {
    sources.placeholders["${LIB}"] = "lib\\\\deep";
    sources.existing = {"C:\\app\\lib\\deep\\a.jar", "D:\\abs.jar"};
    setting(SettingId::ClassPath, "A1${LIB}\\a.jar;;D1D:\\abs.jar;A0missing.jar");
    EXPECT_EQ(classPathOption(), "-Djava.class.path=C:\\app\\lib\\deep\\a.jar;D:\\abs.jar;C:\\app\\missing.jar");
}

TEST_F(JvmArgumentsTest, AnEntryExpandingToSeveralPathsResolvesEach) {
    sources.placeholders["${TWO}"] = "one.jar;D:\\two.jar";
    sources.existing = {"C:\\app\\one.jar", "D:\\two.jar"};
    setting(SettingId::ClassPath, "A1${TWO}");
    EXPECT_EQ(classPathOption(), "-Djava.class.path=C:\\app\\one.jar;D:\\two.jar");
    // Required: every path of it must exist.
    sources.existing.erase("D:\\two.jar");
    EXPECT_EQ(missingWith(SettingId::ClassPath, "A1${TWO}")->messageId, MessageId::ClassPathEntryMissing);
}

TEST_F(JvmArgumentsTest, EnvironmentEntriesLoseEnclosingQuotesOnly) {
    sources.environment = {{"QUOTED", "\"C:\\q dir\\a.jar\""},
                           {"HALF", "\"C:\\half.jar"},
                           {"LIST", "C:\\l1.jar;C:\\l2.jar;"},
                           {"PLAIN", "C:\\p.jar"}};
    setting(SettingId::ClassPath, "E0QUOTED;E0HALF;E0LIST;E0PLAIN;E0UNDEFINED");
    EXPECT_EQ(classPathOption(), "-Djava.class.path=C:\\q dir\\a.jar;\"C:\\half.jar;C:\\l1.jar;C:\\l2.jar;C:\\p.jar");
}

TEST_F(JvmArgumentsTest, RequiredEntriesThatAreMissing) {
    std::optional<MissingEntry> missing = missingWith(SettingId::ClassPath, "E1APP_LIB");
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->messageId, MessageId::ClassPathVariableMissing);
    EXPECT_EQ(missing->name, "APP_LIB");

    sources.environment["EMPTY"] = "";
    EXPECT_EQ(missingWith(SettingId::ClassPath, "E1EMPTY")->messageId, MessageId::ClassPathEntryMissing);
    EXPECT_FALSE(missingWith(SettingId::ClassPath, "E0EMPTY"));

    missing = missingWith(SettingId::ClassPath, "A1gone.jar");
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->messageId, MessageId::ClassPathEntryMissing);
    EXPECT_EQ(missing->name, "gone.jar");

    EXPECT_EQ(missingWith(SettingId::ClassPath, "S1nolib")->messageId, MessageId::ClassPathEntryMissing);
    EXPECT_EQ(missingWith(SettingId::ModulePath, "S1nomods")->messageId, MessageId::ClassPathEntryMissing);
    EXPECT_EQ(missingWith(SettingId::ClassPath, "X1what")->name, "what");
    EXPECT_FALSE(missingWith(SettingId::ClassPath, "X0what"));
}

TEST_F(JvmArgumentsTest, MissingEntryReasonNamesWhatWasLookedFor) {
    sources.placeholders["${TWO}"] = "one.jar;D:\\two.jar";
    sources.existing = {"C:\\app\\one.jar"};
    sources.environment["EMPTY"] = "";
    auto reason = [&](SettingId id, const std::string& entries) {
        return missingEntryReason(*missingWith(id, entries));
    };
    EXPECT_EQ(reason(SettingId::ClassPath, "A1lib\\app.jar"),
              "required class path entry lib\\app.jar not found: looked for C:\\app\\lib\\app.jar");
    // Only the paths of the entry that are not there.
    EXPECT_EQ(reason(SettingId::ClassPath, "A1${TWO}"),
              "required class path entry one.jar;D:\\two.jar not found: looked for D:\\two.jar");
    EXPECT_EQ(reason(SettingId::ModulePath, "S1mods"),
              "required module path entry mods not found: looked for C:\\app\\mods");
    EXPECT_EQ(reason(SettingId::ClassPath, "S1nolib"),
              "required class path entry nolib not found: looked for C:\\app\\nolib");
    EXPECT_EQ(reason(SettingId::ClassPath, "E1APP_LIB"),
              "required class path entry APP_LIB not found: the environment variable APP_LIB is not defined");
    EXPECT_EQ(reason(SettingId::ClassPath, "E1EMPTY"),
              "required class path entry EMPTY not found: the environment variable EMPTY is empty");
    EXPECT_EQ(reason(SettingId::ClassPath, "X1what"),
              "required class path entry what not found: its type letter X is not one of A, D, E and S");
}

TEST_F(JvmArgumentsTest, RequiredDirectoryWithoutArchivesIsFound) {
    sources.directory("C:\\app\\empty", {}, {});
    EXPECT_FALSE(missingWith(SettingId::ClassPath, "S1empty"));
    // Both extensions are listed even when the first found archives.
    EXPECT_EQ(sources.listed, (Strings{"C:\\app\\empty|jar", "C:\\app\\empty|zip"}));
}

TEST_F(JvmArgumentsTest, MissingEntryEndsTheAssemblyAtOnce) {
    setting(SettingId::ModulePath, "A1nomods");
    setting(SettingId::ClassPath, "A0x.jar");
    OptionAssembly result = assembleOptions(kProperties, {}, state, sources, optionFiles);
    ASSERT_TRUE(result.missing);
    EXPECT_EQ(result.missing->name, "nomods");
    EXPECT_FALSE(logContains(L"adding preconfigured classpath"));
}

TEST_F(JvmArgumentsTest, PathEntryLogLines) {
    setting(SettingId::ClassPath, "A0a.jar;;A0b.jar;");
    classPathOption();
    EXPECT_TRUE(logContains(L"entry A0a.jar;;A0b.jar;"));
    EXPECT_TRUE(logContains(L"entries 2"));
}

TEST_F(JvmArgumentsTest, ModuleModeTakesArchivesToTheModulePath) {
    setting(SettingId::ModuleMode, "1");
    setting(SettingId::MainClass, "app/com.example.Main");
    setting(SettingId::ModulePath, "S0mods");
    setting(SettingId::ClassPath, "A0plain.jar");
    sources.existing = {"C:\\app\\mods"};
    state.extractedArchives = {"C:\\Temp\\x\\m.jar"};
    EXPECT_EQ(assembled(),
              (Strings{"-Djava.class.path=C:\\app\\plain.jar", "--module-path=C:\\app\\mods;C:\\Temp\\x\\m.jar",
                       "--add-opens=app/com.example=com.ravel.runtime", "--add-modules=app,com.ravel.runtime"}));
}

TEST_F(JvmArgumentsTest, ModulePathWithoutModuleMode) {
    setting(SettingId::ModulePath, "D0C:\\mods");
    state.generatorKind = 'i';
    setting(SettingId::RootDirectory, "C:\\root");
    EXPECT_EQ(assembled(), (Strings{"-Djava.class.path=", "--module-path=C:\\mods;C:\\root\\.quillwork\\qwkruntime.jar",
                                    "--add-modules=com.quillwork.runtime"}));
}

TEST_F(JvmArgumentsTest, ModuleModeMainClassWithoutPackage) {
    setting(SettingId::ModuleMode, "1");
    setting(SettingId::MainClass, "app/Main");
    setting(SettingId::ModulePath, "D0C:\\mods");
    EXPECT_EQ(assembled(),
              (Strings{"-Djava.class.path=", "--module-path=C:\\mods", "--add-modules=app,com.ravel.runtime"}));
}

TEST_F(JvmArgumentsTest, ServiceModeAddsXrsOnceAndRedirectionSwitchFollows) {
    state.serviceMode = true;
    EXPECT_EQ(assembled(), (Strings{"-Djava.class.path=", "-Xrs"}));
    EXPECT_TRUE(logContains(L"service: adding -Xrs"));

    clearCapturedLog();
    configured({"-Xrs"});
    state.noRedirect = true;
    EXPECT_EQ(assembled(), (Strings{"-Xrs", "-Djava.class.path=", "-Dquillwork.noRedir=true"}));
    EXPECT_FALSE(logContains(L"service: adding -Xrs"));

    state.serviceMode = false;
    configured({});
    EXPECT_EQ(assembled(), (Strings{"-Djava.class.path=", "-Dquillwork.noRedir=true"}));
}

TEST_F(JvmArgumentsTest, ModuleOptionsAreJoinedBeforeAndAfterArgumentFiles) {
    configured({"--add-exports", "java.base/sun.nio=ALL-UNNAMED", "@opts", ""});
    optionFiles.argumentFiles["@opts"] = {"--add-reads", "a=b", "", "-Dfrom=file"};
    EXPECT_EQ(assembled(), (Strings{"--add-exports=java.base/sun.nio=ALL-UNNAMED", "--add-reads=a=b", "-Dfrom=file",
                                    "-Djava.class.path="}));
}

TEST_F(JvmArgumentsTest, ArgumentFilesOnlyWhenAnOptionStartsWithAt) {
    configured({"-Da=@b"});
    optionFiles.argumentFiles["-Da=@b"] = {"never"};
    EXPECT_EQ(assembled(), (Strings{"-Da=@b", "-Djava.class.path="}));
}

TEST(ModuleOptions, JoinedWithTheFollowingElement) {
    Strings options{"--add-exports", "java.base/sun.nio=ALL-UNNAMED", "-Xmx1g", "--add-opens"};
    joinModuleOptions(options);
    EXPECT_EQ(options, (Strings{"--add-exports=java.base/sun.nio=ALL-UNNAMED", "-Xmx1g", "--add-opens"}));
    Strings twice{"--add-modules", "--add-modules", "x"};
    joinModuleOptions(twice);
    EXPECT_EQ(twice, (Strings{"--add-modules=--add-modules", "x"}));
    EXPECT_FALSE(isModuleOption("--add-modules=a"));
}

TEST(ModuleOptions, AddOpensAndAddModulesForTheMainClass) {
    ModuleOptions m = moduleOptions(true, "app/com.example.Main", "com.ravel.runtime");
    EXPECT_EQ(m.addOpens, "--add-opens=app/com.example=com.ravel.runtime");
    EXPECT_EQ(m.addModules, "--add-modules=app,com.ravel.runtime");
    m = moduleOptions(false, "app/com.example.Main", "com.ravel.runtime");
    EXPECT_EQ(m.addOpens, "");
    EXPECT_EQ(m.addModules, "--add-modules=com.ravel.runtime");
    m = moduleOptions(true, "app/Main", "com.quillwork.runtime");
    EXPECT_EQ(m.addOpens, "");
    EXPECT_EQ(m.addModules, "--add-modules=app,com.quillwork.runtime");
    m = moduleOptions(true, "com.example.Main", "com.ravel.runtime");  // no module given
    EXPECT_EQ(m.addModules, "--add-modules=com.example.Main,com.ravel.runtime");
}
