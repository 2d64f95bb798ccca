// The order of one JVM's life on the JVM thread: create it from its arguments record, prepare
// the Java side, call the launcher class's main and destroy it. Portable: what depends on the
// process (the helper library, the launcher path, the argument list, keeping the VM pointer)
// comes in through JvmRunSteps, so the same sequence runs in the launcher and against a real
// JVM in tests.
#pragma once

#include "jvmsearch/create_java_vm.h"

#include <jni.h>

#include <functional>
#include <string>
#include <vector>

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
};

enum class JvmRunOutcome {
    Completed,             // main returned; the VM was destroyed when asked to be
    NotCreated,            // JNI_CreateJavaVM failed: "could not initialize JVM"
    LauncherClassMissing,  // message 1010
    MainMethodMissing,     // message 1011
    MainThrew,             // "could not call main"; the VM is left as it is
};

// Runs the whole sequence and logs each step. The two "missing" outcomes return at once,
// before any later step, so the caller can end the process with their message.
JvmRunOutcome runJvm(CreateJavaVMFunction create, JavaVMInitArgs& vmArgs, const JvmRunSteps& steps);
