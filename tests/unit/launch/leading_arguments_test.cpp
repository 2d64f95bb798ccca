#include "JavaVMLauncher/leading_arguments.h"

#include "config/config_store.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

using WStrings = std::vector<std::wstring>;

namespace {

// Expansion replaces "${HOME}" only; resolution puts relative paths below C:\app\.
class LeadingArgumentsTest : public ::testing::Test {
protected:
    void SetUp() override { configStore = ConfigStore(); }
    void TearDown() override { configStore = ConfigStore(); }

    WStrings leading() {
        auto expand = [this](int id) {
            expanded.push_back(id);
            std::string value = configStore.settings.count(id) ? configStore.settings[id] : "";
            std::wstring text(value.begin(), value.end());
            size_t at = text.find(L"${HOME}");
            if (at != std::wstring::npos) text.replace(at, 7, L"D:\\home");
            return text;
        };
        auto absolute = [](const std::wstring& path) {
            return path.size() > 1 && path[1] == L':' ? path : L"C:\\app\\" + path;
        };
        return leadingArgumentList(leadingArgumentsFromConfiguration(expand, absolute));
    }

    std::vector<int> expanded;
};

}  // namespace

TEST_F(LeadingArgumentsTest, NothingConfigured) {
    EXPECT_EQ(leading(), (WStrings{L"false", L"", L"", L"", L"false"}));
    // The path settings are not even read unless enabled.
    EXPECT_TRUE(expanded.empty());
}

TEST_F(LeadingArgumentsTest, OnlyApplicationKindOneIsWindowed) {
    configStore.settings[122] = "com.example.App";
    for (const char* kind : {"0", "2", "4", "11"}) {
        configStore.settings[107] = kind;
        EXPECT_EQ(leading()[0], L"false") << kind;
    }
    configStore.settings[107] = "1";
    EXPECT_EQ(leading()[0], L"true");
    EXPECT_EQ(leading()[1], L"com.example.App");
}

TEST_F(LeadingArgumentsTest, ModuleModePutsASlashInFront) {
    configStore.settings[122] = "app/com.example.Main";
    configStore.settings[133] = "1";
    EXPECT_EQ(leading()[1], L"/app/com.example.Main");
}

TEST_F(LeadingArgumentsTest, EnabledPathsAreExpandedAndMadeAbsolute) {
    configStore.settings = {{102, "1"}, {103, "lib"}, {104, "1"}, {105, "${HOME}\\data"}, {106, "7"}};
    EXPECT_EQ(leading(), (WStrings{L"false", L"", L"C:\\app\\lib", L"D:\\home\\data", L"true"}));
    EXPECT_EQ(expanded, (std::vector<int>{103, 105}));
}

TEST_F(LeadingArgumentsTest, UnresolvedPlaceholderIsPassedOnUnchanged) {
    configStore.settings = {{102, "1"}, {103, "${installer:sys.dir}\\x"}, {104, "0"}, {105, "lib"}};
    EXPECT_EQ(leading(), (WStrings{L"false", L"", L"${installer:sys.dir}\\x", L"", L"false"}));
}
