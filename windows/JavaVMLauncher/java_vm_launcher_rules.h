// The portable half of the JVM thread: the record the JVM is created with, the order of one
// JVM's life (create it, prepare the Java side, call the launcher class's main, destroy it)
// and the argument list main receives. What depends on the process (the helper library, the
// launcher path, keeping the VM pointer, expanding settings and resolving paths) comes in as
// functions, so the same sequence runs in the launcher (java_vm_launcher_win.cpp) and against
// a real JVM in tests.
#pragma once

#include "config/config_ids.h"
#include "jvmsearch/create_java_vm.h"

#include <jni.h>

#include <functional>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------------------
// The JVM arguments record.

// The options and the record JNI_CreateJavaVM reads: 8-bit options in the file-system code
// page, in their final order. The record points into `options` and `vmOptions`, so a filled
// JvmArguments is not copied or moved.
struct JvmArguments {
    std::vector<std::string> options;
    std::vector<JavaVMOption> vmOptions;
    JavaVMInitArgs vmArgs{};

    JvmArguments() = default;
    JvmArguments(const JvmArguments&) = delete;
    JvmArguments& operator=(const JvmArguments&) = delete;
};

// Takes the options, fills the record (JNI 1.2, unrecognised options ignored) and logs the
// final list.
void fillVmArgs(JvmArguments& arguments, std::vector<std::string> options);

// ---------------------------------------------------------------------------------------
// One JVM's life.

struct JvmRunSteps {
    char generatorKind = 0;        // picks the launcher class and the helper steps
    bool destroyAfterMain = true;  // DestroyJavaVM once main has returned
    std::wstring launcherPath;     // exact wide path for "ravel.moduleName"
    // Called once the VM exists, before anything runs in it.
    std::function<void(JavaVM* vm)> created;
    // Loads and registers the helper library (quillwork generator); failures are its own.
    std::function<void(JNIEnv* env)> loadHelperLibrary;
    // The complete argument list of main; asked only once the class and main were found.
    std::function<std::vector<std::wstring>()> mainArguments;
    // 8-bit settings handed to Java as strings (the splash texts) widened; without one each
    // byte is the character of the same value (Latin-1, as the packer writes settings).
    std::function<std::wstring(const std::string& bytes)> widenSetting;
};

enum class JvmRunOutcome {
    Completed,             // main returned; the VM was destroyed when asked to be
    NotCreated,            // JNI_CreateJavaVM failed: "could not initialize JVM"
    LauncherClassMissing,  // MessageId::MainClassNotFound
    MainMethodMissing,     // MessageId::MainMethodNotFound
    MainThrew,             // "could not call main"; the VM is left as it is
};

// Runs the whole sequence and logs each step. The two "missing" outcomes return at once,
// before any later step, so the caller can end the process with their message.
JvmRunOutcome runJvm(CreateJavaVMFunction create, JavaVMInitArgs& vmArgs, const JvmRunSteps& steps);

// ---------------------------------------------------------------------------------------
// The argument list of the launcher class's main: five leading arguments describing the
// application, the launcher's first argument, the configured arguments and the remaining
// command-line arguments.

struct LeadingArguments {
    bool windowed = false;    // application kind 1
    std::wstring mainClass;   // "/" in front in module mode
    std::wstring firstPath;   // empty when not configured
    std::wstring secondPath;  // empty when not configured
    bool fifthFlag = false;
};

// Setting `id` read (wide) and expanded with the launcher's wide placeholder forms.
using ExpandedSetting = std::function<std::wstring(SettingId id)>;
// A path made absolute against the wide launcher directory, case kept.
using MakeAbsolute = std::function<std::wstring(const std::wstring& path)>;

// Application kind (ApplicationKind equal to 1), the main class (MainClass, with "/" in front
// in module mode, ModuleMode), the paths of FirstPath and SecondPath when FirstPathEnabled and
// SecondPathEnabled enable them, and LeadingFlag. The expansion of the two path settings and
// their resolution come in as functions, so the rules can be checked without a file system.
LeadingArguments leadingArgumentsFromConfiguration(const ExpandedSetting& expandedSetting,
                                                   const MakeAbsolute& makeAbsolute);

// A configured path argument after expansion: a text that still begins with "$" is an
// unresolved placeholder and is passed on unchanged; anything else is made absolute.
std::wstring resolveLeadingPath(const std::wstring& expanded, const MakeAbsolute& makeAbsolute);

// The five leading arguments as strings, in order.
std::vector<std::wstring> leadingArgumentList(const LeadingArguments& leading);

// Whether a command-line argument goes to main: "-J" arguments become JVM options when
// `jOptionsEnabled`, and "-Dsun.locale.formatasdefault=" arguments never reach main.
bool passesToMain(const std::wstring& argument, bool jOptionsEnabled);

// leading + first launcher argument + configured + the remaining launcher arguments that
// pass to main.
std::vector<std::wstring> mainArgumentList(const LeadingArguments& leading,
                                           const std::vector<std::wstring>& launcherArgs,
                                           const std::vector<std::wstring>& configuredArgs, bool jOptionsEnabled);

// The last "-Dsun.locale.formatasdefault=" argument, or empty when there is none; the
// VM-options sources turn it into options.
std::wstring lastLocaleArgument(const std::vector<std::wstring>& launcherArgs);
