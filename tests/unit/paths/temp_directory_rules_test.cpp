#include "paths/temp_directory_rules.h"

#include "support/log_capture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

// A file system in memory: each source names a path in both forms; probes succeed in the
// directories listed as usable; long forms and folding answer from tables.
class FakeTempSystem : public TempSystem {
public:
    std::map<TempSource, std::string> narrow;
    std::map<TempSource, std::wstring> wide;
    std::set<std::string> usableNarrow;
    std::set<std::wstring> usableWide;
    std::map<std::string, std::string> longNarrow;
    std::map<std::wstring, std::wstring> longWide;
    std::vector<std::string> createdNarrow;
    std::vector<std::wstring> createdWide;
    std::vector<std::string> longFormAskedFor;
    std::vector<std::string> probedNarrow;

    std::string narrowPath(TempSource source) override { return narrow.count(source) ? narrow[source] : ""; }
    std::wstring widePath(TempSource source) override { return wide.count(source) ? wide[source] : L""; }
    void makeDirectory(const std::string& path) override { createdNarrow.push_back(path); }
    void makeDirectory(const std::wstring& path) override { createdWide.push_back(path); }
    bool longForm(const std::string& path, std::string& result) override {
        longFormAskedFor.push_back(path);
        if (!longNarrow.count(path)) return false;
        result = longNarrow[path];
        return true;
    }
    bool longForm(const std::wstring& path, std::wstring& result) override {
        if (!longWide.count(path)) return false;
        result = longWide[path];
        return true;
    }
    // Composes "e" + combining acute accent into one character, as precomposed folding does.
    bool foldPrecomposed(const std::wstring& text, std::wstring& result) override {
        result.clear();
        for (wchar_t c : text) {
            if (c == 0x0301 && !result.empty() && result.back() == L'e')
                result.back() = 0x00E9;
            else
                result.push_back(c);
        }
        return true;
    }
    bool probe(const std::string& directory) override {
        probedNarrow.push_back(directory);
        return usableNarrow.count(directory) > 0;
    }
    bool probe(const std::wstring& directory) override { return usableWide.count(directory) > 0; }

    void place(TempSource source, const std::string& narrowForm, const std::wstring& wideForm, bool usable = true) {
        narrow[source] = narrowForm;
        wide[source] = wideForm;
        if (usable) {
            usableNarrow.insert(narrowForm);
            usableWide.insert(wideForm);
        }
    }
};

class TempChoiceTest : public ::testing::Test {
protected:
    void SetUp() override { clearCapturedLog(); }
    FakeTempSystem system;
};

}  // namespace

TEST_F(TempChoiceTest, FirstCandidateWhoseBothFormsPassIsKept) {
    system.place(TempSource::TempPath, R"(C:\Users\u\Temp\)", LR"(C:\Users\u\Temp\)");
    system.place(TempSource::WindowsTemp, R"(C:\windows\temp)", LR"(C:\windows\temp)");
    TempChoice choice = chooseTempDirectoryWith(system, false);
    ASSERT_TRUE(choice.found);
    EXPECT_EQ(choice.narrow, R"(C:\Users\u\Temp\)");
    EXPECT_EQ(choice.wide, LR"(C:\Users\u\Temp\)");
}

TEST_F(TempChoiceTest, ACandidateNeedsBothFormsToPass) {
    // The 8-bit form of the user's temp is usable, its wide form is not: the next candidate
    // whose two forms both probe well is taken.
    system.place(TempSource::TempPath, R"(C:\t1)", LR"(C:\t1)");
    system.usableWide.erase(LR"(C:\t1)");
    system.place(TempSource::CTemp, R"(c:\temp)", LR"(c:\temp)");
    TempChoice choice = chooseTempDirectoryWith(system, false);
    ASSERT_TRUE(choice.found);
    EXPECT_EQ(choice.narrow, R"(c:\temp)");
}

