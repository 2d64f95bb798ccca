// The JVM thread: creates the JVM from the assembled arguments, prepares the Java side
// (splash texts, helper library, module-name property), calls the launcher class's main and
// destroys the JVM, which waits for the application's non-daemon threads.
//
// This header is what the launch calls; java_vm_launcher_win.cpp implements it with the
// process's configuration, launcher path and helper library around the portable sequence of
// java_vm_launcher_rules.h.
#pragma once

#include "JavaVMLauncher/java_vm_launcher_rules.h"
#include "core/command_line.h"
#include "core/platform.h"

#include <jni.h>

// What the JVM thread receives: the launcher arguments, the JVM arguments and whether the
// JVM is destroyed once main has returned.
struct LaunchRequest {
    ArgumentList args;
    JvmArguments jvm;
    bool destroyAfterMain = true;
};

// The created JVM. Written on the JVM thread once JNI_CreateJavaVM succeeded; nothing else
// reads it while that thread runs.
extern JavaVM* javaVm;

// Thread routine handed to CreateThread: the request is a LaunchRequest*; the exit code is
// 1 when createJvmAndRun succeeded, else 0.
DWORD WINAPI jvmThreadRoutine(LPVOID request);

// False when the JVM could not be created or main ended with an exception (the JVM is then
// left as it is). A missing launcher class or main method ends the process.
bool createJvmAndRun(LaunchRequest& request);

// The five leading arguments from the configuration.
LeadingArguments buildLeadingArguments();

// The argument list of the launcher class's main: the leading arguments, the first launcher
// argument, the configured arguments and the remaining launcher arguments that pass.
std::vector<std::wstring> mainArguments(const ArgumentList& args);

// For the quillwork generator: loads ".quillwork\qwkinst.dll" below the application root
// and lets it register its natives; any failure is logged and the launch goes on.
void loadHelperLibrary(JNIEnv* env);
