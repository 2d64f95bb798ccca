#include "JavaVMLauncher/java_vm_launcher.h"

#include "JavaVMLauncher/java_calls.h"
#include "config/config_store.h"
#include "config/extraction.h"
#include "core/capacities.h"
#include "core/code_page.h"
#include "core/fatal.h"
#include "core/launcher_state.h"
#include "core/library_loading.h"
#include "core/log.h"
#include "jvmsearch/jvm_library.h"
#include "launch/jvm_arguments_rules.h"
#include "paths/expand_variables.h"
#include "paths/launcher_path.h"
#include "paths/path_helpers.h"

#include <vector>

JavaVM* javaVm = nullptr;

namespace {

constexpr size_t kConfiguredArgumentsCapacity = kShortTextCapacity;

// The helper library's entry: (JNI environment, its own module, the launcher's error log)
// → non-zero on success.
using RegisterNativesFunction = unsigned char (*)(JNIEnv* env, HMODULE module, void (*log)(const wchar_t* format, ...));

// A setting expanded with the wide forms, as the leading path arguments take it.
std::wstring expandedSetting(SettingId id) {
    std::vector<wchar_t> text(kPathCapacity);
    getSettingWide(id, text.data(), text.size());
    expandVariables(text.data(), text.size(), false);
    return text.data();
}

std::wstring absoluteAgainstLauncher(const std::wstring& path) {
    std::vector<wchar_t> absolute(kPathCapacity);
    // A refused (too long) result leaves the text as it was expanded.
    if (!makeAbsolutePath(absolute.data(), absolute.size(), path.c_str(), false, true)) return path;
    return absolute.data();
}

// Setting 124, expanded with the wide forms and split as a command line.
ArgumentList configuredArguments() {
    std::vector<wchar_t> text(kConfiguredArgumentsCapacity);
    getSettingWide(SettingId::ApplicationArguments, text.data(), text.size());
    expandVariables(text.data(), text.size(), false);
    return splitCommandLine(text.data());
}

std::wstring helperLibraryPath() {
    std::vector<wchar_t> root(kRootDirectoryCapacity);
    getSettingWide(SettingId::RootDirectory, root.data(), root.size());
    std::wstring path = collapsedBackslashes(
        isRelativePath(root.data()) ? std::wstring(getLauncherDirectoryWide()) + root.data() : root.data());
    if (path.empty() || path.back() != L'\\') path += L'\\';
    return path + L".quillwork\\qwkinst.dll";
}

// System.exit ends the process from inside the JVM and never comes back to the removal after
// the JVM's end; the JVM calls this hook first, on the thread that asked to exit, while every
// other thread still runs. Files the JVM still holds open cannot be deleted yet: they stay,
// with the directory's marked temp file, for a later launcher to remove.
void JNICALL removeExtractionOnExit(jint) { removeExtractionDirectory(); }

// The hook is given only when there is an extraction directory to remove, so the option list
// of a launcher without included files stays as it was.
void addExitHook(JvmArguments& jvm) {
    if (extractionDirectory[0] == 0) return;
    JavaVMOption hook;
    hook.optionString = const_cast<char*>("exit");
    hook.extraInfo = reinterpret_cast<void*>(&removeExtractionOnExit);
    jvm.vmOptions.push_back(hook);
    jvm.vmArgs.nOptions = static_cast<jint>(jvm.vmOptions.size());
    jvm.vmArgs.options = jvm.vmOptions.data();
    logLine(L"vmoption %d: exit (hook removing the extraction directory)", static_cast<int>(jvm.vmOptions.size() - 1));
}

}  // namespace

DWORD WINAPI jvmThreadRoutine(LPVOID request) { return createJvmAndRun(*static_cast<LaunchRequest*>(request)) ? 1 : 0; }

bool createJvmAndRun(LaunchRequest& request) {
    JvmRunSteps steps;
    steps.generatorKind = generatorKind;
    steps.destroyAfterMain = request.destroyAfterMain;
    steps.launcherPath = getLauncherPathWide();
    steps.created = [](JavaVM* vm) { javaVm = vm; };
    steps.loadHelperLibrary = [](JNIEnv* env) { loadHelperLibrary(env); };
    const ArgumentList& args = request.args;
    steps.mainArguments = [&args]() { return mainArguments(args); };
    steps.widenSetting = [](const std::string& bytes) { return widenFromCodePage(bytes, CP_ACP); };
    addExitHook(request.jvm);
    switch (runJvm(createJavaVM, request.jvm.vmArgs, steps)) {
    case JvmRunOutcome::LauncherClassMissing:
        failWithMessage(MessageId::MainClassNotFound, nullptr);
    case JvmRunOutcome::MainMethodMissing:
        failWithMessage(MessageId::MainMethodNotFound, nullptr);
    case JvmRunOutcome::NotCreated:
    case JvmRunOutcome::MainThrew:
        return false;
    case JvmRunOutcome::Completed:
        break;
    }
    return true;
}

LeadingArguments buildLeadingArguments() {
    return leadingArgumentsFromConfiguration(expandedSetting, absoluteAgainstLauncher);
}

std::vector<std::wstring> mainArguments(const ArgumentList& args) {
    return mainArgumentList(buildLeadingArguments(), args, configuredArguments(),
                            jArgumentsBecomeOptions(getSettingInt(SettingId::AllowJArguments) != 0, serviceMode));
}

void loadHelperLibrary(JNIEnv* env) {
    if (generatorKind != 'i') return;
    logLine(L"load helper dll");
    std::wstring path = helperLibraryPath();
    DWORD loadError = 0;
    HMODULE module = loadLibraryFromItsFolder(path.c_str(), loadError);
    logLine(L"helper dll %p %s", static_cast<void*>(module), path.c_str());
    if (module == nullptr) return;
    RegisterNativesFunction registerNatives = lookupFunction<RegisterNativesFunction>(module, "registerNatives");
    if (registerNatives == nullptr) {
        logError(L"did not find register natives in helper dll");
        return;
    }
    if (!callInitFromLauncher(env, true)) return;
    if (registerNatives(env, module, logError) == 0) {
        logError(L"registering helper dll failed");
        callInitFromLauncher(env, false);
    }
}
