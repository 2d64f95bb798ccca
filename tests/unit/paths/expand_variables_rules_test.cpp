#include "paths/expand_variables_rules.h"

#include "support/log_capture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

WideExpansionValues wideValues() {
    WideExpansionValues values;
    values.launcherDirectory = LR"(C:\app\)";
    values.extractionDirectory = LR"(C:\tmp\rvl1.tmp_dir5)";
    values.jvmHome = L"";
    values.tempDirectory = [] { return std::wstring(LR"(C:\Users\u\Temp\)"); };
    return values;
}

NarrowExpansionValues narrowValues() {
    NarrowExpansionValues values;
    values.launcherDirectory = R"(C:\PROGRA~1\app\)";
    values.extractionDirectory = "";
    values.jvmHome = R"(C:\Java\bin\..)";
    values.tempDirectory = [] { return std::string(R"(C:\TEMP\)"); };
    return values;
}

std::wstring expanded(const std::wstring& text, const WideExpansionValues& values, size_t capacity = 6000) {
    std::vector<wchar_t> buffer(capacity);
    buffer[text.copy(buffer.data(), capacity - 1)] = 0;
    expandWithValues(buffer.data(), capacity, values);
    return buffer.data();
}

std::string expanded(const std::string& text, const NarrowExpansionValues& values, size_t capacity = 6000) {
    std::vector<char> buffer(capacity);
    buffer[text.copy(buffer.data(), capacity - 1)] = 0;
    expandWithValues(buffer.data(), capacity, values);
    return buffer.data();
}

class ExpansionTest : public ::testing::Test {
protected:
    void SetUp() override { clearCapturedLog(); }
};

}  // namespace

TEST_F(ExpansionTest, ReplaceAllReplacesEveryOccurrenceAndLogsEach) {
    wchar_t text[100] = L"%QUILLWORK_EXEDIR%%QUILLWORK_EXEDIR%x";
    EXPECT_TRUE(replaceAll(text, 100, L"%QUILLWORK_EXEDIR%", LR"(C:\a\)"));
    EXPECT_STREQ(text, LR"(C:\a\C:\a\x)");
    ASSERT_EQ(capturedLog().size(), 2u);
    EXPECT_EQ(capturedLog()[0], LR"(expanding2 %QUILLWORK_EXEDIR% to C:\a\ in C:\a\%QUILLWORK_EXEDIR%x.)");
    EXPECT_EQ(capturedLog()[1], LR"(expanding2 %QUILLWORK_EXEDIR% to C:\a\ in C:\a\C:\a\x.)");
}

TEST_F(ExpansionTest, ReplaceAllNeverSearchesAnInsertedValueAgain) {
    wchar_t text[100] = L"<${X}>";
    EXPECT_TRUE(replaceAll(text, 100, L"${X}", L"${X}${X}"));
    EXPECT_STREQ(text, L"<${X}${X}>");
    char narrow[100] = "a%P%b%P%";
    EXPECT_TRUE(replaceAll(narrow, 100, "%P%", "%P%"));
    EXPECT_STREQ(narrow, "a%P%b%P%");
}

TEST_F(ExpansionTest, ReplaceAllFlavoursLogTheirOwnWay) {
    wchar_t wide[100] = L"a${T}";
    replaceAll(wide, 100, L"${T}", "x\xe9");  // 8-bit value, widened byte for byte
    EXPECT_STREQ(wide, L"ax\u00e9");
    char narrow[100] = "%J%\\bin";
    replaceAll(narrow, 100, "%J%", R"(C:\j)");
    EXPECT_STREQ(narrow, R"(C:\j\bin)");
    EXPECT_EQ(capturedLog(), (std::vector<std::wstring>{L"expanding2 ${T} to x\u00e9 in ax\u00e9.",
                                                        LR"(expanding2 %J% to C:\j in C:\j\bin.)"}));
}

TEST_F(ExpansionTest, ReplaceAllWithoutOccurrenceChangesAndLogsNothing) {
    wchar_t text[20] = L"${launcher:x}";
    EXPECT_TRUE(replaceAll(text, 20, L"${launcher:sys.tempDir}", L"C:\\t"));
    EXPECT_STREQ(text, L"${launcher:x}");
    EXPECT_TRUE(capturedLog().empty());
}

