#include "JavaVMLauncher/main_arguments.h"

#include <gtest/gtest.h>

using WStrings = std::vector<std::wstring>;

TEST(MainArguments, RunWithTwoArgumentsInPlainMode) {
    LeadingArguments leading;
    leading.mainClass = L"com.example.App";
    EXPECT_EQ(mainArgumentList(leading, {L"C:\\app\\app.exe", L"a", L"b"}, {}, false),
              (WStrings{L"false", L"com.example.App", L"", L"", L"false", L"C:\\app\\app.exe", L"a", L"b"}));
}

TEST(MainArguments, ConfiguredArgumentsComeBeforeTheCommandLine) {
    LeadingArguments leading;
    leading.windowed = true;
    leading.mainClass = L"/app/com.example.Main";
    leading.fifthFlag = true;
    EXPECT_EQ(mainArgumentList(leading, {L"Svc", L"x"}, {L"-x", L"a b"}, false),
              (WStrings{L"true", L"/app/com.example.Main", L"", L"", L"true", L"Svc", L"-x", L"a b", L"x"}));
}

TEST(MainArguments, JvmAndLocaleArgumentsAreKeptFromMain) {
    LeadingArguments leading;
    WStrings args{L"exe", L"-J-Xmx1g", L"x", L"-Dsun.locale.formatasdefault=true"};
    WStrings on = mainArgumentList(leading, args, {}, true);
    EXPECT_EQ(WStrings(on.begin() + 5, on.end()), (WStrings{L"exe", L"x"}));
    WStrings off = mainArgumentList(leading, args, {}, false);
    EXPECT_EQ(WStrings(off.begin() + 5, off.end()), (WStrings{L"exe", L"-J-Xmx1g", L"x"}));
    // The launcher's first argument is passed whatever it looks like.
    WStrings first = mainArgumentList(leading, {L"-J-first"}, {}, true);
    EXPECT_EQ(first.back(), L"-J-first");
}

TEST(MainArguments, TheLastLocaleArgumentCounts) {
    EXPECT_EQ(lastLocaleArgument({L"-Dsun.locale.formatasdefault=true", L"a", L"-Dsun.locale.formatasdefault=false"}),
              L"-Dsun.locale.formatasdefault=false");
    EXPECT_EQ(lastLocaleArgument({L"a"}), L"");
}
