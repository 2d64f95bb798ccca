#include "jvmsearch/jvm_search_rules.h"

#include "config/config_store.h"
#include "core/text_format.h"
#include "jvmsearch/java_check.h"
#include "jvmsearch/java_check_rules.h"
#include "jvmsearch/java_version.h"
#include "support/log_capture.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

std::string describe(const std::vector<SearchEntry>& entries) {
    std::string text;
    for (const SearchEntry& entry : entries) text += std::string(1, entry.letter) + "[" + entry.value + "]";
    return text;
}

SearchEntry entry(char letter, const std::string& value) {
    SearchEntry e;
    e.letter = letter;
    e.value = value;
    return e;
}

}  // namespace

TEST(SearchSequence, EachEntryIsALetterAndItsValue) {
    EXPECT_EQ(describe(parseSearchSequence("Bjre;Y")), "B[jre]Y[]");
    EXPECT_EQ(describe(parseSearchSequence(R"(Ac:\java\jdk;EJAVA_HOME;S;R${APP}\rt)")),
              R"(A[c:\java\jdk]E[JAVA_HOME]S[]R[${APP}\rt])");
}

TEST(SearchSequence, EmptyEntriesAreLeftOutAndLettersKept) {
    EXPECT_EQ(describe(parseSearchSequence(";;Bjre;;Y;")), "B[jre]Y[]");
    EXPECT_EQ(describe(parseSearchSequence("")), "");
    // Unknown and lower-case letters stay: the search skips them itself.
    EXPECT_EQ(describe(parseSearchSequence("Xfoo;ajre")), "X[foo]a[jre]");
}

TEST(FallbackPass, AbsoluteMeansDriveOrNetworkForm) {
    EXPECT_TRUE(isAbsoluteLocation(R"(c:\java\jdk)"));
    EXPECT_TRUE(isAbsoluteLocation("C:"));
    EXPECT_TRUE(isAbsoluteLocation("C:jre"));
    EXPECT_TRUE(isAbsoluteLocation(R"(\\server\share\jre)"));
    EXPECT_FALSE(isAbsoluteLocation("jre"));
    EXPECT_FALSE(isAbsoluteLocation(R"(\jre)"));
    EXPECT_FALSE(isAbsoluteLocation(R"(..\jre)"));
    EXPECT_FALSE(isAbsoluteLocation("C"));
    EXPECT_FALSE(isAbsoluteLocation(""));
}

TEST(FallbackPass, AbsoluteAAndRAreSkippedRelativeKeptBAlways) {
    EXPECT_FALSE(takesPartInFallbackPass(entry('A', R"(c:\java\jdk)")));
    EXPECT_FALSE(takesPartInFallbackPass(entry('R', R"(\\srv\jre)")));
    EXPECT_TRUE(takesPartInFallbackPass(entry('A', "runtime")));
    EXPECT_TRUE(takesPartInFallbackPass(entry('R', "jre")));
    EXPECT_TRUE(takesPartInFallbackPass(entry('B', R"(c:\java\jdk)")));
    EXPECT_TRUE(takesPartInFallbackPass(entry('B', "jre")));
}

TEST(FallbackPass, OnlyDirectoryEntriesTakePart) {
    for (char letter : {'E', 'S', 'Y', 'X', 'a'}) {
        EXPECT_FALSE(takesPartInFallbackPass(entry(letter, "jre"))) << letter;
        EXPECT_FALSE(isDirectoryEntry(letter)) << letter;
    }
    for (char letter : {'A', 'B', 'R'}) EXPECT_TRUE(isDirectoryEntry(letter)) << letter;
}

TEST(FailureMessage, KindSelectsMessageAndArgument) {
    struct Case {
        LocationKind kind;
        MessageId id;
        bool hasArgument;
        std::string argument;
    };
    const Case cases[] = {
        {LocationKind::None, MessageId::NoRuntimeFound, true, "64"},
        {LocationKind::Path, MessageId::NoRuntimeFound, true, "64"},
        {LocationKind::Directory, MessageId::DirectoryRuntimeUnusable, true, "the location"},
        {LocationKind::Environment, MessageId::EnvironmentRuntimeUnusable, true, "the location"},
        {LocationKind::Registry, MessageId::RegistryRuntimeUnusable, false, ""},
    };
    for (const Case& c : cases) {
        FailureMessage message = failureMessageFor(c.kind, "the location", 64);
        EXPECT_EQ(message.id, c.id) << static_cast<int>(c.kind);
        EXPECT_EQ(message.hasArgument, c.hasArgument) << static_cast<int>(c.kind);
        EXPECT_EQ(message.argument, c.argument) << static_cast<int>(c.kind);
    }
}

