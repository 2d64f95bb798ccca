#include "launch/vm_options_rules.h"

#include "config/config_store.h"
#include "config/user_locale.h"
#include "paths/selected_java.h"
#include "support/log_capture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <map>

using Strings = std::vector<std::string>;
using WStrings = std::vector<std::wstring>;

namespace {

// Option files held in memory, a one-pass placeholder table standing in for the launcher's
// expansion, and a small ANSI code page: Latin-1, except that byte 0x80 is the euro sign (as
// in code page 1252) and the units 0x80-0x9F have no byte; what it lacks becomes "?".
class MemoryFiles : public OptionFileSystem {
public:
    std::map<std::wstring, std::string> files;
    std::map<std::wstring, std::wstring> placeholders;
    std::wstring directory = L"C:\\app\\";
    WStrings opened;                                        // every path asked for, in order
    std::vector<std::pair<std::wstring, bool>> expansions;  // text and narrowForms of each call

    FILE* openText(const std::wstring& path) override {
        opened.push_back(path);
        auto found = files.find(path);
        if (found == files.end()) return nullptr;
        FILE* file = tmpfile();
        fwrite(found->second.data(), 1, found->second.size(), file);
        rewind(file);
        names_[file] = path;
        return file;
    }

    std::string fileIdentity(FILE* file, const wchar_t*) override {
        auto found = names_.find(file);
        return found == names_.end() ? std::string() : std::string(found->second.begin(), found->second.end());
    }

    bool expand(wchar_t* text, size_t capacity, bool narrowForms) override {
        expansions.emplace_back(text, narrowForms);
        // One pass over the text as it was: a value that itself looks like a placeholder
        // stays as it is, as with the launcher's expansion.
        std::wstring original = text, result;
        for (size_t at = 0; at < original.size();) {
            auto token = std::find_if(placeholders.begin(), placeholders.end(), [&](const auto& p) {
                return original.compare(at, p.first.size(), p.first) == 0;
            });
            if (token == placeholders.end()) {
                result += original[at++];
            } else {
                result += token->second;
                at += token->first.size();
            }
        }
        bool fits = result.size() < capacity;
        if (!fits) result.resize(capacity - 1);
        std::copy(result.begin(), result.end(), text);
        text[result.size()] = 0;
        return fits;
    }

    std::string toOptionText(const std::wstring& text) override {
        std::string narrow;
        for (wchar_t c : text) {
            if (c == 0x20AC)
                narrow += '\x80';
            else
                narrow += c > 0xFF || (c >= 0x80 && c < 0xA0) ? '?' : static_cast<char>(c);
        }
        return narrow;
    }

    std::wstring widenAnsiLine(const std::string& line) override {
        std::wstring wide;
        for (char c : line) wide += c == '\x80' ? L'\u20AC' : static_cast<wchar_t>(static_cast<unsigned char>(c));
        return wide;
    }

    std::wstring launcherDirectory() override { return directory; }

    // The default file is the one held under this name, when there is one.
    FILE* openDefaultFile() override { return openText(defaultFile); }
    std::wstring defaultFile = L"C:\\app\\app.vmoptions";

    // Argument files are the option assembly's concern (jvm_arguments_rules_test.cpp); the reader
    // must never ask for them.
    void expandArgumentFiles(OptionList&) override { ADD_FAILURE() << "the reader expanded argument files"; }

private:
    std::map<FILE*, std::wstring> names_;
};

class OptionFiles : public ::testing::Test {
protected:
    void SetUp() override {
        clearCapturedLog();
        configStore = ConfigStore();
        javaVersionText = nullptr;
        setUserLocale(nullptr);
    }
    void TearDown() override {
        configStore = ConfigStore();
        javaVersionText = nullptr;
        setUserLocale(nullptr);
    }

    void readNamed(const std::wstring& path) {
        reader.readFile(path.c_str(), files.openText(path), options, overrides);
    }

    MemoryFiles files;
    OptionFileReader reader{files};
    OptionList options;
    ClassPathOverrides overrides;
};

}  // namespace

