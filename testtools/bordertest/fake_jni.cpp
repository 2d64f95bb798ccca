#include "fake_jni.h"

#include "core/platform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

namespace {

// Every jobject the fake hands out points at one of these.
enum class RefKind { Local, Global, String, Class };
struct FakeRef {
    RefKind kind;
    FakeWndProc* object;
    bool deleted;
    std::u16string text;
};

enum class Method { HitTest, FullScreen, StateChanged };
struct FakeMethod {
    Method which;
};
FakeMethod hitTestMethod{Method::HitTest};
FakeMethod fullScreenMethod{Method::FullScreen};
FakeMethod stateChangedMethod{Method::StateChanged};

FakeJniCounters counters;
bool exceptionPending = false;
std::set<DWORD> attachedThreads;

JNINativeInterface_ envTable;
JNIEnv_ envObject;
JNIInvokeInterface_ vmTable;
JavaVM_ vmObject;

void misuse(const char* what) {
    std::printf("FAIL - JNI misuse: %s\n", what);
    std::fflush(stdout);
    ++counters.misuse;
}

FakeRef* refOf(jobject object) { return reinterpret_cast<FakeRef*>(object); }

// The WndProc object behind a reference a callback is made on; the border must call Java
// only through its global reference, and never through a deleted one.
FakeWndProc* callTarget(jobject object) {
    FakeRef* ref = refOf(object);
    if (ref == nullptr) {
        misuse("call on a null object");
        return nullptr;
    }
    if (ref->kind != RefKind::Global || ref->deleted) misuse("call through a reference that is not a live global one");
    if (exceptionPending) misuse("call with an exception pending");
    return ref->object;
}

void JNICALL unexpectedFunction() {
    std::printf("FAIL - the border called a JNI function the fake does not provide\n");
    std::fflush(stdout);
    std::exit(4);
}

jclass JNICALL getObjectClass(JNIEnv*, jobject object) {
    FakeRef* ref = refOf(object);
    if (ref == nullptr || ref->object == nullptr) return nullptr;
    return reinterpret_cast<jclass>(new FakeRef{RefKind::Class, ref->object, false, {}});
}

jmethodID JNICALL getMethodId(JNIEnv*, jclass type, const char* name, const char* signature) {
    ++counters.getMethodIdCalls;
    if (exceptionPending) misuse("GetMethodID with an exception pending");
    FakeClass* declared = refOf(type)->object->type;
    FakeMethod* found = nullptr;
    if (std::strcmp(name, "onNcHitTest") == 0 && std::strcmp(signature, "(IIZ)I") == 0 && declared->hasOnNcHitTest)
        found = &hitTestMethod;
    else if (std::strcmp(name, "isFullscreen") == 0 && std::strcmp(signature, "()Z") == 0 && declared->hasIsFullscreen)
        found = &fullScreenMethod;
    else if (std::strcmp(name, "fireStateChangedLaterOnce") == 0 && std::strcmp(signature, "()V") == 0 &&
             declared->hasFireStateChanged)
        found = &stateChangedMethod;
    // As the JVM does, a method that is not there leaves NoSuchMethodError pending.
    if (found == nullptr) exceptionPending = true;
    return reinterpret_cast<jmethodID>(found);
}

void JNICALL deleteLocalRef(JNIEnv*, jobject) {}

jboolean JNICALL exceptionCheck(JNIEnv*) { return exceptionPending ? JNI_TRUE : JNI_FALSE; }

void JNICALL exceptionClear(JNIEnv*) { exceptionPending = false; }

jobject JNICALL newGlobalRef(JNIEnv*, jobject object) {
    FakeRef* ref = refOf(object);
    if (ref == nullptr) return nullptr;
    ++counters.liveGlobalRefs;
    ++counters.newGlobalRefs;
    return reinterpret_cast<jobject>(new FakeRef{RefKind::Global, ref->object, false, {}});
}

void JNICALL deleteGlobalRef(JNIEnv*, jobject object) {
    FakeRef* ref = refOf(object);
    if (ref == nullptr) return;
    if (ref->kind != RefKind::Global || ref->deleted) {
        misuse("DeleteGlobalRef of a reference that is not a live global one");
        return;
    }
    ref->deleted = true;  // kept, so that a later use is recognised as stale
    --counters.liveGlobalRefs;
    ++counters.deletedGlobalRefs;
}

jint JNICALL getJavaVm(JNIEnv*, JavaVM** vm) {
    ++counters.getJavaVmCalls;
    *vm = &vmObject;
    return JNI_OK;
}

jmethodID expectMethod(jmethodID method, FakeMethod& expected) {
    if (reinterpret_cast<FakeMethod*>(method) != &expected) misuse("callback through the wrong method ID");
    return method;
}

jint JNICALL callIntMethodV(JNIEnv*, jobject object, jmethodID method, va_list args) {
    expectMethod(method, hitTestMethod);
    FakeWndProc* target = callTarget(object);
    if (target == nullptr) return 0;
    ++target->hitTestCalls;
    target->lastHitTest.x = va_arg(args, jint);
    target->lastHitTest.y = va_arg(args, jint);
    target->lastHitTest.onResizeBorder = va_arg(args, int) != 0;  // jboolean arrives promoted
    if (target->throwFromHitTest) {
        exceptionPending = true;
        return 0;
    }
    return target->hitTestAnswer;
}

jboolean JNICALL callBooleanMethodV(JNIEnv*, jobject object, jmethodID method, va_list) {
    expectMethod(method, fullScreenMethod);
    FakeWndProc* target = callTarget(object);
    if (target == nullptr) return JNI_FALSE;
    ++target->fullScreenCalls;
    return target->fullScreen ? JNI_TRUE : JNI_FALSE;
}

void JNICALL callVoidMethodV(JNIEnv*, jobject object, jmethodID method, va_list) {
    expectMethod(method, stateChangedMethod);
    FakeWndProc* target = callTarget(object);
    if (target != nullptr) ++target->stateChangedCalls;
}

jsize JNICALL getStringLength(JNIEnv*, jstring text) {
    FakeRef* ref = refOf(text);
    if (ref == nullptr || ref->kind != RefKind::String) {
        misuse("GetStringLength of something that is not a string");
        return 0;
    }
    return static_cast<jsize>(ref->text.size());
}

// The characters come without a terminator and with a filler after them, as the JNI allows,
// so code that relies on a terminator reads the filler.
const jchar* JNICALL getStringChars(JNIEnv*, jstring text, jboolean* isCopy) {
    FakeRef* ref = refOf(text);
    if (ref == nullptr || ref->kind != RefKind::String) {
        misuse("GetStringChars of something that is not a string");
        return nullptr;
    }
    const size_t length = ref->text.size();
    jchar* chars = static_cast<jchar*>(std::malloc((length + 8) * sizeof(jchar)));
    std::memcpy(chars, ref->text.data(), length * sizeof(jchar));
    for (size_t i = length; i < length + 8; ++i) chars[i] = u'X';
    if (isCopy != nullptr) *isCopy = JNI_TRUE;
    ++counters.stringCharsHeld;
    return chars;
}

void JNICALL releaseStringChars(JNIEnv*, jstring, const jchar* chars) {
    --counters.stringCharsHeld;
    std::free(const_cast<jchar*>(chars));
}

jint JNICALL getEnv(JavaVM*, void** env, jint version) {
    ++counters.getEnvCalls;
    counters.lastGetEnvVersion = version;
    if (attachedThreads.count(GetCurrentThreadId()) == 0) {
        *env = nullptr;
        return JNI_EDETACHED;
    }
    *env = &envObject;
    return JNI_OK;
}

jint JNICALL attachCurrentThread(JavaVM*, void**, void*) {
    misuse("the border must not attach threads to the VM");
    return JNI_ERR;
}

template <typename Table>
void fillWithTraps(Table& table) {
    void** slots = reinterpret_cast<void**>(&table);
    for (size_t i = 0; i < sizeof(Table) / sizeof(void*); ++i) slots[i] = reinterpret_cast<void*>(&unexpectedFunction);
}

bool setUp() {
    fillWithTraps(envTable);
    envTable.GetObjectClass = getObjectClass;
    envTable.GetMethodID = getMethodId;
    envTable.DeleteLocalRef = deleteLocalRef;
    envTable.ExceptionCheck = exceptionCheck;
    envTable.ExceptionClear = exceptionClear;
    envTable.NewGlobalRef = newGlobalRef;
    envTable.DeleteGlobalRef = deleteGlobalRef;
    envTable.GetJavaVM = getJavaVm;
    envTable.CallIntMethodV = callIntMethodV;
    envTable.CallBooleanMethodV = callBooleanMethodV;
    envTable.CallVoidMethodV = callVoidMethodV;
    envTable.GetStringLength = getStringLength;
    envTable.GetStringChars = getStringChars;
    envTable.ReleaseStringChars = releaseStringChars;
    envObject.functions = &envTable;
    fillWithTraps(vmTable);
    vmTable.GetEnv = getEnv;
    vmTable.AttachCurrentThread = attachCurrentThread;
    vmObject.functions = &vmTable;
    return true;
}
const bool ready = setUp();

}  // namespace

JNIEnv* fakeEnv() { return ready ? &envObject : nullptr; }
JavaVM* fakeVm() { return &vmObject; }
FakeJniCounters& fakeCounters() { return counters; }
bool fakeExceptionPending() { return exceptionPending; }

jobject fakeLocalRef(FakeWndProc* object) {
    return reinterpret_cast<jobject>(new FakeRef{RefKind::Local, object, false, {}});
}

jstring fakeString(const std::u16string& text) {
    return reinterpret_cast<jstring>(new FakeRef{RefKind::String, nullptr, false, text});
}

void fakeSetAttached(bool attached) {
    if (attached)
        attachedThreads.insert(GetCurrentThreadId());
    else
        attachedThreads.erase(GetCurrentThreadId());
}
