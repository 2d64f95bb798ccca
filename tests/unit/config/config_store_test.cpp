#include "config/config_store.h"

#include "support/log_capture.h"

#include <gtest/gtest.h>

namespace {

class ConfigStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        configStore = ConfigStore();
        clearCapturedLog();
    }
    void TearDown() override { configStore = ConfigStore(); }
};

}  // namespace

TEST_F(ConfigStoreTest, IntegersReadAsAtoiDoes) {
    configStore.settings[1] = "12abc";
    configStore.settings[2] = "";
    configStore.settings[3] = "-3";
    configStore.settings[4] = "  \t+42";
    configStore.settings[5] = "abc";
    configStore.settings[6] = "99999999999999";
    configStore.settings[7] = "-99999999999999";
    EXPECT_EQ(getSettingInt(1), 12);
    EXPECT_EQ(getSettingInt(2), 0);
    EXPECT_EQ(getSettingInt(3), -3);
    EXPECT_EQ(getSettingInt(4), 42);
    EXPECT_EQ(getSettingInt(5), 0);
    EXPECT_EQ(getSettingInt(404), 0);
    EXPECT_EQ(getSettingInt(6), INT32_MAX);  // saturates instead of overflowing
    EXPECT_EQ(getSettingInt(7), INT32_MIN);
}

TEST_F(ConfigStoreTest, GetSettingCutsAtSizeMinusOneAndLogsOnlyARealCut) {
    configStore.settings[2001] = "e";
    configStore.settings[2002] = "ie";
    char buffer[2];
    getSetting(2001, buffer, 2);
    EXPECT_STREQ(buffer, "e");
    EXPECT_TRUE(capturedLog().empty());
    getSetting(2002, buffer, 2);
    EXPECT_STREQ(buffer, "i");
    ASSERT_EQ(capturedLog().size(), 1u);
    EXPECT_EQ(capturedLog()[0], L"ERROR: config string 2002 truncated (2 2)");
    getSetting(404, buffer, 2);
    EXPECT_STREQ(buffer, "");
}

TEST_F(ConfigStoreTest, WideAccessorsNeverWritePastTheBuffer) {
    configStore.settings[146] = "abcdef";
    configStore.messages[1000] = L"0123456789";
    wchar_t buffer[8];
    wmemset(buffer, L'#', 8);
    getSettingWide(146, buffer, 4);
    EXPECT_STREQ(buffer, L"abc");
    EXPECT_EQ(buffer[4], L'#');
    EXPECT_TRUE(logContains(L"config string 146 truncated (4 6)"));
    getMessageOnly(1000, buffer, 8);
    EXPECT_STREQ(buffer, L"0123456");
    getSettingWide(146, buffer, 8);
    EXPECT_STREQ(buffer, L"abcdef");
}

TEST_F(ConfigStoreTest, SettingsWidenByteForByte) {
    configStore.settings[1] = "caf\xe9";
    wchar_t buffer[16];
    getSettingWide(1, buffer, 16);
    EXPECT_EQ(std::wstring(buffer), (std::wstring{L'c', L'a', L'f', 0xe9}));
}

TEST_F(ConfigStoreTest, MessageFallsBackToTheSettingOnlyWhenAbsentOrEmpty) {
    wchar_t buffer[6000];
    configStore.settings[1015] = "from setting";
    getMessage(1015, buffer, 6000);
    EXPECT_STREQ(buffer, L"from setting");
    configStore.messages[1015] = L"";
    getMessage(1015, buffer, 6000);
    EXPECT_STREQ(buffer, L"from setting");
    configStore.messages[1015] = L"from message";
    getMessage(1015, buffer, 6000);
    EXPECT_STREQ(buffer, L"from message");
    getMessageOnly(1016, buffer, 6000);
    EXPECT_STREQ(buffer, L"");
    configStore.settings[1016] = "setting only";
    getMessageOnly(1016, buffer, 6000);
    EXPECT_STREQ(buffer, L"");
}

TEST_F(ConfigStoreTest, CopyIsIndependentAndEmptyWhenAbsent) {
    configStore.settings[121] = "A1lib";
    std::string copy = getSettingCopy(121);
    copy[0] = 'X';
    EXPECT_EQ(configStore.settings[121], "A1lib");
    EXPECT_EQ(getSettingCopy(404), "");
}