TEST(FailureMessage, BitnessIsTheLaunchers) {
    EXPECT_EQ(failureMessageFor(LocationKind::None, "", 32).argument, "32");
    EXPECT_EQ(failureMessageFor(LocationKind::Path, "ignored", 32).argument, "32");
}

TEST(LocationFile, BackslashIsNotDoubled) {
    EXPECT_EQ(locationFilePath(LR"(C:\app)", kPreferredLocationFile), LR"(C:\app\.quillwork\pref_jre.cfg)");
    EXPECT_EQ(locationFilePath(LR"(C:\app\)", kInstallerLocationFile), LR"(C:\app\.quillwork\inst_jre.cfg)");
    EXPECT_EQ(locationFilePath(LR"(C:\)", kPreferredLocationFile), LR"(C:\.quillwork\pref_jre.cfg)");
}

TEST(LocationFile, EveryTrailingLineEndGoes) {
    std::string line = "C:\\jre\r\r\n";
    stripLineEnd(line);
    EXPECT_EQ(line, "C:\\jre");
    line = "\n";
    stripLineEnd(line);
    EXPECT_EQ(line, "");
    line = "a\rb";
    stripLineEnd(line);
    EXPECT_EQ(line, "a\rb");
}

// ---------------------------------------------------------------------------------------
// The search order, over a fake of the system's lookups

namespace {

// A runtime as the fake's lookups see it: its executable, whether its version lies in the
// configured range, and whether it is a pre-release. Whether its library loads is decided by
// FakeLookups::unloadable.
struct FakeRuntime {
    std::string exe;
    bool fits = true;
    bool preRelease = false;
};

FakeRuntime outOfRange(const std::string& exe) { return {exe, false, false}; }
FakeRuntime preRelease(const std::string& exe) { return {exe, true, true}; }

std::string narrow(const wchar_t* text) {
    std::string result;
    for (; *text != 0; ++text) result.push_back(static_cast<char>(*text));
    return result;
}

// Answers every lookup from its tables and writes each call into `calls`, so a test can
// compare the order of the lookups as well as their arguments. The checks mimic the real
// gate: a runtime passes when it fits and is no refused pre-release, or when accepted anyway;
// a home the fake does not know passes only when accepted anyway, with an executable that
// does not exist. The non-working list is the launcher's own, with its real limit.
class FakeLookups : public SearchLookups {
public:
    std::map<std::wstring, std::string> locationFiles;
    std::map<std::string, std::string> expansions;  // an absent value expands to itself
    std::set<std::string> cutByExpansion;
    std::map<std::string, FakeRuntime> homes;
    std::map<std::string, FakeRuntime> variables;
    std::optional<FakeRuntime> onPath;
    std::vector<FakeRuntime> shared;
    std::vector<FakeRuntime> registry;
    std::map<InstallationScope, FakeRuntime> installations;
    std::set<std::string> unloadable;

    std::vector<std::string> calls;
    std::vector<VersionBounds> boundsSeen;

    std::vector<std::string> loads() const {
        std::vector<std::string> result;
        for (const std::string& call : calls)
            if (call.rfind("load ", 0) == 0) result.push_back(call.substr(5));
        return result;
    }

