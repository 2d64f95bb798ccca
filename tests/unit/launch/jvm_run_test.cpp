#include "JavaVMLauncher/jvm_run.h"

#include "config/config_store.h"
#include "support/log_capture.h"

#include <gtest/gtest.h>

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
    EXPECT_EQ(capturedLog(), (std::vector<std::wstring>{L"vmoption count 3", L"vmoption 0: -Da=1",
                                                         L"vmoption 1: -Xss1m",
                                                         L"vmoption 2: -Djava.class.path=C:\\x.jar"}));
}