TEST_F(OptionFiles, LinesAreTrimmedAndCommentLinesSkipped) {
    files.files[L"C:\\app\\app.vmoptions"] = "  -Xmx512m  \r\n# -Xmx1g\r\n\r\n   \n\t-Da=b c\t\n-Xmx1g # big\n-Dlast";
    reader.readDefaultFile(options, overrides);
    EXPECT_EQ(options, (Strings{"-Xmx512m", "-Da=b c", "-Xmx1g # big", "-Dlast"}));
    EXPECT_EQ(files.opened, WStrings{L"C:\\app\\app.vmoptions"});
    EXPECT_TRUE(logContains(L"default vmoptions file: "));
    EXPECT_FALSE(logContains(L"default vmoptions file: 0000000000000000"));
}

TEST_F(OptionFiles, NoDefaultFileAddsNothing) {
    reader.readDefaultFile(options, overrides);
    EXPECT_TRUE(options.empty());
    EXPECT_EQ(files.opened, WStrings{L"C:\\app\\app.vmoptions"});
    EXPECT_TRUE(logContains(L"default vmoptions file: 0000000000000000"));
}

TEST_F(OptionFiles, ALineLongerThanOnePieceBecomesSeveralOptions) {
    std::string first = "-D" + std::string(kOptionLinePieceBytes - 3, 'a');  // exactly one piece
    files.files[L"C:\\app\\long.vmoptions"] = first + "tail\n-Xnext\n";
    readNamed(L"C:\\app\\long.vmoptions");
    ASSERT_EQ(options.size(), 3u);
    EXPECT_EQ(options[0], first);
    EXPECT_EQ(options[1], "tail");
    EXPECT_EQ(options[2], "-Xnext");
}

TEST_F(OptionFiles, Utf8FilesAreDecodedWithOrWithoutAByteOrderMark) {
    files.placeholders[L"%DIR%"] = L"C:\\app";
    files.files[L"C:\\app\\plain.vmoptions"] = "-Dname=caf\xC3\xA9\n-Dhome=%DIR%\\lib\n";
    // The mark is not part of the first line, so a comment there is still a comment.
    files.files[L"C:\\app\\marked.vmoptions"] = "\xEF\xBB\xBF# first\n-Dname=\xE2\x82\xAC \xC3\xA9l\xC3\xA8ve\n";
    files.files[L"C:\\app\\ascii.vmoptions"] = "\xEF\xBB\xBF-Xmx1g\n";
    readNamed(L"C:\\app\\plain.vmoptions");
    readNamed(L"C:\\app\\marked.vmoptions");
    readNamed(L"C:\\app\\ascii.vmoptions");
    EXPECT_EQ(options, (Strings{"-Dname=caf\xE9", "-Dhome=C:\\app\\lib", "-Dname=\x80 \xE9l\xE8ve", "-Xmx1g"}));
    // The lines are expanded as the characters they hold, with the narrow forms.
    ASSERT_EQ(files.expansions.size(), 4u);
    EXPECT_EQ(files.expansions[0].first, std::wstring(L"-Dname=caf\u00E9"));
    EXPECT_EQ(files.expansions[2].first, std::wstring(L"-Dname=\u20AC \u00E9l\u00E8ve"));
    EXPECT_TRUE(files.expansions[0].second);
    EXPECT_TRUE(files.expansions[1].second);
}

TEST_F(OptionFiles, AFileThatIsNotUtf8IsReadInTheAnsiCodePageAsAWhole) {
    files.files[L"C:\\app\\ansi.vmoptions"] = "-Dname=caf\xE9 \x80\n";
    // The first line alone would be valid UTF-8; the second decides for the whole file.
    files.files[L"C:\\app\\mixed.vmoptions"] = "-Da=\xC3\xA9\n-Db=\xE9\n";
    readNamed(L"C:\\app\\ansi.vmoptions");
    readNamed(L"C:\\app\\mixed.vmoptions");
    EXPECT_EQ(options, (Strings{"-Dname=caf\xE9 \x80", "-Da=\xC3\xA9", "-Db=\xE9"}));
    ASSERT_EQ(files.expansions.size(), 3u);
    EXPECT_EQ(files.expansions[0].first, std::wstring(L"-Dname=caf\u00E9 \u20AC"));
    EXPECT_EQ(files.expansions[1].first, std::wstring(L"-Da=\u00C3\u00A9"));
}

