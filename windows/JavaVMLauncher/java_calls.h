// The calls the launcher makes into a created JVM: the launcher class's main, the module-name
// property, the splash text configuration and the helper initialisation. They use only the
// JNI function tables, so they are portable; java_vm_launcher_win.cpp gathers their inputs
// from the process and turns the fatal outcomes into the launcher's messages.
#pragma once

#include <jni.h>

#include <functional>
#include <string>
#include <vector>

// The class whose main is called: the quillwork launcher class for generator 'i', else the
// ravel one, in JNI form ("/" separated).
std::string launcherClassName(char generatorKind);

enum class MainCallOutcome {
    Returned,        // main returned without a pending exception
    ClassNotFound,   // MessageId::MainClassNotFound
    MethodNotFound,  // MessageId::MainMethodNotFound
    Threw,           // the exception has been logged, its stack trace printed and cleared
};

// Finds `className` ("." taken as "/") and its static main(String[]), then asks
// `buildArguments` for the arguments (only once both were found), makes a String[] of them
// from their UTF-16 units and calls main. An argument array or string the JVM cannot create
// is an internal failure that aborts the process.
MainCallOutcome callStaticMain(JNIEnv* env, const std::string& className,
                               const std::function<std::vector<std::wstring>()>& buildArguments);

// Replaces the property "ravel.moduleName" with the exact wide launcher path. Failures are
// logged and the launch goes on.
void setModuleNameProperty(JNIEnv* env, const std::wstring& launcherPath);

// The static initFromLauncher(boolean) of the quillwork helper class; false when the class
// or the method is missing.
bool callInitFromLauncher(JNIEnv* env, bool flag);

// An 8-bit setting as the UTF-16 text it stands for; the launcher reads it through the ANSI
// code page.
using WidenSetting = std::function<std::wstring(const std::string& bytes)>;

// Hands the splash text settings (108 and 163, 10109 to 10122) to the ravel launcher class;
// a missing class or method is logged and skipped. The texts are widened with `widen` and
// handed over in modified UTF-8, the only form NewStringUTF reads.
void configureSplash(JNIEnv* env, const WidenSetting& widen);
