#include "instance/semaphore_name.h"

#include <gtest/gtest.h>

TEST(SemaphoreName, BackslashesAndSpacesBecomeUnderscores) {
    std::string name;
    ASSERT_TRUE(buildSemaphoreName(false, "c:\\program files\\my app\\app.exe", -1, 6000, name));
    EXPECT_EQ(name, "Local\\c:_program_files_my_app_app.exe");
    ASSERT_TRUE(buildSemaphoreName(true, "c:\\a b\\x.exe", 0, 6000, name));
    EXPECT_EQ(name, "Global\\c:_a_b_x.exe0");
    ASSERT_TRUE(buildSemaphoreName(false, "c:\\x.exe", 12, 6000, name));
    EXPECT_EQ(name, "Local\\c:_x.exe12");
}

TEST(SemaphoreName, DifferentPathsNeverShareAName) {
    std::string a, b;
    ASSERT_TRUE(buildSemaphoreName(false, "c:\\app1\\app.exe", -1, 6000, a));
    ASSERT_TRUE(buildSemaphoreName(false, "c:\\app2\\app.exe", -1, 6000, b));
    EXPECT_NE(a, b);
}

TEST(SemaphoreName, ANameThatDoesNotFitIsRefused) {
    std::string name = "unchanged";
    std::string path(5993, 'a');
    EXPECT_TRUE(buildSemaphoreName(false, path, -1, 6000, name));  // "Local\" + 5993 + terminator
    EXPECT_EQ(name.size(), 5999u);
    EXPECT_FALSE(buildSemaphoreName(false, path + "b", -1, 6000, name));
    EXPECT_FALSE(buildSemaphoreName(false, path, 1, 6000, name));
    EXPECT_EQ(name.size(), 5999u);  // a refused name leaves the output as it was
}
