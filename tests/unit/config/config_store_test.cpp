#include "config/config_store.h"

#include "support/log_capture.h"

#include <gtest/gtest.h>

#include <iterator>

namespace {

class ConfigStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        configStore = ConfigStore();
        clearCapturedLog();
    }
    void TearDown() override { configStore = ConfigStore(); }
    static void put(SettingId id, const char* text) { configStore.settings[idNumber(id)] = text; }
};

}  // namespace

TEST_F(ConfigStoreTest, IntegersReadAsAtoiDoes) {
    put(SettingId::ApplicationKind, "12abc");
    put(SettingId::SingleInstance, "");
    put(SettingId::BringToFront, "-3");
    put(SettingId::LongTempPaths, "  \t+42");
    put(SettingId::ReducePath, "abc");
    put(SettingId::SplashText1Value1, "99999999999999");
    put(SettingId::SplashText1Value2, "-99999999999999");
    EXPECT_EQ(getSettingInt(SettingId::ApplicationKind), 12);
    EXPECT_EQ(getSettingInt(SettingId::SingleInstance), 0);
    EXPECT_EQ(getSettingInt(SettingId::BringToFront), -3);
    EXPECT_EQ(getSettingInt(SettingId::LongTempPaths), 42);
    EXPECT_EQ(getSettingInt(SettingId::ReducePath), 0);
    EXPECT_EQ(getSettingInt(SettingId::SplashText2Value1), 0);          // absent
    EXPECT_EQ(getSettingInt(SettingId::SplashText1Value1), INT32_MAX);  // saturates instead of overflowing
    EXPECT_EQ(getSettingInt(SettingId::SplashText1Value2), INT32_MIN);
}

TEST_F(ConfigStoreTest, GetSettingCutsAtSizeMinusOneAndLogsOnlyARealCut) {
    put(SettingId::Generator, "e");
    put(SettingId::IncludedFileCount, "ie");
    char buffer[2];
    getSetting(SettingId::Generator, buffer, 2);
    EXPECT_STREQ(buffer, "e");
    EXPECT_TRUE(capturedLog().empty());
    getSetting(SettingId::IncludedFileCount, buffer, 2);
    EXPECT_STREQ(buffer, "i");
    ASSERT_EQ(capturedLog().size(), 1u);
    EXPECT_EQ(capturedLog()[0], L"ERROR: config string 2002 truncated (2 2)");
    getSetting(SettingId::IncludedFilePaths, buffer, 2);
    EXPECT_STREQ(buffer, "");
}

TEST_F(ConfigStoreTest, WideAccessorsNeverWritePastTheBuffer) {
    put(SettingId::WorkingDirectory, "abcdef");
    configStore.messages[idNumber(MessageId::ErrorTitle)] = L"0123456789";
    wchar_t buffer[8];
    wmemset(buffer, L'#', 8);
    getSettingWide(SettingId::WorkingDirectory, buffer, 4);
    EXPECT_STREQ(buffer, L"abc");
    EXPECT_EQ(buffer[4], L'#');
    EXPECT_TRUE(logContains(L"config string 146 truncated (4 6)"));
    getMessageOnly(MessageId::ErrorTitle, buffer, 8);
    EXPECT_STREQ(buffer, L"0123456");
    getSettingWide(SettingId::WorkingDirectory, buffer, 8);
    EXPECT_STREQ(buffer, L"abcdef");
}

TEST_F(ConfigStoreTest, SettingsWidenByteForByte) {
    put(SettingId::ServiceName, "caf\xe9");
    wchar_t buffer[16];
    getSettingWide(SettingId::ServiceName, buffer, 16);
    EXPECT_EQ(std::wstring(buffer), (std::wstring{L'c', L'a', L'f', 0xe9}));
}

TEST_F(ConfigStoreTest, MessageFallsBackToTheSettingOnlyWhenAbsentOrEmpty) {
    wchar_t buffer[6000];
    // Message 1015 has no setting name: the fallback finds the setting by the message's number.
    configStore.settings[1015] = "from setting";
    getMessage(MessageId::NoTempDirectory, buffer, std::size(buffer));
    EXPECT_STREQ(buffer, L"from setting");
    configStore.messages[1015] = L"";
    getMessage(MessageId::NoTempDirectory, buffer, std::size(buffer));
    EXPECT_STREQ(buffer, L"from setting");
    configStore.messages[1015] = L"from message";
    getMessage(MessageId::NoTempDirectory, buffer, std::size(buffer));
    EXPECT_STREQ(buffer, L"from message");
    getMessageOnly(MessageId::NoRuntimeFound, buffer, std::size(buffer));
    EXPECT_STREQ(buffer, L"");
    configStore.settings[1016] = "setting only";
    getMessageOnly(MessageId::NoRuntimeFound, buffer, std::size(buffer));
    EXPECT_STREQ(buffer, L"");
}

TEST_F(ConfigStoreTest, CopyIsIndependentAndEmptyWhenAbsent) {
    put(SettingId::ClassPath, "A1lib");
    std::string copy = getSettingCopy(SettingId::ClassPath);
    copy[0] = 'X';
    EXPECT_EQ(configStore.settings[idNumber(SettingId::ClassPath)], "A1lib");
    EXPECT_EQ(getSettingCopy(SettingId::ModulePath), "");
}
