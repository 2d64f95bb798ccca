/* Machine-dependent part of the JNI headers for Windows targets. The JDK's jni.h includes
   "jni_md.h" by name; this directory comes before the JDK's include directory on the
   launcher's include path, so Windows builds get these definitions instead of the build
   host's. The JNI types have fixed sizes on every platform: jint 32 bits, jlong 64 bits,
   jbyte a signed 8-bit value. On Windows `long` is 32 bits even in 64-bit programs, so jlong
   must not be `long`. Exported and imported JNI functions use the DLL storage classes, and
   JNI calls the stdcall convention (which 64-bit compilers ignore: x64 has one convention). */
#ifndef LAUNCHER_JNI_MD_H
#define LAUNCHER_JNI_MD_H

#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

typedef int jint;
typedef long long jlong;
typedef signed char jbyte;

#endif
