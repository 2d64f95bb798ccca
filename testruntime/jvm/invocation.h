// The invocation interface of the stand-in jvm.dll, behind the exported entry points.
//
// State: `loadedRuntime` is the runtime this library belongs to, found from the library's
// own path; it is written once by DllMain when the library is attached and only read after.
//
// For now the stand-in records every request and creates no VM: JNI_CreateJavaVM answers
// with the error a JVM gives when it cannot start. The JavaVM and JNIEnv function tables
// will be added here (a `createVm` that fills them and returns JNI_OK), with the recording
// kept as it is, so the transcript of a launcher's request stays comparable.
#pragma once

#include <jni.h>

#include "standin.h"

namespace standin {

extern RuntimeHome loadedRuntime;
extern std::wstring loadedModulePath;

// Called once from DllMain on process attach.
void recordLibraryLoad(HMODULE self);

// The JNI versions a VM of this stand-in accepts for creation.
bool isSupportedJniVersion(jint version);

jint createJavaVm(JavaVM** vm, void** env, void* args);
jint defaultJavaVmInitArgs(void* args);
jint createdJavaVms(JavaVM** buffer, jsize capacity, jsize* count);

}  // namespace standin
