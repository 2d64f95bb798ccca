// Machine-dependent part of the JNI types for Windows builds with MinGW-w64, found by the
// JDK's jni.h through its #include "jni_md.h" because this directory comes first on the
// include path (the JDK's own include/linux variant must never be used for Windows: its
// jlong is `long`, which Windows keeps at 32 bits).
//
// The sizes are the ones the JNI specification fixes: jint 32-bit, jlong 64-bit, jbyte a
// signed 8-bit integer. Every JNI entry point uses the Windows standard calling convention,
// which is what decorates the 32-bit export names with the argument byte count.
#ifndef STANDIN_JNI_MD_H
#define STANDIN_JNI_MD_H

// A build that names its exports in a module-definition file may define JNIEXPORT as empty,
// so that the compiler adds no export of its own next to the names the file gives.
#ifndef JNIEXPORT
#define JNIEXPORT __declspec(dllexport)
#endif
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

typedef int jint;
typedef long long jlong;
typedef signed char jbyte;

#endif
