// The JNIEnv function table of the stand-in VM and the checks every function starts with.
#pragma once

#include <jni.h>

#include "world.h"

namespace standin {

// The table every environment of the VM points at, filled on first use: the functions the
// stand-in implements, and for every other slot a function that records
// "unimplemented JNI function <name>" and aborts the process.
const JNINativeInterface_* environmentTable();

// The environment pointer of an attached thread.
JNIEnv* environmentOf(ThreadState* thread);

}  // namespace standin
