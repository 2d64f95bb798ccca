#include "JavaVMLauncher/java_vm_launcher_rules.h"

#include "JavaVMLauncher/java_calls.h"
#include "config/config_store.h"
#include "core/capacities.h"
#include "core/log.h"
#include "core/text_format.h"
#include "core/text_helpers.h"

#include <utility>

namespace {

constexpr size_t kMainClassCapacity = kPathCapacity;
const wchar_t kLocaleArgument[] = L"-Dsun.locale.formatasdefault=";

std::wstring configuredPath(SettingId enabledId, SettingId pathId, const ExpandedSetting& expandedSetting,
                            const MakeAbsolute& makeAbsolute) {
    if (getSettingInt(enabledId) == 0) return std::wstring();
    return resolveLeadingPath(expandedSetting(pathId), makeAbsolute);
}

JvmRunOutcome invokeMain(JNIEnv* env, const JvmRunSteps& steps) {
    auto arguments = [&steps]() { return steps.mainArguments ? steps.mainArguments() : std::vector<std::wstring>(); };
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

    if (getSettingInt(SettingId::SplashEnabled) != 0)
        configureSplash(
            env, steps.widenSetting ? steps.widenSetting
                                    : [](const std::string& bytes) { return widenBytes(bytes.c_str()); });
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

std::wstring resolveLeadingPath(const std::wstring& expanded, const MakeAbsolute& makeAbsolute) {
    if (!expanded.empty() && expanded[0] == L'$') return expanded;
    return makeAbsolute(expanded);
}

LeadingArguments leadingArgumentsFromConfiguration(const ExpandedSetting& expandedSetting,
                                                   const MakeAbsolute& makeAbsolute) {
    LeadingArguments leading;
    leading.windowed = getSettingInt(SettingId::ApplicationKind) == 1;
    std::vector<wchar_t> mainClass(kMainClassCapacity);
    getSettingWide(SettingId::MainClass, mainClass.data(), mainClass.size());
    leading.mainClass = (getSettingInt(SettingId::ModuleMode) != 0 ? L"/" : L"") + std::wstring(mainClass.data());
    leading.firstPath =
        configuredPath(SettingId::FirstPathEnabled, SettingId::FirstPath, expandedSetting, makeAbsolute);
    leading.secondPath =
        configuredPath(SettingId::SecondPathEnabled, SettingId::SecondPath, expandedSetting, makeAbsolute);
    leading.fifthFlag = getSettingInt(SettingId::LeadingFlag) != 0;
    return leading;
}

std::vector<std::wstring> leadingArgumentList(const LeadingArguments& leading) {
    return {leading.windowed ? L"true" : L"false", leading.mainClass, leading.firstPath, leading.secondPath,
            leading.fifthFlag ? L"true" : L"false"};
}

bool passesToMain(const std::wstring& argument, bool jOptionsEnabled) {
    if (jOptionsEnabled && startsWith(argument, L"-J")) return false;
    return !startsWith(argument, kLocaleArgument);
}

std::vector<std::wstring> mainArgumentList(const LeadingArguments& leading,
                                           const std::vector<std::wstring>& launcherArgs,
                                           const std::vector<std::wstring>& configuredArgs, bool jOptionsEnabled) {
    std::vector<std::wstring> list = leadingArgumentList(leading);
    if (!launcherArgs.empty()) list.push_back(launcherArgs.front());
    list.insert(list.end(), configuredArgs.begin(), configuredArgs.end());
    for (size_t i = 1; i < launcherArgs.size(); ++i)
        if (passesToMain(launcherArgs[i], jOptionsEnabled)) list.push_back(launcherArgs[i]);
    return list;
}

std::wstring lastLocaleArgument(const std::vector<std::wstring>& launcherArgs) {
    std::wstring last;
    for (const std::wstring& a : launcherArgs)
        if (startsWith(a, kLocaleArgument)) last = a;
    return last;
}