    bool readLocationFile(const wchar_t* name, char* line, size_t capacity) override {
        calls.push_back("file " + narrow(name));
        auto it = locationFiles.find(name);
        if (it == locationFiles.end()) return false;
        return copyBounded(line, capacity, it->second.c_str());
    }
    bool expand(char* text, size_t capacity) override {
        calls.push_back(std::string("expand ") + text);
        if (cutByExpansion.count(text) != 0) return false;
        auto it = expansions.find(text);
        return it == expansions.end() || copyBounded(text, capacity, it->second.c_str());
    }
    bool checkJavaHome(const char* home, JavaCandidate& found, const VersionBounds& bounds, bool allowPreRelease,
                       bool acceptAnyway) override {
        calls.push_back(std::string("home ") + home + (allowPreRelease ? " pre" : "") +
                        (acceptAnyway ? " anyway" : ""));
        boundsSeen.push_back(bounds);
        auto it = homes.find(home);
        if (it != homes.end() && take(it->second, found, allowPreRelease)) return true;
        if (!acceptAnyway) return false;
        std::string exe = it != homes.end() ? it->second.exe : std::string(home) + "\\bin\\java.exe";
        copyBounded(found.exe, sizeof found.exe, exe.c_str());
        return true;
    }
    bool checkEnvJavaHome(const char* variable, JavaCandidate& found, const VersionBounds& bounds) override {
        calls.push_back(std::string("variable ") + variable);
        boundsSeen.push_back(bounds);
        auto it = variables.find(variable);
        return it != variables.end() && take(it->second, found, false);
    }
    bool checkJavaOnPath(JavaCandidate& found, const VersionBounds& bounds) override {
        calls.push_back("search path");
        boundsSeen.push_back(bounds);
        return onPath && take(*onPath, found, false);
    }
    bool findSharedRuntime(JavaCandidate& found, const VersionBounds& bounds) override {
        calls.push_back("shared");
        boundsSeen.push_back(bounds);
        return firstWorking(shared, found);
    }
    bool findRegistryRuntime(JavaCandidate& found, const VersionBounds& bounds) override {
        calls.push_back("registry");
        boundsSeen.push_back(bounds);
        return firstWorking(registry, found);
    }
    bool findPreviousInstallation(InstallationScope scope, JavaCandidate& found, const VersionBounds& bounds) override {
        calls.push_back(scope == InstallationScope::User ? "installation user" : "installation machine");
        boundsSeen.push_back(bounds);
        auto it = installations.find(scope);
        return it != installations.end() && take(it->second, found, false);
    }
    bool addNonWorkingJava(const char* exe) override {
        calls.push_back(std::string("non-working ") + exe);
        return ::addNonWorkingJava(exe);
    }
    bool pathExists(const char* path) override {
        calls.push_back(std::string("exists? ") + path);
        for (const auto& home : homes)
            if (home.second.exe == path) return true;
        return false;
    }
    bool load(const char* javaExe) override {
        calls.push_back(std::string("load ") + javaExe);
        return unloadable.count(javaExe) == 0;
    }

private:
    static bool take(const FakeRuntime& runtime, JavaCandidate& found, bool allowPreRelease) {
        if (!runtime.fits || (runtime.preRelease && !allowPreRelease)) return false;
        copyBounded(found.exe, sizeof found.exe, runtime.exe.c_str());
        return true;
    }
    // The registry lookups refuse what is on the non-working list, as the real gate does, so
    // each retry finds the next runtime.
    static bool firstWorking(const std::vector<FakeRuntime>& runtimes, JavaCandidate& found) {
        for (const FakeRuntime& runtime : runtimes)
            if (!isNonWorkingJava(runtime.exe.c_str()) && take(runtime, found, false)) return true;
        return false;
    }
};

class SearchOrder : public ::testing::Test {
protected:
    void SetUp() override {
        configStore = ConfigStore();
        clearCapturedLog();
        forgetNonWorkingJavasForTest();
    }
    void TearDown() override {
        configStore = ConfigStore();
        forgetNonWorkingJavasForTest();
    }

    SearchOutcome search(const std::string& sequence) {
        configStore.settings[128] = sequence;
        return searchJvm(lookups, found);
    }

    // The logged lines after the two every search begins with.
    std::vector<std::wstring> logAfterBounds() const {
        const std::vector<std::wstring>& lines = capturedLog();
        EXPECT_GE(lines.size(), 2u);
        if (lines.size() < 2) return lines;
        EXPECT_EQ(lines[0], L"Searching for a JVM");
        EXPECT_EQ(lines[1].rfind(L"MinVersion: ", 0), 0u) << lines[1];
        return std::vector<std::wstring>(lines.begin() + 2, lines.end());
    }

    bool called(const std::string& call) const {
        for (const std::string& c : lookups.calls)
            if (c == call) return true;
        return false;
    }

    FakeLookups lookups;
    JavaCandidate found;
};

using Lines = std::vector<std::wstring>;
using Calls = std::vector<std::string>;

}  // namespace

TEST_F(SearchOrder, PreferredLocationComesFirstAndTakesAFittingPreRelease) {
    configStore.settings[130] = "0";
    lookups.locationFiles[kPreferredLocationFile] = R"(C:\ea)";
    lookups.homes[R"(C:\ea)"] = preRelease(R"(c:\ea\bin\java.exe)");
    lookups.homes["jre"] = {R"(c:\app\jre\bin\java.exe)"};
    SearchOutcome outcome = search("Bjre");

    EXPECT_TRUE(outcome.loaded);
    EXPECT_EQ(outcome.kind, LocationKind::Directory);
    EXPECT_EQ(outcome.location, R"(C:\ea)");
    EXPECT_STREQ(found.exe, R"(c:\ea\bin\java.exe)");
    EXPECT_EQ(lookups.calls,
              (Calls{R"(file \.quillwork\pref_jre.cfg)", R"(home C:\ea pre)", R"(load c:\ea\bin\java.exe)"}));
    EXPECT_EQ(logAfterBounds(), (Lines{LR"(Has preferred location C:\ea)", L"Using preferred location"}));
}