TEST_F(ExpansionTest, LauncherPlaceholdersInAllSpellings) {
    WideExpansionValues values = wideValues();
    EXPECT_EQ(expanded(L"${launcher:sys.launcherDirectory}lib\\a.jar", values), LR"(C:\app\lib\a.jar)");
    EXPECT_EQ(expanded(L"%RAVEL_EXEDIR%\\lib", values), LR"(C:\app\\lib)");
    EXPECT_EQ(expanded(L"%QUILLWORK_EXEDIR%%QUILLWORK_EXEDIR%", values), LR"(C:\app\C:\app\)");
    EXPECT_EQ(expanded(L"${RAVEL_EXEDIR}|${QUILLWORK_EXEDIR}", values), LR"(C:\app\|C:\app\)");
    EXPECT_EQ(expanded(L"%RAVEL_TEMPDIR%|${QUILLWORK_TEMPDIR}|${launcher:sys.launcherTempDirectory}", values),
              LR"(C:\tmp\rvl1.tmp_dir5|C:\tmp\rvl1.tmp_dir5|C:\tmp\rvl1.tmp_dir5)");
    EXPECT_EQ(
        expanded(L"a%RAVEL_PATHLIST_SEPARATOR%b${QUILLWORK_PATHLIST_SEPARATOR}c${launcher:sys.pathlistSeparator}d",
                 values),
        L"a;b;c;d");
    EXPECT_EQ(expanded(L"${launcher:sys.tempDir}x", values), LR"(C:\Users\u\Temp\x)");
}

TEST_F(ExpansionTest, MissingExtractionDirectoryAndRuntimeGiveEmptyText) {
    NarrowExpansionValues values = narrowValues();
    EXPECT_EQ(expanded(std::string(R"(${RAVEL_TEMPDIR}\x)"), values), R"(\x)");
    WideExpansionValues wide = wideValues();
    EXPECT_EQ(expanded(L"[${launcher:sys.jvmHome}][%QUILLWORK_JVM_HOME%]", wide), L"[][]");
}

TEST_F(ExpansionTest, UnknownPlaceholdersStayAsWritten) {
    WideExpansionValues values = wideValues();
    values.environment = {L"HOME=C:\\h"};
    EXPECT_EQ(expanded(L"${installer:sys.x} ${UNDEFINED_VAR} %HOME% ${launcher:sys.tempdir}", values),
              L"${installer:sys.x} ${UNDEFINED_VAR} %HOME% ${launcher:sys.tempdir}");
}

TEST_F(ExpansionTest, LaterStepsExpandWhatEarlierStepsInserted) {
    // The launcher directory (step 1) carries placeholders of later steps: the separator
    // (step 11) and a variable (step 14) are expanded in it.
    WideExpansionValues values = wideValues();
    values.launcherDirectory = L"${launcher:sys.pathlistSeparator}${APPHOME}";
    values.environment = {L"APPHOME=C:\\h"};
    EXPECT_EQ(expanded(L"%RAVEL_EXEDIR%", values), L";C:\\h");
}

TEST_F(ExpansionTest, EarlierStepsDoNotSeeWhatLaterStepsInserted) {
    // A variable inserted by step 14 holds the placeholder of step 12: it stays.
    WideExpansionValues values = wideValues();
    values.jvmHome = LR"(C:\Java\bin\..)";
    values.environment = {L"OPTS=${launcher:sys.jvmHome}"};
    EXPECT_EQ(expanded(L"${OPTS}", values), L"${launcher:sys.jvmHome}");
    // The runtime home inserted by step 4 holds "%RAVEL_EXEDIR%" of step 1: it stays too.
    values.jvmHome = L"%RAVEL_EXEDIR%jre";
    EXPECT_EQ(expanded(L"%RAVEL_JVM_HOME%", values), L"%RAVEL_EXEDIR%jre");
}

