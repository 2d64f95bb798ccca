// The JNI native methods of the Java classes FlatWindowsNativeWindowBorder and its inner
// class WndProc (package com.quillwork.runtime.flatlaf), exported by name from the
// launcher executable through a module-definition file: the 32-bit export table carries
// the decorated standard-call names the 32-bit JVM looks for, the 64-bit one the plain names.
#pragma once

#include <jni.h>

extern "C" {

jlong JNICALL Java_com_quillwork_runtime_flatlaf_FlatWindowsNativeWindowBorder_00024WndProc_installImpl(JNIEnv* env,
                                                                                                        jobject object,
                                                                                                        jlong hwnd);
void JNICALL Java_com_quillwork_runtime_flatlaf_FlatWindowsNativeWindowBorder_00024WndProc_uninstallImpl(JNIEnv* env,
                                                                                                         jobject object,
                                                                                                         jlong hwnd);
void JNICALL Java_com_quillwork_runtime_flatlaf_FlatWindowsNativeWindowBorder_00024WndProc_updateFrame(JNIEnv* env,
                                                                                                       jobject object,
                                                                                                       jlong hwnd,
                                                                                                       jint state);
void JNICALL Java_com_quillwork_runtime_flatlaf_FlatWindowsNativeWindowBorder_00024WndProc_setWindowBackground(
    JNIEnv* env, jobject object, jlong hwnd, jint r, jint g, jint b);
jint JNICALL Java_com_quillwork_runtime_flatlaf_FlatWindowsNativeWindowBorder_00024WndProc_showWindow(JNIEnv* env,
                                                                                                      jobject object,
                                                                                                      jlong hwnd,
                                                                                                      jint cmd);
jint JNICALL Java_com_quillwork_runtime_flatlaf_FlatWindowsNativeWindowBorder_registryGetIntValue(
    JNIEnv* env, jclass type, jstring key, jstring valueName, jint defaultValue);
}