TEST_F(SearchOrder, APreferredRuntimeThatDoesNotFitOrLoadIsPassedOver) {
    lookups.homes["jre"] = {R"(c:\app\jre\bin\java.exe)"};
    lookups.locationFiles[kPreferredLocationFile] = R"(C:\old)";
    lookups.homes[R"(C:\old)"] = outOfRange(R"(c:\old\bin\java.exe)");
    SearchOutcome outcome = search("Bjre");
    EXPECT_TRUE(outcome.loaded);
    EXPECT_EQ(outcome.location, "jre");
    EXPECT_EQ(logAfterBounds(), (Lines{LR"(Has preferred location C:\old)", L"Testing location jre (type B)"}));

    clearCapturedLog();
    lookups = FakeLookups();
    lookups.homes["jre"] = {R"(c:\app\jre\bin\java.exe)"};
    lookups.locationFiles[kPreferredLocationFile] = R"(C:\broken)";
    lookups.homes[R"(C:\broken)"] = {R"(c:\broken\bin\java.exe)"};
    lookups.unloadable = {R"(c:\broken\bin\java.exe)"};
    outcome = search("Bjre");
    EXPECT_TRUE(outcome.loaded);
    EXPECT_EQ(lookups.loads(), (Calls{R"(c:\broken\bin\java.exe)", R"(c:\app\jre\bin\java.exe)"}));
    EXPECT_EQ(logAfterBounds(), (Lines{LR"(Has preferred location C:\broken)", L"Using preferred location",
                                       L"Testing location jre (type B)"}));
    EXPECT_FALSE(called(R"(non-working c:\broken\bin\java.exe)"));
}

TEST_F(SearchOrder, MainPassTriesEntriesInOrderAndTheFirstLoadEndsTheSearch) {
    configStore.settings[126] = "11";
    lookups.homes["jre"] = outOfRange(R"(c:\app\jre\bin\java.exe)");
    lookups.homes[R"(c:\jdk)"] = {R"(c:\jdk\bin\java.exe)"};
    lookups.homes["later"] = {R"(c:\app\later\bin\java.exe)"};
    SearchOutcome outcome = search(R"(Bjre;Y;Ac:\jdk;Blater;EJAVA_HOME)");

    EXPECT_TRUE(outcome.loaded);
    EXPECT_EQ(outcome.kind, LocationKind::Directory);
    EXPECT_EQ(outcome.location, R"(c:\jdk)");
    EXPECT_EQ(capturedLog(),
              (Lines{L"Searching for a JVM", L"MinVersion: 11, MaxVersion: ", L"Testing location jre (type B)",
                     L"Testing location  (type Y)", LR"(Testing location c:\jdk (type A))"}));
    EXPECT_EQ(lookups.calls, (Calls{R"(file \.quillwork\pref_jre.cfg)", "expand jre", "home jre", "expand ", "shared",
                                    "registry", R"(expand c:\jdk)", R"(home c:\jdk)", R"(load c:\jdk\bin\java.exe)"}));
}

TEST_F(SearchOrder, BoundsComeFromTheSettingsAndReachEveryLookup) {
    configStore.settings[126] = "1.8.0_200";
    configStore.settings[127] = "17";
    SearchOutcome outcome = search("Bjre;EMY_JAVA;S;Y");
    EXPECT_FALSE(outcome.loaded);
    EXPECT_EQ(capturedLog()[1], L"MinVersion: 1.8.0_200, MaxVersion: 17");
    // home, variable, path, shared, registry, the fallback's home, two installations and
    // the two variables at the end.
    ASSERT_EQ(lookups.boundsSeen.size(), 10u);
    for (const VersionBounds& bounds : lookups.boundsSeen) {
        EXPECT_EQ(bounds.minimum, (JavaVersion{1, 8, 0, 200}));
        EXPECT_EQ(bounds.maximum, (JavaVersion{17}));
    }
}

TEST_F(SearchOrder, EachLetterGoesToItsLookupAndSetsTheKind) {
    struct Case {
        const char* sequence;
        LocationKind kind;
        const char* location;
        const char* lookup;
    };
    const Case cases[] = {
        {"Ajre", LocationKind::Directory, "jre", "home jre"},
        {"Bjre", LocationKind::Directory, "jre", "home jre"},
        {"Rjre", LocationKind::Directory, "jre", "home jre"},
        {"EMY_JAVA", LocationKind::Environment, "MY_JAVA", "variable MY_JAVA"},
        {"S", LocationKind::Path, "", "search path"},
        {"Y", LocationKind::Registry, "", "shared"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sequence);
        lookups = FakeLookups();
        lookups.homes["jre"] = {R"(c:\app\jre\bin\java.exe)"};
        lookups.variables["MY_JAVA"] = {R"(c:\env\bin\java.exe)"};
        lookups.onPath = FakeRuntime{R"(c:\path\bin\java.exe)"};
        lookups.shared = {{R"(c:\shared\bin\java.exe)"}};
        SearchOutcome outcome = search(c.sequence);
        EXPECT_TRUE(outcome.loaded);
        EXPECT_EQ(outcome.kind, c.kind);
        EXPECT_EQ(outcome.location, c.location);
        EXPECT_TRUE(called(c.lookup));
        EXPECT_EQ(lookups.loads(), (Calls{found.exe}));
    }
}