TEST_F(TempChoiceTest, LongFormOutsideTheCodePageFallsBackToTheShortFormOfCandidateTen) {
    // The user's temp lies below a folder whose name the code page cannot hold: its 8-bit
    // long form shows "?", so candidates 1-4 refuse it; the fixed places do not exist; the
    // tenth candidate takes the same directory through its short form.
    const std::string shortForm = R"(C:\Users\_N__~TOM\Temp\)";
    system.place(TempSource::TempPath, shortForm, L"C:\\Users\\\u65e5\u672c\\Temp\\");
    system.longNarrow[shortForm] = R"(C:\Users\??\Temp\)";
    system.place(TempSource::UserProfileTemp, R"(C:\Users\_N__~TOM\AppData\Local\Temp)",
                 L"C:\\Users\\\u65e5\u672c\\AppData\\Local\\Temp", false);
    system.longNarrow[R"(C:\Users\_N__~TOM\AppData\Local\Temp)"] = R"(C:\Users\??\AppData\Local\Temp)";

    TempChoice choice = chooseTempDirectoryWith(system, false);
    ASSERT_TRUE(choice.found);
    EXPECT_EQ(choice.narrow, shortForm);
    EXPECT_EQ(choice.wide, L"C:\\Users\\\u65e5\u672c\\Temp\\");
    // Candidate 1 never reached its probe; candidate 10 did.
    EXPECT_EQ(std::count(system.probedNarrow.begin(), system.probedNarrow.end(), shortForm), 1);
}

TEST_F(TempChoiceTest, PreferLongSwitchesToTheLongFormAndLogsIt) {
    system.place(TempSource::TempPath, R"(C:\PROGRA~1\Temp)", LR"(C:\Program Files\Temp)");
    system.usableNarrow.insert(R"(C:\Program Files\Temp)");
    system.longNarrow[R"(C:\PROGRA~1\Temp)"] = R"(C:\Program Files\Temp)";

    TempChoice preferred = chooseTempDirectoryWith(system, true);
    ASSERT_TRUE(preferred.found);
    EXPECT_EQ(preferred.narrow, R"(C:\Program Files\Temp)");
    EXPECT_TRUE(logContains(L"using long path C:\\Program Files\\Temp"));

    clearCapturedLog();
    TempChoice plain = chooseTempDirectoryWith(system, false);
    EXPECT_EQ(plain.narrow, R"(C:\PROGRA~1\Temp)");
    EXPECT_FALSE(logContains(L"using long path"));
}

TEST_F(TempChoiceTest, FixedSystemPlacesIgnorePreferLong) {
    // Candidates 5-9 are checked as if long paths were not preferred: their long form is
    // never asked for and their short spelling is kept.
    system.place(TempSource::WindowsTemp, R"(C:\WINDOWS\TEMP)", LR"(C:\WINDOWS\TEMP)");
    system.longNarrow[R"(C:\WINDOWS\TEMP)"] = R"(C:\windows\temp)";
    TempChoice choice = chooseTempDirectoryWith(system, true);
    ASSERT_TRUE(choice.found);
    EXPECT_EQ(choice.narrow, R"(C:\WINDOWS\TEMP)");
    EXPECT_EQ(std::count(system.longFormAskedFor.begin(), system.longFormAskedFor.end(), R"(C:\WINDOWS\TEMP)"), 0);
}

TEST_F(TempChoiceTest, LongFormThatCannotBeHadDoesNotReject) {
    system.place(TempSource::TempPath, R"(C:\t)", LR"(C:\t)");
    TempChoice choice = chooseTempDirectoryWith(system, true);
    ASSERT_TRUE(choice.found);
    EXPECT_EQ(choice.narrow, R"(C:\t)");
}

