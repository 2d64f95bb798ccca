#include "JavaVMLauncher/java_vm_launcher.h"

#include "JavaVMLauncher/java_calls.h"
#include "JavaVMLauncher/leading_arguments.h"
#include "config/config_store.h"
#include "core/fatal.h"
#include "core/launcher_state.h"
#include "core/log.h"
#include "jvmsearch/jvm_library.h"
#include "paths/expand_variables.h"
#include "paths/launcher_path.h"
#include "paths/path_helpers.h"

#include <vector>

JavaVM* javaVm = nullptr;

namespace {

constexpr size_t kPathCapacity = 6000;
constexpr size_t kConfiguredArgumentsCapacity = 2000;
constexpr size_t kApplicationRootCapacity = 4000;

// The helper library's entry: (JNI environment, its own module, the launcher's error log)
// → non-zero on success.
using RegisterNativesFunction = unsigned char (*)(JNIEnv* env, HMODULE module, void (*log)(const wchar_t* format, ...));

// A setting expanded with the wide forms, as the leading path arguments take it.
std::wstring expandedSetting(int id) {
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
    getSettingWide(124, text.data(), text.size());
    expandVariables(text.data(), text.size(), false);
    return splitCommandLine(text.data());
}

std::wstring helperLibraryPath() {
    std::vector<wchar_t> root(kApplicationRootCapacity);
    getSettingWide(10003, root.data(), root.size());
    std::wstring path = isRelativePath(root.data()) ? std::wstring(getLauncherDirectoryWide()) + root.data() : root.data();
    std::vector<wchar_t> collapsed(path.begin(), path.end());
    collapsed.push_back(0);
    collapseBackslashes(collapsed.data());
    path = collapsed.data();
    if (path.empty() || path.back() != L'\\') path += L'\\';
    return path + L".quillwork\\qwkinst.dll";
}

}  // namespace

DWORD WINAPI jvmThreadRoutine(LPVOID request) {
    return createJvmAndRun(*static_cast<LaunchRequest*>(request)) ? 1 : 0;
}

bool createJvmAndRun(LaunchRequest& request) {
    logLine(L"Creating JVM");
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    if (createJavaVM == nullptr || createJavaVM(&vm, reinterpret_cast<void**>(&env), &request.jvm.vmArgs) != JNI_OK ||
        vm == nullptr || env == nullptr) {
        logError(L"could not initialize JVM");
        return false;
    }
    javaVm = vm;
    logLine(L"JVM created");

    if (getSettingInt(108) != 0) configureSplash(env);
    loadHelperLibrary(env);
    setModuleNameProperty(env);
    if (!invokeMain(env, request.args)) {
        logError(L"could not call main");
        return false;
    }
    if (request.destroyAfterMain) {
        logLine(L"dest JVM");
        vm->DestroyJavaVM();
    }
    logLine(L"launch done");
    return true;
}

LeadingArguments buildLeadingArguments() {
    return leadingArgumentsFromConfiguration(expandedSetting, absoluteAgainstLauncher);
}

bool invokeMain(JNIEnv* env, const ArgumentList& args) {
    MainCallOutcome outcome = callStaticMain(env, launcherClassName(generatorKind), [&args]() {
        return mainArgumentList(buildLeadingArguments(), args, configuredArguments(), getSettingInt(125) != 0);
    });
    switch (outcome) {
    case MainCallOutcome::ClassNotFound:
        failWithMessage(1010, nullptr);
    case MainCallOutcome::MethodNotFound:
        failWithMessage(1011, nullptr);
    case MainCallOutcome::Threw:
        return false;
    case MainCallOutcome::Returned:
        break;
    }
    return true;
}

void loadHelperLibrary(JNIEnv* env) {
    if (generatorKind != 'i') return;
    logLine(L"load helper dll");
    std::wstring path = helperLibraryPath();
    HMODULE module = LoadLibraryW(path.c_str());
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

void setModuleNameProperty(JNIEnv* env) { setModuleNameProperty(env, getLauncherPathWide()); }
