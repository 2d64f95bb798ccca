#include "paths/selected_java.h"

#include "core/text_format.h"
#include "paths/expand_variables_rules.h"
#include "support/log_capture.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring expandedWithRuntime(const std::wstring& text) {
    WideExpansionValues values;
    values.jvmHome = widenBytes(jvmHome);
    wchar_t buffer[200];
    buffer[text.copy(buffer, 199)] = 0;
    expandWithValues(buffer, 200, values);
    return buffer;
}

}  // namespace

TEST(SelectedJava, RuntimeHomeBeforeAndAfterTheChoice) {
    jvmHome[0] = 0;
    javaVersionText = nullptr;
    EXPECT_EQ(expandedWithRuntime(L"[${launcher:sys.jvmHome}]"), L"[]");

    recordSelectedJava(R"(C:\Java\bin\javaw.exe)", "1.8.0_301");
    EXPECT_STREQ(jvmHome, R"(C:\Java\bin\..)");
    EXPECT_STREQ(javaVersionText, "1.8.0_301");
    EXPECT_EQ(expandedWithRuntime(L"${launcher:sys.jvmHome}"), LR"(C:\Java\bin\..)");
}

TEST(SelectedJava, HomeDropsTheExecutableName) {
    recordSelectedJava(R"(C:\Java\jre\bin\java.exe)", "11.0.2");
    EXPECT_STREQ(jvmHome, R"(C:\Java\jre\bin\..)");
    // Only the exact lower-case "javaw.exe" drops nine characters.
    recordSelectedJava(R"(C:\J\bin\JAVAW.EXE)", "11.0.2");
    EXPECT_STREQ(jvmHome, R"(C:\J\bin\J..)");
    // A text shorter than the name leaves the home as "..", never reading before its start.
    recordSelectedJava("x.exe", "17");
    EXPECT_STREQ(jvmHome, "..");
}

TEST(SelectedJava, VersionTextIsACopyThatStaysValid) {
    std::string version = "17.0.1";
    recordSelectedJava(R"(C:\j\bin\java.exe)", version.c_str());
    const char* first = javaVersionText;
    version[0] = '9';
    EXPECT_STREQ(javaVersionText, "17.0.1");
    recordSelectedJava(R"(C:\j\bin\java.exe)", "21");
    EXPECT_STREQ(first, "17.0.1");
    EXPECT_STREQ(javaVersionText, "21");
}

TEST(SelectedJava, OverlongHomeIsCutAndLogged) {
    clearCapturedLog();
    std::string path(kJvmHomeCapacity + 100, 'a');
    path += "\\java.exe";
    recordSelectedJava(path.c_str(), "17");
    EXPECT_EQ(std::string(jvmHome).size(), kJvmHomeCapacity - 1);
    EXPECT_TRUE(logContains(L"ERROR: java home cut"));
}