TEST_F(ExpansionTest, TempDirectoryIsAskedForOnlyWhenTheTextNamesIt) {
    int asked = 0;
    WideExpansionValues values = wideValues();
    values.tempDirectory = [&] {
        ++asked;
        return std::wstring(L"C:\\T\\");
    };
    values.environment = {L"OPTS=${launcher:sys.tempDir}"};
    // Neither the text nor an earlier step names it; a variable inserted by the last step
    // does, but that step comes after the temp directory's.
    EXPECT_EQ(expanded(L"%RAVEL_EXEDIR%a;${OPTS}", values), L"C:\\app\\a;${launcher:sys.tempDir}");
    EXPECT_EQ(asked, 0);
    // Named by a value an earlier step inserted: asked for once, however often it occurs.
    values.launcherDirectory = L"${launcher:sys.tempDir}";
    EXPECT_EQ(expanded(L"%RAVEL_EXEDIR%|${launcher:sys.tempDir}", values), L"C:\\T\\|C:\\T\\");
    EXPECT_EQ(asked, 1);

    NarrowExpansionValues narrow = narrowValues();
    narrow.tempDirectory = [&] {
        ++asked;
        return std::string("C:\\N\\");
    };
    EXPECT_EQ(expanded(std::string("%RAVEL_EXEDIR%"), narrow), R"(C:\PROGRA~1\app\)");
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(expanded(std::string("${launcher:sys.tempDir}x"), narrow), "C:\\N\\x");
    EXPECT_EQ(asked, 2);
}

TEST_F(ExpansionTest, VariablesSeeOnlyVariablesLaterInTheBlock) {
    WideExpansionValues values = wideValues();
    values.environment = {L"A=[${B}]", L"B=b", L"C=[${A}]"};
    EXPECT_EQ(expanded(L"${A}", values), L"[b]");
    // C's value names A, whose step has already run: it stays.
    EXPECT_EQ(expanded(L"${C}", values), L"[${A}]");
}

TEST_F(ExpansionTest, VariableMatchesItsOwnSpellingAndUpperCaseOnly) {
    WideExpansionValues values = wideValues();
    values.environment = {L"Path=C:\\bin"};
    EXPECT_EQ(expanded(L"${Path}|${PATH}|${path}", values), L"C:\\bin|C:\\bin|${path}");
    NarrowExpansionValues narrow = narrowValues();
    narrow.environment = {"Path=C:\\bin"};
    EXPECT_EQ(expanded(std::string("${Path}|${PATH}|${path}"), narrow), "C:\\bin|C:\\bin|${path}");
}

TEST_F(ExpansionTest, VariableValueHoldingItsOwnPlaceholderIsInsertedOnce) {
    WideExpansionValues values = wideValues();
    values.environment = {L"PATH=${PATH};C:\\x", L"Lib=${LIB}"};
    EXPECT_EQ(expanded(L"${PATH}", values), L"${PATH};C:\\x");
    // The mixed-case spelling is replaced first; its value's upper-case placeholder is then
    // found by the upper-case pass, once.
    EXPECT_EQ(expanded(L"${Lib}", values), L"${LIB}");
}

TEST_F(ExpansionTest, EnvironmentNameIsTheTextBeforeTheFirstEquals) {
    WideExpansionValues values = wideValues();
    values.environment = {L"X=a=b", L"NOEQUALS", L"E="};
    EXPECT_EQ(expanded(L"${X}|${E}|${NOEQUALS}", values), L"a=b||${NOEQUALS}");
}

TEST_F(ExpansionTest, RuntimeHomeAndSelectedFormsInNarrowVariant) {
    NarrowExpansionValues values = narrowValues();
    EXPECT_EQ(expanded(std::string("${launcher:sys.jvmHome}\\lib|%RAVEL_EXEDIR%|${launcher:sys.tempDir}"), values),
              R"(C:\Java\bin\..\lib|C:\PROGRA~1\app\|C:\TEMP\)");
    EXPECT_TRUE(logContains(LR"(expanding2 ${launcher:sys.jvmHome} to C:\Java\bin\.. in C:\Java\bin\..\lib|)"));
}

