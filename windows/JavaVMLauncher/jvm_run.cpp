#include "JavaVMLauncher/jvm_run.h"

#include "JavaVMLauncher/java_calls.h"
#include "config/config_store.h"
#include "core/log.h"

#include <utility>

namespace {

JvmRunOutcome invokeMain(JNIEnv* env, const JvmRunSteps& steps) {
    auto arguments = [&steps]() {
        return steps.mainArguments ? steps.mainArguments() : std::vector<std::wstring>();
    };
    switch (callStaticMain(env, launcherClassName(steps.generatorKind), arguments)) {
    case MainCallOutcome::ClassNotFound:
        return JvmRunOutcome::LauncherClassMissing;
    case MainCallOutcome::MethodNotFound:
        return JvmRunOutcome::MainMethodMissing;
    case MainCallOutcome::Threw:
        logError(L"could not call main");
        return JvmRunOutcome::MainThrew;
    case MainCallOutcome::Returned:
        break;
    }
    return JvmRunOutcome::Completed;
}

}  // namespace

void fillVmArgs(JvmArguments& arguments, std::vector<std::string> options) {
    arguments.options = std::move(options);
    arguments.vmOptions.clear();
    for (std::string& option : arguments.options) {
        JavaVMOption vmOption;
        vmOption.optionString = &option[0];
        vmOption.extraInfo = nullptr;
        arguments.vmOptions.push_back(vmOption);
    }
    arguments.vmArgs.version = JNI_VERSION_1_2;
    arguments.vmArgs.nOptions = static_cast<jint>(arguments.vmOptions.size());
    arguments.vmArgs.options = arguments.vmOptions.empty() ? nullptr : arguments.vmOptions.data();
    arguments.vmArgs.ignoreUnrecognized = JNI_TRUE;
    logLine(L"vmoption count %d", static_cast<int>(arguments.options.size()));
    for (size_t i = 0; i < arguments.options.size(); ++i)
        logLine(L"vmoption %d: %S", static_cast<int>(i), arguments.options[i].c_str());
}

JvmRunOutcome runJvm(CreateJavaVMFunction create, JavaVMInitArgs& vmArgs, const JvmRunSteps& steps) {
    logLine(L"Creating JVM");
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    // A runtime that reports success but hands back no VM or environment is as unusable as
    // one that reports failure.
    if (create == nullptr || create(&vm, reinterpret_cast<void**>(&env), &vmArgs) != JNI_OK || vm == nullptr ||
        env == nullptr) {
        logError(L"could not initialize JVM");
        return JvmRunOutcome::NotCreated;
    }
    if (steps.created) steps.created(vm);
    logLine(L"JVM created");

    if (getSettingInt(108) != 0) configureSplash(env);
    if (steps.loadHelperLibrary) steps.loadHelperLibrary(env);
    setModuleNameProperty(env, steps.launcherPath);
    JvmRunOutcome outcome = invokeMain(env, steps);
    if (outcome != JvmRunOutcome::Completed) return outcome;
    if (steps.destroyAfterMain) {
        logLine(L"dest JVM");
        // Returns once every non-daemon Java thread has ended.
        vm->DestroyJavaVM();
    }
    logLine(L"launch done");
    return JvmRunOutcome::Completed;
}