TEST_F(SearchOrder, UnknownLettersAreLoggedAndSkipped) {
    lookups.homes["jre"] = {R"(c:\app\jre\bin\java.exe)"};
    SearchOutcome outcome = search("Xjre;ajre;Bjre");
    EXPECT_TRUE(outcome.loaded);
    EXPECT_EQ(logAfterBounds(), (Lines{L"Testing location jre (type X)", L"Testing location jre (type a)",
                                       L"Testing location jre (type B)"}));
    EXPECT_EQ(lookups.calls, (Calls{R"(file \.quillwork\pref_jre.cfg)", "expand jre", "expand jre", "expand jre",
                                    "home jre", R"(load c:\app\jre\bin\java.exe)"}));
}

TEST_F(SearchOrder, DirectoryEntriesFollowThePreReleaseAndAcceptAnywaySettings) {
    lookups.homes[R"(c:\ea)"] = preRelease(R"(c:\ea\bin\java.exe)");
    EXPECT_FALSE(search(R"(Ac:\ea)").loaded);
    EXPECT_TRUE(called(R"(home c:\ea)"));
    EXPECT_TRUE(lookups.loads().empty());

    lookups.calls.clear();
    configStore.settings[130] = "1";
    EXPECT_TRUE(search(R"(Ac:\ea)").loaded);
    EXPECT_EQ(lookups.loads(), (Calls{R"(c:\ea\bin\java.exe)"}));

    // Accepted anyway, a directory without a runtime is loaded from; its failure moves on.
    lookups = FakeLookups();
    lookups.homes["jre"] = {R"(c:\app\jre\bin\java.exe)"};
    lookups.unloadable = {R"(nothing\bin\java.exe)"};
    configStore.settings[134] = "1";
    EXPECT_TRUE(search("Anothing;Bjre").loaded);
    EXPECT_TRUE(called("home nothing pre anyway"));
    EXPECT_EQ(lookups.loads(), (Calls{R"(nothing\bin\java.exe)", R"(c:\app\jre\bin\java.exe)"}));
}

TEST_F(SearchOrder, MainPassExpandsEntriesAndSkipsOneCutByExpansion) {
    lookups.expansions["${APP}\\jre"] = R"(C:\app\jre)";
    lookups.expansions["${VAR}"] = "MY_JAVA";
    lookups.cutByExpansion = {"${BIG}"};
    lookups.variables["MY_JAVA"] = outOfRange(R"(c:\env\bin\java.exe)");
    lookups.homes[R"(C:\app\jre)"] = {R"(c:\app\jre\bin\java.exe)"};
    SearchOutcome outcome = search("B${BIG};E${VAR};B${APP}\\jre");

    EXPECT_TRUE(outcome.loaded);
    EXPECT_EQ(outcome.location, R"(C:\app\jre)");
    EXPECT_EQ(logAfterBounds(),
              (Lines{L"ERROR: location ${BIG} too long after expansion, skipped", L"Testing location MY_JAVA (type E)",
                     LR"(Testing location C:\app\jre (type B))"}));
    EXPECT_TRUE(called("variable MY_JAVA"));
    EXPECT_TRUE(called(R"(home C:\app\jre)"));
    EXPECT_FALSE(called("home ${BIG}"));
}

