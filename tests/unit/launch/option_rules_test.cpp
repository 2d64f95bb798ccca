#include "launch/option_rules.h"

#include "support/log_capture.h"

#include <gtest/gtest.h>

using Strings = std::vector<std::string>;
using WStrings = std::vector<std::wstring>;

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

TEST(MemorySize, SuffixesAndRefusals) {
    EXPECT_EQ(parseMemorySize("512k"), 524288);
    EXPECT_EQ(parseMemorySize("1000"), 1000);
    EXPECT_EQ(parseMemorySize("0"), 0);
    EXPECT_EQ(parseMemorySize("2M"), 2097152);
    EXPECT_EQ(parseMemorySize("1g"), 1073741824);
    EXPECT_EQ(parseMemorySize("1T"), 1099511627776LL);
    EXPECT_EQ(parseMemorySize("1.5m"), -1);
    EXPECT_EQ(parseMemorySize("2mb"), -1);
    EXPECT_EQ(parseMemorySize("2x"), -1);
    EXPECT_EQ(parseMemorySize(""), -1);
    EXPECT_EQ(parseMemorySize("m"), -1);
    EXPECT_EQ(parseMemorySize("99999999999t"), -1);  // would overflow 64 bits
}

TEST(MemorySize, StackReservationFromTheLastUsableXss) {
    EXPECT_EQ(stackSizeFromOptions({"-Xss512k"}), 524288u);
    EXPECT_EQ(stackSizeFromOptions({"-Xss1000"}), 65536u);
    EXPECT_EQ(stackSizeFromOptions({"-Xss0"}), 0u);
    EXPECT_EQ(stackSizeFromOptions({"-Xss1.5m"}), 0u);
    EXPECT_EQ(stackSizeFromOptions({"-Xss2mb"}), 0u);
    EXPECT_EQ(stackSizeFromOptions({"-Xss2m", "-Xss1m"}), 1048576u);
    EXPECT_EQ(stackSizeFromOptions({"-Xss1m", "-Xss0"}), 1048576u);  // a size of 0 replaces nothing
    EXPECT_EQ(stackSizeFromOptions({"-Xmx1g"}), 0u);
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