TEST_F(OptionFiles, IncludedFilesAreJudgedEachOnItsOwn) {
    files.files[L"C:\\app\\outer.vmoptions"] = "-Do=\xC3\xA9\n-include-options inner.vmoptions\n-Dp=\xC3\xA8\n";
    files.files[L"C:\\app\\inner.vmoptions"] = "-Di=\xE9\n";
    readNamed(L"C:\\app\\outer.vmoptions");
    EXPECT_EQ(options, (Strings{"-Do=\xE9", "-Di=\xE9", "-Dp=\xE8"}));
}

TEST_F(OptionFiles, AUtf8CharacterIsNeverSplitBetweenTwoPieces) {
    // The first piece ends after the first byte of "é"; that byte starts the next piece.
    std::string first = "-D" + std::string(kOptionLinePieceBytes - 4, 'a');
    files.files[L"C:\\app\\long.vmoptions"] = first + "\xC3\xA9t\xC3\xA9\n-Xnext\n";
    readNamed(L"C:\\app\\long.vmoptions");
    EXPECT_EQ(options, (Strings{first, "\xE9t\xE9", "-Xnext"}));
}

TEST_F(OptionFiles, ClassPathOverridesTakeTheLastLineOfEachKind) {
    files.files[L"C:\\app\\cp.vmoptions"] =
        "-classpath a.jar\n-classpath/p p1.jar\n-classpath b.jar\n-classpath/a lib\\x.jar\n"
        "-classpath/p  p2.jar \n-classpath\n-classpath/a\n";
    readNamed(L"C:\\app\\cp.vmoptions");
    EXPECT_EQ(overrides.replacement, "b.jar");
    EXPECT_EQ(overrides.prepend, " p2.jar");  // the line is trimmed, the rest taken verbatim
    EXPECT_EQ(overrides.append, "lib\\x.jar");
    EXPECT_EQ(options, (Strings{"-classpath", "-classpath/a"}));
}

TEST_F(OptionFiles, RelativeIncludesResolveAgainstTheIncludingFile) {
    files.files[L"C:\\app\\conf\\x.vmoptions"] = "-Douter=1\n-include-options common.vmoptions\n-Douter=2\n";
    files.files[L"C:\\app\\conf\\common.vmoptions"] = "-Dcommon\n-include-options sub\\\\deep.vmoptions\n";
    files.files[L"C:\\app\\conf\\sub\\deep.vmoptions"] = "-Ddeep\n";
    readNamed(L"C:\\app\\conf\\x.vmoptions");
    EXPECT_EQ(options, (Strings{"-Douter=1", "-Dcommon", "-Ddeep", "-Douter=2"}));
    EXPECT_TRUE(logContains(L"after exp from common.vmoptions common.vmoptions"));
    EXPECT_TRUE(logContains(L"<C:\\app\\conf\\common.vmoptions> (common.vmoptions)"));
    EXPECT_TRUE(logContains(L"<C:\\app\\conf\\sub\\deep.vmoptions> (sub\\\\deep.vmoptions)"));
    EXPECT_TRUE(logContains(L"adding vmoptions 2"));
    EXPECT_TRUE(logContains(L"adding vmoptions 3"));
}

TEST_F(OptionFiles, IncludesWithoutAFileResolveAgainstTheLauncherDirectory) {
    files.files[L"C:\\app\\common.vmoptions"] = "-Dcommon\n";
    files.files[L"C:\\app\\app.vmoptions"] = "-include-options common.vmoptions\n";
    reader.readDefaultFile(options, overrides);
    reader.processLine(nullptr, L"-include-options common.vmoptions", options, overrides);
    reader.processList({L"-include-options", L"common.vmoptions"}, options, overrides);
    EXPECT_EQ(options, (Strings{"-Dcommon", "-Dcommon", "-Dcommon"}));
}