TEST_F(SearchOrder, RegistryRetriesAfterAFailedLoadSharedRuntimesFirst) {
    lookups.shared = {{R"(c:\s1\bin\java.exe)"}, {R"(c:\s2\bin\java.exe)"}};
    lookups.registry = {{R"(c:\r1\bin\java.exe)"}, {R"(c:\r2\bin\java.exe)"}};
    lookups.unloadable = {R"(c:\s1\bin\java.exe)", R"(c:\s2\bin\java.exe)", R"(c:\r1\bin\java.exe)"};
    SearchOutcome outcome = search("Y;Bjre");

    EXPECT_TRUE(outcome.loaded);
    EXPECT_EQ(outcome.kind, LocationKind::Registry);
    EXPECT_STREQ(found.exe, R"(c:\r2\bin\java.exe)");
    EXPECT_EQ(lookups.calls,
              (Calls{R"(file \.quillwork\pref_jre.cfg)", "expand ", "shared", R"(load c:\s1\bin\java.exe)",
                     R"(non-working c:\s1\bin\java.exe)", "shared", R"(load c:\s2\bin\java.exe)",
                     R"(non-working c:\s2\bin\java.exe)", "shared", "registry", R"(load c:\r1\bin\java.exe)",
                     R"(non-working c:\r1\bin\java.exe)", "registry", R"(load c:\r2\bin\java.exe)"}));
    EXPECT_TRUE(logContains(LR"(add non-working java c:\s1\bin\java.exe)"));
}

TEST_F(SearchOrder, RegistryRetriesEndWhenTheNonWorkingListIsFull) {
    for (int i = 0; i < 60; ++i) {
        std::string exe = "c:\\s" + std::to_string(i) + "\\bin\\java.exe";
        lookups.shared.push_back({exe});
        lookups.unloadable.insert(exe);
    }
    lookups.registry = {{R"(c:\r0\bin\java.exe)"}, {R"(c:\r1\bin\java.exe)"}};
    lookups.unloadable.insert(R"(c:\r0\bin\java.exe)");
    lookups.homes["jre"] = {R"(c:\app\jre\bin\java.exe)"};
    SearchOutcome outcome = search("Y;Bjre");

    // The fiftieth failure fills the list: the shared runtimes end there, the vendor keys
    // get one attempt whose failure finds the list full, and the pass goes on to the next entry.
    std::vector<std::string> loads = lookups.loads();
    ASSERT_EQ(loads.size(), 52u);
    EXPECT_EQ(loads[49], R"(c:\s49\bin\java.exe)");
    EXPECT_EQ(loads[50], R"(c:\r0\bin\java.exe)");
    EXPECT_EQ(loads[51], R"(c:\app\jre\bin\java.exe)");
    EXPECT_TRUE(outcome.loaded);
    EXPECT_EQ(outcome.kind, LocationKind::Directory);
}

TEST_F(SearchOrder, AFailedLoadOutsideTheRegistryMovesOnWithoutTheNonWorkingList) {
    lookups.homes[R"(c:\a)"] = {R"(c:\a\bin\java.exe)"};
    lookups.homes[R"(c:\b)"] = {R"(c:\b\bin\java.exe)"};
    lookups.homes[R"(c:\r)"] = {R"(c:\r\bin\java.exe)"};
    lookups.homes["good"] = {R"(c:\app\good\bin\java.exe)"};
    lookups.variables["MY_JAVA"] = {R"(c:\env\bin\java.exe)"};
    lookups.onPath = FakeRuntime{R"(c:\path\bin\java.exe)"};
    lookups.unloadable = {R"(c:\a\bin\java.exe)", R"(c:\b\bin\java.exe)", R"(c:\r\bin\java.exe)",
                          R"(c:\env\bin\java.exe)", R"(c:\path\bin\java.exe)"};
    SearchOutcome outcome = search(R"(Ac:\a;Bc:\b;Rc:\r;EMY_JAVA;S;Bgood)");

    EXPECT_TRUE(outcome.loaded);
    EXPECT_EQ(lookups.loads(),
              (Calls{R"(c:\a\bin\java.exe)", R"(c:\b\bin\java.exe)", R"(c:\r\bin\java.exe)", R"(c:\env\bin\java.exe)",
                     R"(c:\path\bin\java.exe)", R"(c:\app\good\bin\java.exe)"}));
    for (const std::string& call : lookups.calls) EXPECT_NE(call.rfind("non-working", 0), 0u) << call;
    EXPECT_FALSE(logContains(L"add non-working java"));
}

