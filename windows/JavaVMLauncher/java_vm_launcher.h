// The JVM thread: creates the JVM from the assembled arguments, prepares the Java side
// (splash texts, helper library, module-name property), calls the launcher class's main and
// destroys the JVM, which waits for the application's non-daemon threads.
#pragma once

#include "core/command_line.h"
#include "core/platform.h"
#include "launch/jvm_arguments.h"
#include "launch/main_arguments.h"

#include <jni.h>

// The created JVM. Written on the JVM thread once JNI_CreateJavaVM succeeded; nothing else
// reads it while that thread runs.
extern JavaVM* javaVm;

// Thread routine handed to CreateThread: the request is a LaunchRequest*; the exit code is
// 1 when createJvmAndRun succeeded, else 0.
DWORD WINAPI jvmThreadRoutine(LPVOID request);

// False when the JVM could not be created or main ended with an exception (the JVM is then
// left as it is). A missing launcher class or main method ends the process.
bool createJvmAndRun(LaunchRequest& request);

// Builds the main arguments and calls main; false when main threw.
bool invokeMain(JNIEnv* env, const ArgumentList& args);

// The five leading arguments from the configuration.
LeadingArguments buildLeadingArguments();

// For the quillwork generator: loads ".quillwork\qwkinst.dll" below the application root
// and lets it register its natives; any failure is logged and the launch goes on.
void loadHelperLibrary(JNIEnv* env);

// Sets "ravel.moduleName" to the launcher's exact wide long path.
void setModuleNameProperty(JNIEnv* env);