TEST_F(OptionFiles, AbsoluteAndMissingIncludes) {
    files.files[L"D:\\shared\\all.vmoptions"] = "-Dshared\n";
    files.files[L"C:\\app\\conf\\x.vmoptions"] =
        "-include-options D:\\shared\\all.vmoptions\n-include-options missing.vmoptions\n-Dafter\n";
    readNamed(L"C:\\app\\conf\\x.vmoptions");
    EXPECT_EQ(options, (Strings{"-Dshared", "-Dafter"}));
    EXPECT_EQ(files.opened.back(), L"C:\\app\\conf\\missing.vmoptions");
    EXPECT_TRUE(logContains(L"<C:\\app\\conf\\missing.vmoptions> (missing.vmoptions)"));
}

TEST_F(OptionFiles, TheIncludeOperandIsExpandedAgainWithWideForms) {
    // The file line is expanded first (narrow forms); the include operand a second time
    // (wide forms), which meets only what the first expansion produced.
    files.placeholders[L"%FIRST%"] = L"%SECOND%";
    files.placeholders[L"%SECOND%"] = L"second.vmoptions";
    files.files[L"C:\\app\\x.vmoptions"] = "-include-options %FIRST%\n";
    files.files[L"C:\\app\\second.vmoptions"] = "-Dsecond\n";
    readNamed(L"C:\\app\\x.vmoptions");
    EXPECT_EQ(options, (Strings{"-Dsecond"}));
    ASSERT_EQ(files.expansions.size(), 3u);
    EXPECT_TRUE(files.expansions[0].second);
    EXPECT_EQ(files.expansions[1].first, L"%SECOND%");
    EXPECT_FALSE(files.expansions[1].second);
    EXPECT_TRUE(logContains(L"after exp from second.vmoptions %SECOND%"));
}

TEST_F(OptionFiles, IncludesThatWouldBeCutAreNotOpened) {
    files.placeholders[L"%HUGE%"] = std::wstring(kOptionTextCapacity, L'x');
    reader.processLine(nullptr, L"-include-options %HUGE%", options, overrides);
    reader.processLine(nullptr, L"-include-options " + std::wstring(kOptionTextCapacity, L'y'), options, overrides);
    // Fits on its own, but not behind the launcher directory.
    reader.processLine(nullptr, L"-include-options " + std::wstring(kOptionTextCapacity - 3, L'z'), options, overrides);
    EXPECT_TRUE(files.opened.empty());
    EXPECT_TRUE(options.empty());
    EXPECT_TRUE(logContains(L"ERROR: include operand longer than 5999 characters after expansion"));
    EXPECT_TRUE(logContains(L"ERROR: include operand longer than 5999 characters, not opened"));
    EXPECT_TRUE(logContains(L"ERROR: include path longer than 5999 characters"));
}

TEST_F(OptionFiles, AFileThatIncludesItselfIsReadOnce) {
    files.files[L"C:\\app\\self.vmoptions"] = "-Dbefore\n-include-options self.vmoptions\n-Dafter\n";
    readNamed(L"C:\\app\\self.vmoptions");
    EXPECT_EQ(options, (Strings{"-Dbefore", "-Dafter"}));
    EXPECT_TRUE(logContains(L"not reading C:\\app\\self.vmoptions again"));
}