TEST_F(SearchOrder, InstallerLocationComesAfterTheMainPassAndBeforeTheFallbackPass) {
    configStore.settings[130] = "1";
    lookups.homes["jre"] = outOfRange(R"(c:\app\jre\bin\java.exe)");
    lookups.locationFiles[kInstallerLocationFile] = R"(C:\installed)";
    lookups.homes[R"(C:\installed)"] = {R"(c:\installed\bin\java.exe)"};
    SearchOutcome outcome = search("Bjre");
    EXPECT_TRUE(outcome.loaded);
    EXPECT_EQ(outcome.kind, LocationKind::Directory);
    EXPECT_EQ(outcome.location, R"(C:\installed)");
    EXPECT_EQ(logAfterBounds(), (Lines{L"Testing location jre (type B)", LR"(Has installer location C:\installed)",
                                       L"Using installer location"}));
    // Pre-releases as the setting says, never accepted anyway.
    EXPECT_TRUE(called(R"(home C:\installed pre)"));

    // One that does not fit leaves the way to the fallback pass.
    clearCapturedLog();
    lookups.calls.clear();
    lookups.homes[R"(C:\installed)"] = outOfRange(R"(c:\installed\bin\java.exe)");
    outcome = search("Bjre");
    EXPECT_TRUE(outcome.loaded);
    EXPECT_EQ(outcome.location, "jre");
    EXPECT_EQ(
        logAfterBounds(),
        (Lines{
            L"Testing location jre (type B)", LR"(Has installer location C:\installed)",
            L"Testing relative location jre", LR"(c:\app\jre\bin\java.exe exists)",
            LR"(warning: no runtime passed the checks; using c:\app\jre\bin\java.exe (version unknown) whatever its version)"}));
}

TEST_F(SearchOrder, FallbackPassTakesBAlwaysAndAOrROnlyWhenRelative) {
    for (const char* home : {R"(c:\abs)", R"(\\srv\jre)", "jre", R"(c:\b)", "rt", R"(\\srv\b)"})
        lookups.homes[home] = outOfRange(std::string(home) + "\\bin\\java.exe");
    SearchOutcome outcome = search(R"(Ac:\abs;R\\srv\jre;Ajre;Bc:\b;Rrt;B\\srv\b;EMY_JAVA;S;Y;Xjre)");

    EXPECT_TRUE(outcome.loaded);
    EXPECT_EQ(outcome.location, "jre");
    Lines relative;
    for (const std::wstring& line : capturedLog())
        if (line.rfind(L"Testing relative location", 0) == 0) relative.push_back(line);
    EXPECT_EQ(relative, (Lines{L"Testing relative location jre"}));
    // The version is not asked: the out-of-range runtime is taken as it is.
    EXPECT_TRUE(called("home jre pre anyway"));

    lookups.calls.clear();
    clearCapturedLog();
    lookups.unloadable = {"jre\\bin\\java.exe", "c:\\b\\bin\\java.exe", "rt\\bin\\java.exe"};
    outcome = search(R"(Ac:\abs;R\\srv\jre;Ajre;Bc:\b;Rrt;B\\srv\b;EMY_JAVA;S;Y;Xjre)");
    EXPECT_TRUE(outcome.loaded);
    EXPECT_EQ(outcome.location, R"(\\srv\b)");
    relative.clear();
    for (const std::wstring& line : capturedLog())
        if (line.rfind(L"Testing relative location", 0) == 0) relative.push_back(line);
    EXPECT_EQ(relative, (Lines{L"Testing relative location jre", LR"(Testing relative location c:\b)",
                               L"Testing relative location rt", LR"(Testing relative location \\srv\b)"}));
}

TEST_F(SearchOrder, FallbackPassUsesTheRawValueAndNeedsTheExecutable) {
    lookups.expansions["${APP}\\jre"] = R"(C:\app\jre)";
    lookups.homes["${APP}\\jre"] = outOfRange(R"(c:\raw\bin\java.exe)");
    SearchOutcome outcome = search("Bempty;B${APP}\\jre");

    EXPECT_TRUE(outcome.loaded);
    EXPECT_EQ(outcome.location, "${APP}\\jre");
    EXPECT_EQ(
        logAfterBounds(),
        (Lines{
            L"Testing location empty (type B)", LR"(Testing location C:\app\jre (type B))",
            L"Testing relative location empty", L"Testing relative location ${APP}\\jre",
            LR"(c:\raw\bin\java.exe exists)",
            LR"(warning: no runtime passed the checks; using c:\raw\bin\java.exe (version unknown) whatever its version)"}));
    EXPECT_TRUE(called(R"(exists? empty\bin\java.exe)"));
    EXPECT_EQ(lookups.loads(), (Calls{R"(c:\raw\bin\java.exe)"}));
}

TEST_F(SearchOrder, EarlierInstallationsOfTheUserComeBeforeTheMachines) {
    lookups.installations[InstallationScope::User] = {R"(c:\user\jre\bin\java.exe)"};
    lookups.installations[InstallationScope::Machine] = {R"(c:\machine\jre\bin\java.exe)"};
    lookups.unloadable = {R"(c:\user\jre\bin\java.exe)"};
    SearchOutcome outcome = search("Bjre");

    EXPECT_TRUE(outcome.loaded);
    EXPECT_EQ(outcome.kind, LocationKind::Registry);
    EXPECT_EQ(logAfterBounds(),
              (Lines{L"Testing location jre (type B)", L"Testing relative location jre",
                     LR"(found JRE from previous installation (user) c:\user\jre\bin\java.exe)",
                     LR"(found JRE from previous installation (machine) c:\machine\jre\bin\java.exe)"}));
    EXPECT_EQ(lookups.loads(), (Calls{R"(c:\user\jre\bin\java.exe)", R"(c:\machine\jre\bin\java.exe)"}));

    // A user installation that loads ends the search before the machine is asked.
    lookups.calls.clear();
    lookups.unloadable.clear();
    EXPECT_TRUE(search("").loaded);
    EXPECT_FALSE(called("installation machine"));
}

