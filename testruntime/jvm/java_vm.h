// The JavaVM of the stand-in: DestroyJavaVM, AttachCurrentThread, DetachCurrentThread,
// GetEnv and AttachCurrentThreadAsDaemon, each recorded in the transcript.
#pragma once

#include <jni.h>

namespace standin {

// The process's one JavaVM (its function table filled on first use).
JavaVM* javaVm();

}  // namespace standin
