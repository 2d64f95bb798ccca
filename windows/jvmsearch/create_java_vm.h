// The invocation entry of a runtime's JVM library, as one type for the code that resolves
// it (jvm_library_win.cpp) and the code that calls it (the JVM thread). Portable: only the
// JNI header is needed, so the JVM sequence can take it natively too.
#pragma once

#include <jni.h>

// JNI_CreateJavaVM as the runtime library exports it.
using CreateJavaVMFunction = jint(JNICALL*)(JavaVM** vm, void** env, void* args);