TEST_F(OptionFiles, AnIncludeCycleThroughOtherFilesIsReadOnce) {
    files.files[L"C:\\app\\a.vmoptions"] = "-Da\n-include-options conf\\b.vmoptions\n-Da2\n";
    files.files[L"C:\\app\\conf\\b.vmoptions"] =
        "-Db\n-include-options C:\\app\\a.vmoptions\n-include-options c.vmoptions\n-Db2\n";
    files.files[L"C:\\app\\conf\\c.vmoptions"] = "-Dc\n-include-options C:\\app\\conf\\b.vmoptions\n";
    readNamed(L"C:\\app\\a.vmoptions");
    EXPECT_EQ(options, (Strings{"-Da", "-Db", "-Dc", "-Db2", "-Da2"}));
    EXPECT_TRUE(logContains(L"not reading C:\\app\\a.vmoptions again"));
    EXPECT_TRUE(logContains(L"not reading C:\\app\\conf\\b.vmoptions again"));
}

TEST_F(OptionFiles, TheDefaultFileIncludingItselfIsReadOnce) {
    files.files[L"C:\\app\\app.vmoptions"] = "-Dd\n-include-options app.vmoptions\n";
    reader.readDefaultFile(options, overrides);
    EXPECT_EQ(options, (Strings{"-Dd"}));
    EXPECT_TRUE(logContains(L"already being read"));
}

TEST_F(OptionFiles, AFileIncludedTwiceInTurnIsReadTwice) {
    files.files[L"C:\\app\\a.vmoptions"] = "-include-options b.vmoptions\n-include-options b.vmoptions\n";
    files.files[L"C:\\app\\b.vmoptions"] = "-Db\n";
    readNamed(L"C:\\app\\a.vmoptions");
    EXPECT_EQ(options, (Strings{"-Db", "-Db"}));
    EXPECT_FALSE(logContains(L"already being read"));
}

TEST_F(OptionFiles, SplitListsJoinOnlyIncludeWithItsOperand) {
    files.files[L"C:\\app\\my file.vmoptions"] = "-Dspaced\n";
    reader.processList({L"-Xmx1g", L"-include-options", L"my file.vmoptions", L"-classpath", L"a.jar",
                        L"-classpath/a x.jar", L"-include-options"},
                       options, overrides);
    EXPECT_EQ(options, (Strings{"-Xmx1g", "-Dspaced", "-classpath", "a.jar", "-include-options"}));
    EXPECT_EQ(overrides.append, "x.jar");
}

TEST_F(OptionFiles, ConfiguredOptionsThenTheFirstMatchingVersionEntryThenLocale) {
    configStore.settings[123] = "-Xmx1g \"-Dp=a b\" \"-classpath/p first.jar\" -classpath x.jar";
    configStore.settings[10200] = "4";
    configStore.settings[10201] = "9-11";
    configStore.settings[10202] = "-Dnine";
    configStore.settings[10203] = "1-8";
    configStore.settings[10204] = "-Deight -Dalso";
    configStore.settings[10205] = "*1.8*";
    configStore.settings[10206] = "-Dwild";
    configStore.settings[10207] = "nodash";
    configStore.settings[10208] = "-Dnever";
    recordSelectedJava("C:\\j\\bin\\java.exe", "1.8.0_301");
    setUserLocale("de_CH");
    reader.addConfigured({L"app.exe", L"-Dsun.locale.formatasdefault=false"}, options, overrides);
    EXPECT_EQ(options, (Strings{"-Xmx1g", "-Dp=a b", "-classpath", "x.jar", "-Deight", "-Dalso",
                                "-Dsun.locale.formatasdefault=false", "-Duser.language=de", "-Duser.country=CH"}));
    EXPECT_EQ(overrides.prepend, "first.jar");
    EXPECT_TRUE(logContains(L"check 4 version specific vm option lines for 1.8.0_301"));
    EXPECT_TRUE(logContains(L"checking min 9 max 11 with 8"));
    EXPECT_TRUE(logContains(L"adding specific -Deight -Dalso"));
    // The later entries are never examined.
    EXPECT_FALSE(logContains(L"checking version *1.8*"));
    EXPECT_FALSE(logContains(L"expected dash"));
}

