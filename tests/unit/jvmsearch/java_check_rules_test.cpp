#include "jvmsearch/java_check.h"
#include "jvmsearch/java_check_rules.h"

#include "config/config_store.h"
#include "support/log_capture.h"

#include <gtest/gtest.h>

#include <string>

TEST(JavaCheck, JavawReplacesTheExeEnding) {
    EXPECT_EQ(javawPathFor("c:\\jre\\bin\\java.exe"), "c:\\jre\\bin\\javaw.exe");
    EXPECT_EQ(javawPathFor("C:\\JRE\\BIN\\JAVA.EXE"), "C:\\JRE\\BIN\\JAVAw.exe");
    EXPECT_EQ(javawPathFor(".exe"), "w.exe");
    EXPECT_EQ(javawPathFor("c:\\jre\\bin\\java"), std::nullopt);
    EXPECT_EQ(javawPathFor("exe"), std::nullopt);
    EXPECT_EQ(javawPathFor(""), std::nullopt);
}

TEST(JavaCheck, NonWorkingListComparesExactlyAndCountsToFifty) {
    forgetNonWorkingJavasForTest();
    clearCapturedLog();
    EXPECT_FALSE(isNonWorkingJava("c:\\jre\\bin\\java.exe"));
    EXPECT_TRUE(addNonWorkingJava("c:\\jre\\bin\\java.exe"));
    EXPECT_TRUE(logContains(L"add non-working java c:\\jre\\bin\\java.exe"));
    EXPECT_TRUE(isNonWorkingJava("c:\\jre\\bin\\java.exe"));
    EXPECT_FALSE(isNonWorkingJava("C:\\jre\\bin\\java.exe"));
    EXPECT_FALSE(isNonWorkingJava("c:\\jre\\bin\\javaw.exe"));
    EXPECT_FALSE(isNonWorkingJava(nullptr));
    for (int i = 2; i < 50; ++i) EXPECT_TRUE(addNonWorkingJava(("c:\\j" + std::to_string(i)).c_str())) << i;
    EXPECT_FALSE(addNonWorkingJava("c:\\j50"));  // the 50th entry ends the retries
    EXPECT_FALSE(addNonWorkingJava("c:\\j51"));
    EXPECT_TRUE(isNonWorkingJava("c:\\j51"));
    forgetNonWorkingJavasForTest();
}

TEST(JavaCheck, PreReleaseSettingIsReadAsANumber) {
    ConfigStore saved = configStore;
    configStore.settings.erase(130);
    EXPECT_FALSE(preReleasesAllowedBySetting());
    configStore.settings[130] = "0";
    EXPECT_FALSE(preReleasesAllowedBySetting());
    configStore.settings[130] = "1";
    EXPECT_TRUE(preReleasesAllowedBySetting());
    configStore = saved;
}

TEST(JavaCheck, RangeRefusalSaysWhichBoundTheVersionMisses) {
    VersionBounds bounds{parseVersion("11"), parseVersion("17"), "11", "17"};
    EXPECT_EQ(versionRangeRefusal("1.8.0_202", bounds), "version 1.8.0_202 is below the minimum 11");
    EXPECT_EQ(versionRangeRefusal("21.0.1", bounds), "version 21.0.1 is above the maximum 17");
    // Within the range (components beyond the maximum's length are not looked at).
    EXPECT_FALSE(versionRangeRefusal("11", bounds));
    EXPECT_FALSE(versionRangeRefusal("17.0.2", bounds));
    // Missing components count as 0, as in the check itself.
    VersionBounds from200{parseVersion("1.8.0_200"), {}, "1.8.0_200", ""};
    EXPECT_EQ(versionRangeRefusal("1.8", from200), "version 1.8 is below the minimum 1.8.0_200");
    EXPECT_FALSE(versionRangeRefusal("1.8", VersionBounds{}));
    EXPECT_EQ(runtimeRefusedLine("c:\\jre\\bin\\java.exe", "version 1.8 is below the minimum 11"),
              "runtime c:\\jre\\bin\\java.exe refused: version 1.8 is below the minimum 11");
}
