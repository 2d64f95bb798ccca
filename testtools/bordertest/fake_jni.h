// A stand-in for the few JNI functions the native window border calls, keeping the rules the
// JNI documents for them: objects of a fake WndProc class whose three callbacks answer as a test
// sets them up, global references that are counted and checked, Java strings, and a
// JavaVM whose GetEnv answers only on threads the test marked as attached. Any other JNI
// function reports itself and ends the program, so an unexpected call cannot go unnoticed.
#pragma once

#include <jni.h>

#include <string>

// Which of the WndProc methods a fake class declares.
struct FakeClass {
    bool hasOnNcHitTest = true;
    bool hasIsFullscreen = true;
    bool hasFireStateChanged = true;
};

struct HitTestCall {
    int x;
    int y;
    bool onResizeBorder;
};

// One Java WndProc object and what its callbacks saw.
struct FakeWndProc {
    FakeClass* type;
    int hitTestAnswer = 2;
    bool fullScreen = false;
    bool throwFromHitTest = false;
    int hitTestCalls = 0;
    HitTestCall lastHitTest{};
    int fullScreenCalls = 0;
    int stateChangedCalls = 0;
};

struct FakeJniCounters {
    int liveGlobalRefs = 0;
    int newGlobalRefs = 0;
    int deletedGlobalRefs = 0;
    int getMethodIdCalls = 0;
    int getJavaVmCalls = 0;
    int getEnvCalls = 0;
    jint lastGetEnvVersion = 0;
    int stringCharsHeld = 0;
    int misuse = 0;  // calls the JNI rules forbid: stale references, a call with an exception pending
};

JNIEnv* fakeEnv();
JavaVM* fakeVm();
FakeJniCounters& fakeCounters();
bool fakeExceptionPending();

// The local reference a native method receives for `object`.
jobject fakeLocalRef(FakeWndProc* object);
// A Java string with the given UTF-16 text; lives until the program ends.
jstring fakeString(const std::u16string& text);

// Marks the current thread as attached to the fake VM (GetEnv answers) or not.
void fakeSetAttached(bool attached);