TEST_F(OptionFiles, VersionEntriesNeedAVersionAndADashOrWildcard) {
    configStore.settings[10200] = "2";
    configStore.settings[10201] = "nodash";
    configStore.settings[10202] = "-Dnodash";
    configStore.settings[10203] = "*17*";
    configStore.settings[10204] = "-Dseventeen";
    reader.addConfigured({L"app.exe"}, options, overrides);
    EXPECT_TRUE(options.empty());  // no runtime chosen: nothing applies
    EXPECT_FALSE(logContains(L"checking version"));

    recordSelectedJava("C:\\j\\bin\\java.exe", "17.0.2");
    reader.addConfigured({L"app.exe"}, options, overrides);
    EXPECT_EQ(options, (Strings{"-Dseventeen"}));
    EXPECT_TRUE(logContains(L"ERROR: expected dash"));
    EXPECT_TRUE(logContains(L"checking version nodash 0"));
    EXPECT_TRUE(logContains(L"checking version *17* 1"));
}

TEST_F(OptionFiles, AnOverstatedEntryCountEndsAtTheConfiguredEntries) {
    configStore.settings[10200] = "2147483647";
    configStore.settings[10201] = "20-30";
    configStore.settings[10202] = "-Dnever";
    recordSelectedJava("C:\\j\\bin\\java.exe", "17.0.2");
    auto start = std::chrono::steady_clock::now();
    reader.addConfigured({L"app.exe"}, options, overrides);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_TRUE(options.empty());
    EXPECT_TRUE(logContains(L"check 2147483647 version specific vm option lines for 17.0.2"));
    EXPECT_EQ(versionSpecificEntryCount(3, 10206), 3);
    EXPECT_EQ(versionSpecificEntryCount(5, 10206), 3);
    EXPECT_EQ(versionSpecificEntryCount(5, 10205), 3);  // the last condition without its options
    EXPECT_EQ(versionSpecificEntryCount(3, 10200), 0);
    EXPECT_EQ(versionSpecificEntryCount(0, 20000), 0);
    EXPECT_EQ(versionSpecificEntryCount(-4, 20000), 0);
    int largest = versionSpecificEntryCount(INT_MAX, INT_MAX);
    EXPECT_GT(largest, 0);
    EXPECT_LE(10202LL + 2LL * (largest - 1), static_cast<long long>(INT_MAX));
}

TEST_F(OptionFiles, LocaleOptionsFollowTheLastLocaleArgument) {
    setUserLocale("de_CH");
    reader.addConfigured({L"app.exe", L"-Dsun.locale.formatasdefault=true"}, options, overrides);
    EXPECT_EQ(options, (Strings{"-Dsun.locale.formatasdefault=true"}));

    options.clear();
    reader.addConfigured({L"app.exe", L"-Dsun.locale.formatasdefault=true", L"x", L"-Dsun.locale.formatasdefault=no"},
                         options, overrides);
    EXPECT_EQ(options, (Strings{"-Dsun.locale.formatasdefault=no", "-Duser.language=de", "-Duser.country=CH"}));

    options.clear();
    setUserLocale("de");
    reader.addConfigured({L"app.exe", L"-Dsun.locale.formatasdefault=false"}, options, overrides);
    EXPECT_EQ(options, (Strings{"-Dsun.locale.formatasdefault=false", "-Duser.language=de"}));

    options.clear();
    reader.addConfigured({L"app.exe", L"-Dsun.locale.formatasdefault"}, options, overrides);
    EXPECT_TRUE(options.empty());
}

TEST(DefaultVmOptionsFile, TheNameWithoutExeComesFirst) {
    DefaultVmOptionsNames names = defaultVmOptionsNames(L"C:\\My App\\app.exe");
    EXPECT_EQ(names.replacingExtension, L"C:\\My App\\app.vmoptions");
    EXPECT_EQ(names.appendingExtension, L"C:\\My App\\app.exe.vmoptions");
    // The last four characters go whatever they are.
    EXPECT_EQ(defaultVmOptionsNames(L"C:\\A\\RUN.EXE").replacingExtension, L"C:\\A\\RUN.vmoptions");
    EXPECT_EQ(defaultVmOptionsNames(L"abc").replacingExtension, L"");
    EXPECT_EQ(defaultVmOptionsNames(L"abc").appendingExtension, L"abc.vmoptions");
}