TEST_F(TempChoiceTest, DecomposedCharactersAreRejectedByEveryCandidate) {
    const std::wstring decomposed = L"C:\\Users\\Rene\u0301\\Temp";
    for (TempSource source :
         {TempSource::TempPath, TempSource::UserProfileTemp, TempSource::HomeDrivePath, TempSource::CommonAppData,
          TempSource::WindowsTemp, TempSource::CTemp, TempSource::CTmp, TempSource::WindowsDirectory})
        system.place(source, R"(C:\Users\RENE~1\Temp)", decomposed);
    TempChoice choice = chooseTempDirectoryWith(system, false);
    EXPECT_FALSE(choice.found);
    EXPECT_TRUE(logContains(L"folding error C:\\Users\\Ren\u00e9\\Temp 18 C:\\Users\\Rene\u0301\\Temp 19"));
}

TEST_F(TempChoiceTest, DecomposedLongFormIsRejectedOnlyWhereTheLongFormIsChecked) {
    system.place(TempSource::TempPath, R"(C:\RENE~1)", LR"(C:\RENE~1)");
    system.longWide[LR"(C:\RENE~1)"] = L"C:\\Rene\u0301";
    TempChoice choice = chooseTempDirectoryWith(system, false);
    ASSERT_TRUE(choice.found);
    EXPECT_EQ(choice.wide, LR"(C:\RENE~1)");
    EXPECT_TRUE(logContains(L"folding error2 "));
    // Taken through candidate 10, after candidate 1 refused it: probed twice in 8-bit form.
    EXPECT_EQ(std::count(system.probedNarrow.begin(), system.probedNarrow.end(), R"(C:\RENE~1)"), 2);
}

TEST_F(TempChoiceTest, WideLongFormWithQuestionMarkIsRejected) {
    system.place(TempSource::TempPath, R"(C:\T)", LR"(C:\T)");
    system.longWide[LR"(C:\T)"] = LR"(C:\?)";
    system.place(TempSource::CTemp, R"(c:\temp)", LR"(c:\temp)");
    EXPECT_EQ(chooseTempDirectoryWith(system, false).narrow, R"(c:\temp)");
}

TEST_F(TempChoiceTest, OnlyTheCandidatesMeantToCreateTheirDirectoryDoSo) {
    // Every 8-bit form probes well and no wide form does, so every candidate runs both
    // checks and none is accepted.
    system.place(TempSource::TempPath, "tp", L"tp", false);
    system.place(TempSource::UserProfileTemp, "up", L"up", false);
    system.place(TempSource::HomeDrivePath, "hp", L"hp", false);
    system.place(TempSource::CommonAppData, "ca", L"ca", false);
    system.place(TempSource::WindowsTemp, "wt", L"wt", false);
    system.place(TempSource::CTemp, "ct", L"ct", false);
    system.place(TempSource::CTmp, "cm", L"cm", false);
    system.place(TempSource::WindowsDirectory, "wd", L"wd", false);
    system.usableNarrow = {"tp", "up", "hp", "ca", "wt", "ct", "cm", "wd"};
    EXPECT_FALSE(chooseTempDirectoryWith(system, false).found);
    EXPECT_EQ(system.createdNarrow, (std::vector<std::string>{"tp", "ca", "cm", "tp"}));
    EXPECT_EQ(system.createdWide, (std::vector<std::wstring>{L"tp", L"ca", L"cm", L"tp"}));
}

TEST_F(TempChoiceTest, EmptyCandidatesFailWithoutProbing) {
    EXPECT_FALSE(chooseTempDirectoryWith(system, true).found);
    EXPECT_TRUE(system.probedNarrow.empty());
    EXPECT_TRUE(system.createdNarrow.empty());
}

TEST(TempProbeName, ProcessIdThenRandomNumber) {
    EXPECT_EQ(probeDirectoryName(std::string(R"(C:\t)"), 1234, 56), R"(C:\t\rvltw123456)");
    EXPECT_EQ(probeDirectoryName(std::wstring(LR"(C:\t\)"), 7, 0), LR"(C:\t\\rvltw70)");
}
