// The invocation interface of the stand-in jvm.dll: JNI_CreateJavaVM and its two companions
// behind the exported entry points, and the JavaVM function table.
//
// State: `loadedRuntime` and `loadedModulePath` describe the runtime this library belongs to,
// found from the library's own path; written once by DllMain when the library is attached,
// only read after. The VM itself lives in vmState (world.h).
#pragma once

#include <jni.h>

#include "standin.h"

namespace standin {

extern RuntimeHome loadedRuntime;
extern std::wstring loadedModulePath;

// Called once from DllMain on process attach: records the load, prepares the VM's lock and
// thread slot and starts watching the host's thread creation (thread_watch.h).
void recordLibraryLoad(HMODULE self);
// Called from DllMain when the library is unloaded by FreeLibrary.
void releaseLibrary();

// The JNI versions this runtime accepts (for creation; GetEnv and AttachCurrentThread also
// accept 1.1): every version from 1.2 up to the one its Java version introduced.
bool isSupportedJniVersion(jint version);

jint createJavaVm(JavaVM** vm, void** env, void* args);
jint defaultJavaVmInitArgs(void* args);
jint createdJavaVms(JavaVM** buffer, jsize capacity, jsize* count);

}  // namespace standin