TEST(ArgumentFiles, AnswersReplaceTheirOptionAndNoAnswerKeepsIt) {
    Strings asked;
    auto preprocess = [&](const std::string& option) -> std::optional<Strings> {
        asked.push_back(option);
        if (option == "@args") return Strings{"-Dx=1", "-Dy=2"};
        if (option == "@empty") return Strings{};
        return std::nullopt;
    };
    OptionList options{"-Xa", "@args", "@empty", "@missing", "-Xb"};
    EXPECT_EQ(preprocessArgumentFiles(options, preprocess), (Strings{"-Xa", "-Dx=1", "-Dy=2", "@missing", "-Xb"}));
    EXPECT_EQ(asked, options);  // every option, once, in order
    EXPECT_TRUE(hasArgumentFileOption(options));
    EXPECT_FALSE(hasArgumentFileOption({"-Xa", "-D@x", ""}));
}

TEST(OptionLines, KeywordsIncludeTheirSpaceAndTakeTheRestVerbatim) {
    EXPECT_EQ(classifyOptionLine(L"-classpath a.jar").kind, OptionLineKind::ClassPathReplace);
    EXPECT_EQ(classifyOptionLine(L"-classpath a.jar").value, L"a.jar");
    EXPECT_EQ(classifyOptionLine(L"-classpath/a lib\\x.jar").kind, OptionLineKind::ClassPathAppend);
    EXPECT_EQ(classifyOptionLine(L"-classpath/a lib\\x.jar").value, L"lib\\x.jar");
    EXPECT_EQ(classifyOptionLine(L"-classpath/p  \"q\" ").value, L" \"q\" ");
    EXPECT_EQ(classifyOptionLine(L"-include-options common.vmoptions").kind, OptionLineKind::IncludeOptions);
    EXPECT_EQ(classifyOptionLine(L"-include-options common.vmoptions").value, L"common.vmoptions");
    // Without the space they are plain options.
    EXPECT_EQ(classifyOptionLine(L"-classpath").kind, OptionLineKind::Option);
    EXPECT_EQ(classifyOptionLine(L"-include-options").kind, OptionLineKind::Option);
    EXPECT_EQ(classifyOptionLine(L"-Classpath a").kind, OptionLineKind::Option);
    EXPECT_EQ(classifyOptionLine(L"-Xmx1g # big").value, L"-Xmx1g # big");
}

TEST(OptionFileEncoding, AMarkMeansUtf8ElseValidUtf8WithAHighByteElseAnsi) {
    auto judged = [](const std::string& bytes, size_t pieceSize) {
        OptionFileEncodingJudge judge;
        for (size_t at = 0; at < bytes.size(); at += pieceSize)
            judge.feed(std::string_view(bytes).substr(at, pieceSize));
        return judge.encoding();
    };
    const std::pair<std::string, OptionFileEncoding> cases[] = {
        {"\xEF\xBB\xBF-Dx=\xC3\xA9\n", OptionFileEncoding::Utf8WithByteOrderMark},
        {"\xEF\xBB\xBF-Dx=\xE9\n", OptionFileEncoding::Utf8WithByteOrderMark},  // the mark decides alone
        {"\xEF\xBB\xBF", OptionFileEncoding::Utf8WithByteOrderMark},
        {"-Dx=\xC3\xA9\n", OptionFileEncoding::Utf8},
        {"-Dx=\xF0\x9F\x98\x80\n", OptionFileEncoding::Utf8},
        {"-Xmx1g\n", OptionFileEncoding::Ansi},  // plain ASCII reads the same either way
        {"", OptionFileEncoding::Ansi},
        {"-Dx=caf\xE9\n", OptionFileEncoding::Ansi},         // code page 1252
        {"-Dx=\xC3\xA9\xE9\n", OptionFileEncoding::Ansi},    // valid up to one byte
        {"-Dx=\xC3", OptionFileEncoding::Ansi},              // ends inside a character
        {"-Dx=\xC0\xAF", OptionFileEncoding::Ansi},          // overlong "/"
        {"-Dx=\xED\xA0\x80", OptionFileEncoding::Ansi},      // a surrogate
        {"-Dx=\xF4\x90\x80\x80", OptionFileEncoding::Ansi},  // above U+10FFFF
        {"\xEF\xBB-Dx", OptionFileEncoding::Ansi},           // half a mark
    };
    for (const auto& [bytes, expected] : cases) {
        EXPECT_EQ(judged(bytes, bytes.size() + 1), expected) << bytes;
        EXPECT_EQ(judged(bytes, 1), expected) << bytes << " (fed byte by byte)";
    }
}