TEST_F(SearchOrder, EnvironmentHomesComeLastRavelBeforeQuillwork) {
    lookups.variables["RAVEL_JAVA_HOME"] = {R"(c:\ravel\bin\java.exe)"};
    lookups.variables["QUILLWORK_JAVA_HOME"] = {R"(c:\quillwork\bin\java.exe)"};
    lookups.unloadable = {R"(c:\ravel\bin\java.exe)"};
    SearchOutcome outcome = search("");

    EXPECT_TRUE(outcome.loaded);
    EXPECT_EQ(outcome.kind, LocationKind::Environment);
    EXPECT_EQ(outcome.location, "QUILLWORK_JAVA_HOME");
    EXPECT_EQ(lookups.calls,
              (Calls{R"(file \.quillwork\pref_jre.cfg)", R"(file \.quillwork\inst_jre.cfg)", "installation user",
                     "installation machine", "variable RAVEL_JAVA_HOME", R"(load c:\ravel\bin\java.exe)",
                     "variable QUILLWORK_JAVA_HOME", R"(load c:\quillwork\bin\java.exe)"}));
    EXPECT_EQ(logAfterBounds(), (Lines{L"Search sequence finished"}));

    lookups.calls.clear();
    lookups.unloadable.clear();
    outcome = search("");
    EXPECT_EQ(outcome.location, "RAVEL_JAVA_HOME");
    EXPECT_FALSE(called("variable QUILLWORK_JAVA_HOME"));
}

TEST_F(SearchOrder, TheLastCandidatesKindChoosesTheFailureMessage) {
    struct Case {
        const char* sequence;
        MessageId id;
        std::string argument;
    };
    const Case cases[] = {
        // nothing found at all
        {"Bmissing;EUNSET", MessageId::NoRuntimeFound, "64"},
        // the search path: the launcher's bitness
        {"S", MessageId::NoRuntimeFound, "64"},
        // a directory, tried again by the fallback pass
        {"Abroken", MessageId::DirectoryRuntimeUnusable, "broken"},
        // a directory, then a variable: the variable
        {R"(Ac:\bad;EMY_JAVA)", MessageId::EnvironmentRuntimeUnusable, "MY_JAVA"},
        // a variable, then the registry: the registry
        {"EMY_JAVA;Y", MessageId::RegistryRuntimeUnusable, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sequence);
        lookups = FakeLookups();
        lookups.homes["broken"] = {R"(c:\app\broken\bin\java.exe)"};
        lookups.homes[R"(c:\bad)"] = {R"(c:\bad\bin\java.exe)"};
        lookups.variables["MY_JAVA"] = {R"(c:\env\bin\java.exe)"};
        lookups.onPath = FakeRuntime{R"(c:\path\bin\java.exe)"};
        lookups.shared = {{R"(c:\shared\bin\java.exe)"}};
        lookups.unloadable = {R"(c:\app\broken\bin\java.exe)", R"(c:\bad\bin\java.exe)", R"(c:\env\bin\java.exe)",
                              R"(c:\path\bin\java.exe)", R"(c:\shared\bin\java.exe)"};
        forgetNonWorkingJavasForTest();
        SearchOutcome outcome = search(c.sequence);
        EXPECT_FALSE(outcome.loaded);
        FailureMessage message = failureMessageFor(outcome.kind, outcome.location, 64);
        EXPECT_EQ(message.id, c.id);
        EXPECT_EQ(message.argument, c.argument);
    }
}

TEST(FallbackPass, WarningNamesTheRuntimeAndItsVersion) {
    EXPECT_EQ(
        fallbackWarning(R"(c:\app\jre\bin\java.exe)", "1.8.0_201"),
        R"(warning: no runtime passed the checks; using c:\app\jre\bin\java.exe (version 1.8.0_201) whatever its version)");
    EXPECT_EQ(
        fallbackWarning(R"(c:\app\jre\bin\java.exe)", ""),
        R"(warning: no runtime passed the checks; using c:\app\jre\bin\java.exe (version unknown) whatever its version)");
}