TEST_F(ExpansionTest, EnvironmentBlockEntriesInOrder) {
    const wchar_t block[] = L"=C:=C:\\x\0A=1\0b=2\0\0";
    EXPECT_EQ(environmentEntries(block), (std::vector<std::wstring>{L"=C:=C:\\x", L"A=1", L"b=2"}));
    const char narrow[] = "A=1\0\0";
    EXPECT_EQ(environmentEntries(narrow), (std::vector<std::string>{"A=1"}));
    EXPECT_TRUE(environmentEntries(static_cast<const wchar_t*>(nullptr)).empty());
}

TEST_F(ExpansionTest, ReplacementStopsAtTheCapacity) {
    // Capacity 12: at most 11 characters. The value fits only in part; the text is cut,
    // terminated inside the buffer, the cut logged, and nothing after the buffer touched.
    wchar_t buffer[16];
    std::fill(buffer, buffer + 16, L'#');
    std::wstring start = L"ab${X}cd";
    buffer[start.copy(buffer, 11)] = 0;
    EXPECT_FALSE(replaceAll(buffer, 12, L"${X}", L"0123456789"));
    EXPECT_EQ(std::wstring(buffer), L"ab012345678");
    EXPECT_EQ(buffer[12], L'#');
    EXPECT_TRUE(logContains(L"ERROR: text cut at 11 characters while expanding ${X}"));

    char narrow[10] = "${X}${X}";
    EXPECT_FALSE(replaceAll(narrow, 10, "${X}", "12345"));
    // The first replacement fills the nine characters exactly; the second is cut.
    EXPECT_STREQ(narrow, "123451234");
}

TEST_F(ExpansionTest, ReplacementFillingTheBufferExactlyIsNoCut) {
    wchar_t buffer[6] = L"a${X}";
    EXPECT_TRUE(replaceAll(buffer, 6, L"${X}", L"1234"));
    EXPECT_STREQ(buffer, L"a1234");
    EXPECT_FALSE(logContains(L"ERROR"));
}

TEST_F(ExpansionTest, ExpansionKeepsEachCallersCapacity) {
    // The three capacities the launcher's callers use; a value far longer than each.
    for (size_t capacity : {size_t(2000), size_t(6000), size_t(30000)}) {
        clearCapturedLog();
        WideExpansionValues values = wideValues();
        values.environment = {L"BIG=" + std::wstring(capacity, L'x')};
        std::vector<wchar_t> buffer(capacity + 8, L'#');
        std::wstring text = L"-D${BIG}-${launcher:sys.tempDir}";
        buffer[text.copy(buffer.data(), capacity - 1)] = 0;
        EXPECT_FALSE(expandWithValues(buffer.data(), capacity, values));
        EXPECT_EQ(std::wstring(buffer.data()).size(), capacity - 1);
        EXPECT_EQ(buffer[capacity], L'#');
        EXPECT_TRUE(logContains(L"ERROR: text cut at " + std::to_wstring(capacity - 1)));
        // Step 13 ran before the environment step, so the temp directory was inserted; the
        // text from there on was cut.
        EXPECT_EQ(std::wstring(buffer.data()).substr(0, 3), L"-Dx");
    }
}

TEST_F(ExpansionTest, StepsAfterACutAreNotRun) {
    NarrowExpansionValues values = narrowValues();
    values.launcherDirectory = std::string(50, 'd');
    std::vector<char> buffer(20, 0);
    std::string text = "%RAVEL_EXEDIR%;%RAVEL_PATHLIST_SEPARATOR%";
    text.copy(buffer.data(), 19);
    EXPECT_FALSE(expandWithValues(buffer.data(), 20, values));
    EXPECT_EQ(std::string(buffer.data()), std::string(19, 'd'));
    EXPECT_FALSE(logContains(L"expanding2 %RAVEL_PATHLIST_SEPARATOR%"));
}

TEST_F(ExpansionTest, UnterminatedBufferIsTerminatedInsideItsBounds) {
    char buffer[8] = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'};
    EXPECT_FALSE(replaceAll(buffer, 8, "${X}", "y"));
    EXPECT_STREQ(buffer, "abcdefg");
}
