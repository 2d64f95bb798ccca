#include "JavaVMLauncher/java_vm_launcher_rules.h"

#include "config/config_store.h"
#include "support/log_capture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using WStrings = std::vector<std::wstring>;

// The successful sequence runs against the real JVM (tests/java); here the runtime refuses.
namespace {

jint createResult = JNI_OK;
bool handBackVm = false;
JavaVMInitArgs* seenArgs = nullptr;

jint JNICALL fakeCreate(JavaVM** vm, void** env, void* args) {
    seenArgs = static_cast<JavaVMInitArgs*>(args);
    static JavaVM fakeVm{};
    *vm = handBackVm ? &fakeVm : nullptr;
    *env = nullptr;
    return createResult;
}

class JvmRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        configStore = ConfigStore();
        clearCapturedLog();
        seenArgs = nullptr;
        steps.created = [this](JavaVM*) { createdCalls++; };
        steps.loadHelperLibrary = [this](JNIEnv*) { helperCalls++; };
        steps.mainArguments = [this]() {
            argumentCalls++;
            return std::vector<std::wstring>();
        };
    }

    void expectNothingRan() {
        EXPECT_EQ(createdCalls + helperCalls + argumentCalls, 0);
        EXPECT_TRUE(logContains(L"ERROR: could not initialize JVM"));
        EXPECT_FALSE(logContains(L"JVM created"));
    }

    JvmRunSteps steps;
    JavaVMInitArgs vmArgs{};
    int createdCalls = 0;
    int helperCalls = 0;
    int argumentCalls = 0;
};

TEST_F(JvmRunTest, ARefusingRuntimeEndsTheRunBeforeAnyJavaStep) {
    createResult = JNI_ENOMEM;
    handBackVm = true;
    EXPECT_EQ(runJvm(fakeCreate, vmArgs, steps), JvmRunOutcome::NotCreated);
    EXPECT_EQ(seenArgs, &vmArgs);
    expectNothingRan();
}

TEST_F(JvmRunTest, SuccessWithoutAVmOrEnvironmentIsAFailure) {
    createResult = JNI_OK;
    handBackVm = false;
    EXPECT_EQ(runJvm(fakeCreate, vmArgs, steps), JvmRunOutcome::NotCreated);
    expectNothingRan();

    // A VM without an environment is no better.
    clearCapturedLog();
    handBackVm = true;
    EXPECT_EQ(runJvm(fakeCreate, vmArgs, steps), JvmRunOutcome::NotCreated);
    expectNothingRan();
}

TEST_F(JvmRunTest, NoRuntimeFunctionAtAll) {
    EXPECT_EQ(runJvm(nullptr, vmArgs, steps), JvmRunOutcome::NotCreated);
    expectNothingRan();
    EXPECT_TRUE(logContains(L"Creating JVM"));
}

}  // namespace

TEST(FillVmArgs, RecordPointsAtTheOptionsInOrder) {
    clearCapturedLog();
    JvmArguments arguments;
    fillVmArgs(arguments, {"-Da=1", "-Xss1m", "-Djava.class.path=C:\\x.jar"});
    EXPECT_EQ(arguments.vmArgs.version, 0x00010002);
    EXPECT_EQ(arguments.vmArgs.ignoreUnrecognized, JNI_TRUE);
    ASSERT_EQ(arguments.vmArgs.nOptions, 3);
    EXPECT_STREQ(arguments.vmArgs.options[0].optionString, "-Da=1");
    EXPECT_STREQ(arguments.vmArgs.options[2].optionString, "-Djava.class.path=C:\\x.jar");
    for (int i = 0; i < 3; ++i) EXPECT_EQ(arguments.vmArgs.options[i].extraInfo, nullptr);
    EXPECT_EQ(capturedLog(),
              (std::vector<std::wstring>{L"vmoption count 3", L"vmoption 0: -Da=1", L"vmoption 1: -Xss1m",
                                         L"vmoption 2: -Djava.class.path=C:\\x.jar"}));
}

namespace {

// Expansion replaces "${HOME}" only; resolution puts relative paths below C:\app\.
class LeadingArgumentsTest : public ::testing::Test {
protected:
    void SetUp() override { configStore = ConfigStore(); }
    void TearDown() override { configStore = ConfigStore(); }

    WStrings leading() {
        auto expand = [this](SettingId id) {
            expanded.push_back(id);
            auto it = configStore.settings.find(idNumber(id));
            std::string value = it != configStore.settings.end() ? it->second : "";
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

    std::vector<SettingId> expanded;
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
    EXPECT_EQ(expanded, (std::vector<SettingId>{SettingId::FirstPath, SettingId::SecondPath}));
}

TEST_F(LeadingArgumentsTest, UnresolvedPlaceholderIsPassedOnUnchanged) {
    configStore.settings = {{102, "1"}, {103, "${installer:sys.dir}\\x"}, {104, "0"}, {105, "lib"}};
    EXPECT_EQ(leading(), (WStrings{L"false", L"", L"${installer:sys.dir}\\x", L"", L"false"}));
}

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