TEST(OptionLines, TrimmingAndComments) {
    EXPECT_EQ(trimOptionLine("  -Xmx512m  \r\n"), "-Xmx512m");
    EXPECT_EQ(trimOptionLine("\t-Da=b c\t\n"), "-Da=b c");
    EXPECT_TRUE(isIgnoredOptionLine(trimOptionLine("   \r\n")));
    EXPECT_TRUE(isIgnoredOptionLine(trimOptionLine("# -Xmx1g")));
    EXPECT_FALSE(isIgnoredOptionLine(trimOptionLine("-Xmx1g # big")));
}

TEST(OptionLines, SplitListJoinsOnlyIncludeWithItsOperand) {
    EXPECT_EQ(optionListLines({L"-Xmx1g", L"-include-options", L"my file.vmoptions", L"-classpath", L"a.jar"}),
              (WStrings{L"-Xmx1g", L"-include-options my file.vmoptions", L"-classpath", L"a.jar"}));
    EXPECT_EQ(optionListLines({L"-include-options"}), (WStrings{L"-include-options"}));
}

TEST(Wildcard, WholeTextCaseSensitive) {
    EXPECT_TRUE(matchWildcard(std::string("*1.8*"), std::string("1.8.0_301")));
    EXPECT_TRUE(matchWildcard(std::string("1.?.0*"), std::string("1.8.0_301")));
    EXPECT_FALSE(matchWildcard(std::string("1.8"), std::string("1.8.0")));
    EXPECT_TRUE(matchWildcard(std::string("**"), std::string("")));
    EXPECT_FALSE(matchWildcard(std::string("?"), std::string("")));
    EXPECT_TRUE(matchWildcard(std::string("a*b*c"), std::string("aXbYbZc")));
    EXPECT_FALSE(matchWildcard(std::string("a*b*c"), std::string("aXbYbZ")));
    EXPECT_FALSE(matchWildcard(std::string("*EA*"), std::string("17-ea")));
    EXPECT_TRUE(matchWildcard(L"*-ea", L"17-ea"));
}

TEST(VersionConditions, RangesUseTheMajorVersion) {
    EXPECT_EQ(majorJavaVersion("1.8.0_301"), 8);
    EXPECT_EQ(majorJavaVersion("11.0.2"), 11);
    EXPECT_EQ(majorJavaVersion("1"), 1);
    EXPECT_EQ(majorJavaVersion(""), -1);
    EXPECT_FALSE(versionConditionMatches("9-11", "1.8.0_301"));
    EXPECT_TRUE(versionConditionMatches("1-8", "1.8.0_301"));
    EXPECT_TRUE(versionConditionMatches("9-11", "11.0.2"));
    EXPECT_FALSE(versionConditionMatches("11-", "17.0.2"));  // max is atoi("") = 0
    EXPECT_TRUE(versionConditionMatches("*1.8*", "1.8.0_301"));
    clearCapturedLog();
    EXPECT_FALSE(versionConditionMatches("11", "11"));
    EXPECT_TRUE(logContains(L"ERROR: expected dash"));
    clearCapturedLog();
    versionConditionMatches("9-11", "11.0.2");
    EXPECT_TRUE(logContains(L"checking min 9 max 11 with 11"));
    EXPECT_TRUE(logContains(L"checking version 9 1"));
}
