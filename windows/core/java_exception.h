// Reporting a pending Java exception after a JNI call.
#pragma once

// The type jni.h declares for C++; declared here so that callers need not include jni.h.
struct JNIEnv_;
typedef JNIEnv_ JNIEnv;

// True when no Java exception is pending. Otherwise logs the exception's own text, prints
// its stack trace to the JVM's standard error when `describe` is set, clears it and returns
// false.
bool checkJavaException(JNIEnv* env, bool describe);
