// The JNIEnv functions of the stand-in VM.
//
// Every function starts with `enter`, which checks what the JNI requires of
// every call: an environment of this VM, used on its own thread, while the VM runs, outside
// a string-critical region, and (except for the functions the JNI lists as safe)
// with no exception pending. A breach is recorded as a "jni-violation"; the call then goes on
// as a production VM would let it. References and method IDs that the VM never handed out,
// or that were deleted, cannot be answered sensibly and abort the process after the record.
#include "jni_env.h"

#include <cstdarg>
#include <cstdio>

#include "jni_slots.h"
#include "jtext.h"
#include "runtime.h"
#include "transcript.h"

namespace standin {

namespace {

// --- checks shared by every function

[[noreturn]] void violationAbort(ThreadState* thread, const char* function, const char* rule,
                                 const std::string& detail) {
    recordViolation(thread, function, rule, detail);
    abortVm("abort", function, std::string(rule) + ": " + detail);
}

enum class Pending { Forbidden, Allowed };

ThreadState* enter(JNIEnv* env, const char* function, Pending pending = Pending::Forbidden,
                   bool releasesCritical = false) {
    auto* block = reinterpret_cast<EnvBlock*>(env);
    if (block == nullptr || block->magic != kEnvMagic)
        abortVm("abort", function, "called with a JNIEnv pointer this VM did not hand out");
    ThreadState* thread = block->thread;
    if (vmState.phase != VmPhase::Running)
        violationAbort(thread, function, "vm-destroyed", "JNI function called after DestroyJavaVM");
    if (!thread->attached)
        violationAbort(thread, function, "detached-thread",
                       "environment of thread " + thread->name + ", which has detached");
    if (thread->id != GetCurrentThreadId())
        recordViolation(thread, function, "env-of-other-thread",
                        "environment of thread " + std::to_string(thread->id) + " used on thread " +
                            std::to_string(GetCurrentThreadId()));
    if (thread->critical > 0 && !releasesCritical)
        recordViolation(thread, function, "critical-region",
                        "JNI call between GetStringCritical and ReleaseStringCritical");
    if (thread->pending != nullptr && pending == Pending::Forbidden)
        recordViolation(thread, function, "pending-exception",
                        "called with " + thread->pending->cls->name + " pending");
    return thread;
}

const char* kindName(RefKind kind) {
    switch (kind) {
    case RefKind::Local:
        return "local";
    case RefKind::Global:
        return "global";
    default:
        return "weak global";
    }
}

// Call under the lock.
RefSlot* slotOf(ThreadState* thread, jobject ref, const char* function) {
    auto* slot = reinterpret_cast<RefSlot*>(ref);
    if (vmState.slots.count(slot) == 0)
        violationAbort(thread, function, "invalid-reference", "a reference this VM did not hand out");
    return slot;
}

Object* resolve(ThreadState* thread, jobject ref, const char* function) {
    if (ref == nullptr) return nullptr;
    VmLock lock;
    RefSlot* slot = slotOf(thread, ref, function);
    if (!slot->live)
        violationAbort(thread, function, "deleted-reference",
                       std::string("a ") + kindName(slot->kind) + " reference used after it was deleted");
    if (slot->kind == RefKind::Local && slot->owner != thread)
        recordViolation(thread, function, "local-reference-of-other-thread",
                        "a local reference of thread " + (slot->owner ? slot->owner->name : std::string("?")));
    return slot->target;
}

Object* resolveNonNull(ThreadState* thread, jobject ref, const char* function, const char* what) {
    Object* object = resolve(thread, ref, function);
    if (object == nullptr) violationAbort(thread, function, "null-argument", std::string(what) + " is null");
    return object;
}

Class* resolveClass(ThreadState* thread, jclass ref, const char* function) {
    Object* object = resolveNonNull(thread, ref, function, "the class");
    if (object->kind != ObjectKind::ClassMirror)
        violationAbort(thread, function, "not-a-class", "a " + object->cls->name + " where a class is required");
    return object->mirrorOf;
}

Object* resolveString(ThreadState* thread, jstring ref, const char* function) {
    Object* object = resolveNonNull(thread, ref, function, "the string");
    if (object->kind != ObjectKind::String)
        violationAbort(thread, function, "not-a-string", "a " + object->cls->name + " where a string is required");
    return object;
}

Object* resolveArray(ThreadState* thread, jarray ref, const char* function) {
    Object* object = resolveNonNull(thread, ref, function, "the array");
    if (object->kind != ObjectKind::Array)
        violationAbort(thread, function, "not-an-array", "a " + object->cls->name + " where an array is required");
    return object;
}

Method* methodOf(ThreadState* thread, jmethodID id, const char* function) {
    auto* method = reinterpret_cast<Method*>(id);
    VmLock lock;
    if (vmState.methodIds.count(method) == 0)
        violationAbort(thread, function, "invalid-method-id", "a method ID this VM did not hand out");
    return method;
}

jobject localRef(ThreadState* thread, Object* object) {
    VmLock lock;
    return newReference(thread, object, RefKind::Local);
}

// Text a caller handed over in modified UTF-8, for records (exact) and lookups.
std::string namedText(ThreadState* thread, const char* bytes, const char* function) {
    std::u16string units;
    std::string problem;
    if (!fromModifiedUtf8(bytes, units, problem)) recordViolation(thread, function, "invalid-modified-utf8", problem);
    return exactUtf8(units);
}

void throwMessage(ThreadState* thread, const char* className, const std::string& message, const char* origin) {
    std::u16string text = utf8ToUnits(message);
    throwNew(thread, className, &text, origin);
}

// --- versions, classes and exceptions

jint JNICALL getVersion(JNIEnv* env) {
    enter(env, "GetVersion");
    return vmState.jniVersion;
}

jclass JNICALL findClass(JNIEnv* env, const char* name) {
    ThreadState* thread = enter(env, "FindClass");
    Record record("find-class");
    if (name == nullptr) {
        recordViolation(thread, "FindClass", "null-argument", "the class name is null");
        record.add("name.null", "1");
    }
    std::string text = name != nullptr ? namedText(thread, name, "FindClass") : std::string();
    bool dotted = text.find('.') != std::string::npos;
    if (dotted)
        recordViolation(thread, "FindClass", "class-name-format",
                        "'" + text + "' uses '.'; the JNI writes class names with '/'");
    Class* cls = nullptr;
    if (name != nullptr && !dotted) {
        VmLock lock;
        cls = findClassNamed(text);
    }
    record.add("name", text);
    record.add("result", cls != nullptr ? "found" : "missing");
    addThread(record, thread);
    writeTranscript(record);
    if (cls == nullptr) {
        throwMessage(thread, "java/lang/NoClassDefFoundError", text, "FindClass");
        return nullptr;
    }
    VmLock lock;
    return static_cast<jclass>(newReference(thread, classMirror(cls), RefKind::Local));
}

jclass JNICALL getSuperclass(JNIEnv* env, jclass clazz) {
    ThreadState* thread = enter(env, "GetSuperclass");
    Class* cls = resolveClass(thread, clazz, "GetSuperclass");
    VmLock lock;
    return cls->super == nullptr ? nullptr
                                 : static_cast<jclass>(newReference(thread, classMirror(cls->super), RefKind::Local));
}

jboolean JNICALL isAssignableFrom(JNIEnv* env, jclass from, jclass to) {
    ThreadState* thread = enter(env, "IsAssignableFrom");
    Class* source = resolveClass(thread, from, "IsAssignableFrom");
    Class* target = resolveClass(thread, to, "IsAssignableFrom");
    VmLock lock;
    return isAssignable(source, target) ? JNI_TRUE : JNI_FALSE;
}

jint JNICALL throwObject(JNIEnv* env, jthrowable object) {
    ThreadState* thread = enter(env, "Throw");
    Object* throwable = resolve(thread, object, "Throw");
    if (throwable == nullptr || throwable->kind != ObjectKind::Throwable) {
        recordViolation(thread, "Throw", "not-throwable",
                        throwable == nullptr ? "a null reference" : "a " + throwable->cls->name);
        return JNI_ERR;
    }
    setPending(thread, throwable, "Throw");
    return JNI_OK;
}

jint JNICALL throwNewObject(JNIEnv* env, jclass clazz, const char* message) {
    ThreadState* thread = enter(env, "ThrowNew");
    Class* cls = resolveClass(thread, clazz, "ThrowNew");
    bool throwable = false;
    {
        VmLock lock;
        throwable = isThrowableClass(cls);
    }
    if (!throwable) {
        recordViolation(thread, "ThrowNew", "not-throwable", cls->name + " is not a Throwable class");
        return JNI_ERR;
    }
    std::u16string text;
    std::string problem;
    if (message != nullptr && !fromModifiedUtf8(message, text, problem))
        recordViolation(thread, "ThrowNew", "invalid-modified-utf8", problem);
    throwNew(thread, cls->name, message != nullptr ? &text : nullptr, "ThrowNew");
    return JNI_OK;
}

void recordPendingQuery(ThreadState* thread, const char* kind, const char* key) {
    Record record(kind);
    record.add(key, thread->pending != nullptr ? thread->pending->cls->name : std::string());
    addThread(record, thread);
    writeTranscript(record);
}

jthrowable JNICALL exceptionOccurred(JNIEnv* env) {
    ThreadState* thread = enter(env, "ExceptionOccurred", Pending::Allowed);
    recordPendingQuery(thread, "exception-occurred", "pending");
    return static_cast<jthrowable>(localRef(thread, thread->pending));
}

jboolean JNICALL exceptionCheck(JNIEnv* env) {
    ThreadState* thread = enter(env, "ExceptionCheck", Pending::Allowed);
    recordPendingQuery(thread, "exception-check", "pending");
    return thread->pending != nullptr ? JNI_TRUE : JNI_FALSE;
}

void JNICALL exceptionDescribe(JNIEnv* env) {
    ThreadState* thread = enter(env, "ExceptionDescribe", Pending::Allowed);
    Record record("exception-describe");
    if (thread->pending != nullptr) {
        std::string text;
        {
            VmLock lock;
            text = "Exception in thread \"" + thread->name + "\" " + stackTraceText(thread->pending);
        }
        writeVmError(text);
        record.add("class", thread->pending->cls->name);
        record.add("text", text);
        // Describing clears the exception, as the JNI defines it.
        thread->pending = nullptr;
    } else {
        record.add("class", "");
    }
    addThread(record, thread);
    writeTranscript(record);
}

void JNICALL exceptionClear(JNIEnv* env) {
    ThreadState* thread = enter(env, "ExceptionClear", Pending::Allowed);
    recordPendingQuery(thread, "exception-clear", "cleared");
    thread->pending = nullptr;
}

void JNICALL fatalError(JNIEnv* env, const char* message) {
    ThreadState* thread = enter(env, "FatalError", Pending::Allowed);
    std::string text = message != nullptr ? namedText(thread, message, "FatalError") : std::string();
    writeVmError("FATAL ERROR in native method: " + text + "\r\n");
    abortVm("fatal-error", "FatalError", text);
}

// --- references

jint JNICALL pushLocalFrame(JNIEnv* env, jint capacity) {
    ThreadState* thread = enter(env, "PushLocalFrame", Pending::Allowed);
    if (capacity < 0) {
        recordViolation(thread, "PushLocalFrame", "negative-capacity", std::to_string(capacity));
        return JNI_ERR;
    }
    VmLock lock;
    ++thread->frameDepth;
    return JNI_OK;
}

jobject JNICALL popLocalFrame(JNIEnv* env, jobject result) {
    ThreadState* thread = enter(env, "PopLocalFrame", Pending::Allowed);
    Object* kept = resolve(thread, result, "PopLocalFrame");
    VmLock lock;
    if (thread->frameDepth == 0) {
        recordViolation(thread, "PopLocalFrame", "no-local-frame", "PopLocalFrame without a matching PushLocalFrame");
        return newReference(thread, kept, RefKind::Local);
    }
    std::vector<RefSlot*> dropped;
    for (RefSlot* slot : thread->locals)
        if (slot->frame == thread->frameDepth) dropped.push_back(slot);
    for (RefSlot* slot : dropped) forgetLocal(slot);
    --thread->frameDepth;
    return newReference(thread, kept, RefKind::Local);
}

void recordGlobalRef(ThreadState* thread, const char* operation, RefKind kind, const Object* target) {
    Record record("global-ref");
    record.add("op", operation);
    record.add("kind", kindName(kind));
    record.add("class", target != nullptr ? target->cls->name : std::string());
    addThread(record, thread);
    writeTranscript(record);
}

jobject newGlobal(JNIEnv* env, jobject ref, RefKind kind, const char* function) {
    ThreadState* thread = enter(env, function);
    Object* target = resolve(thread, ref, function);
    if (target == nullptr) return nullptr;
    recordGlobalRef(thread, "new", kind, target);
    VmLock lock;
    return newReference(thread, target, kind);
}

jobject JNICALL newGlobalRef(JNIEnv* env, jobject ref) { return newGlobal(env, ref, RefKind::Global, "NewGlobalRef"); }

jweak JNICALL newWeakGlobalRef(JNIEnv* env, jobject ref) {
    return newGlobal(env, ref, RefKind::WeakGlobal, "NewWeakGlobalRef");
}

// Deleting twice, or deleting with the function of another kind, is a caller's fault the
// VM survives; it is recorded and the reference left as it was.
void deleteReference(JNIEnv* env, jobject ref, RefKind kind, const char* function) {
    ThreadState* thread = enter(env, function, Pending::Allowed);
    if (ref == nullptr) return;
    Object* target = nullptr;
    {
        VmLock lock;
        RefSlot* slot = slotOf(thread, ref, function);
        if (!slot->live) {
            recordViolation(thread, function, "deleted-reference",
                            std::string("a ") + kindName(slot->kind) + " reference deleted twice");
            return;
        }
        if (slot->kind != kind) {
            recordViolation(thread, function, "wrong-reference-kind",
                            std::string("a ") + kindName(slot->kind) + " reference given to " + function);
            return;
        }
        if (kind == RefKind::Local && slot->owner != thread)
            recordViolation(thread, function, "local-reference-of-other-thread", "a local reference of another thread");
        target = slot->target;
        if (kind == RefKind::Local)
            forgetLocal(slot);
        else
            slot->live = false;
    }
    if (kind != RefKind::Local) recordGlobalRef(thread, "delete", kind, target);
}

void JNICALL deleteGlobalRef(JNIEnv* env, jobject ref) {
    deleteReference(env, ref, RefKind::Global, "DeleteGlobalRef");
}

void JNICALL deleteLocalRef(JNIEnv* env, jobject ref) { deleteReference(env, ref, RefKind::Local, "DeleteLocalRef"); }

void JNICALL deleteWeakGlobalRef(JNIEnv* env, jweak ref) {
    deleteReference(env, ref, RefKind::WeakGlobal, "DeleteWeakGlobalRef");
}

jboolean JNICALL isSameObject(JNIEnv* env, jobject a, jobject b) {
    ThreadState* thread = enter(env, "IsSameObject");
    return resolve(thread, a, "IsSameObject") == resolve(thread, b, "IsSameObject") ? JNI_TRUE : JNI_FALSE;
}

jobject JNICALL newLocalRef(JNIEnv* env, jobject ref) {
    ThreadState* thread = enter(env, "NewLocalRef");
    return localRef(thread, resolve(thread, ref, "NewLocalRef"));
}

jint JNICALL ensureLocalCapacity(JNIEnv* env, jint capacity) {
    ThreadState* thread = enter(env, "EnsureLocalCapacity");
    if (capacity < 0) {
        recordViolation(thread, "EnsureLocalCapacity", "negative-capacity", std::to_string(capacity));
        return JNI_ERR;
    }
    return JNI_OK;
}

jobjectRefType JNICALL getObjectRefType(JNIEnv* env, jobject ref) {
    enter(env, "GetObjectRefType");
    if (ref == nullptr) return JNIInvalidRefType;
    VmLock lock;
    auto* slot = reinterpret_cast<RefSlot*>(ref);
    if (vmState.slots.count(slot) == 0 || !slot->live) return JNIInvalidRefType;
    switch (slot->kind) {
    case RefKind::Local:
        return JNILocalRefType;
    case RefKind::Global:
        return JNIGlobalRefType;
    default:
        return JNIWeakGlobalRefType;
    }
}

// --- objects and methods

ObjectKind kindForClass(const Class* cls) {
    if (cls->name == "java/lang/String") return ObjectKind::String;
    if (isThrowableClass(cls)) return ObjectKind::Throwable;
    return ObjectKind::Plain;
}

// Arrays and class objects are made by their own functions, never by AllocObject/NewObject.
bool isInstantiable(ThreadState* thread, const Class* cls, const char* function) {
    if (cls->element != nullptr || cls->name[0] == '[' || cls->name == "java/lang/Class") {
        std::u16string text = unitsOf(dottedName(cls->name));
        throwNew(thread, "java/lang/InstantiationException", &text, function);
        return false;
    }
    return true;
}

jobject JNICALL allocObject(JNIEnv* env, jclass clazz) {
    ThreadState* thread = enter(env, "AllocObject");
    Class* cls = resolveClass(thread, clazz, "AllocObject");
    if (!isInstantiable(thread, cls, "AllocObject")) return nullptr;
    VmLock lock;
    return newReference(thread, newObject(cls, kindForClass(cls)), RefKind::Local);
}

jclass JNICALL getObjectClass(JNIEnv* env, jobject ref) {
    ThreadState* thread = enter(env, "GetObjectClass");
    Object* object = resolveNonNull(thread, ref, "GetObjectClass", "the object");
    VmLock lock;
    return static_cast<jclass>(newReference(thread, classMirror(object->cls), RefKind::Local));
}

jboolean JNICALL isInstanceOf(JNIEnv* env, jobject ref, jclass clazz) {
    ThreadState* thread = enter(env, "IsInstanceOf");
    Object* object = resolve(thread, ref, "IsInstanceOf");
    Class* cls = resolveClass(thread, clazz, "IsInstanceOf");
    if (object == nullptr) return JNI_TRUE;  // null can be cast to any class
    VmLock lock;
    return isAssignable(object->cls, cls) ? JNI_TRUE : JNI_FALSE;
}

jmethodID lookUpMethodId(JNIEnv* env, jclass clazz, const char* name, const char* signature, bool isStatic,
                         const char* function) {
    ThreadState* thread = enter(env, function);
    Class* cls = resolveClass(thread, clazz, function);
    if (name == nullptr || signature == nullptr)
        recordViolation(thread, function, "null-argument",
                        name == nullptr ? "the name is null" : "the signature is null");
    std::string methodName = name != nullptr ? namedText(thread, name, function) : std::string();
    std::string descriptor = signature != nullptr ? namedText(thread, signature, function) : std::string();
    Method* method = nullptr;
    if (name != nullptr && signature != nullptr) {
        VmLock lock;
        method = lookUpMethod(cls, methodName, descriptor, isStatic);
    }
    Record record("get-method-id");
    record.add("function", function);
    record.add("class", cls->name);
    record.add("name", methodName);
    record.add("signature", descriptor);
    record.add("result", method != nullptr ? "found" : "missing");
    addThread(record, thread);
    writeTranscript(record);
    if (method == nullptr) {
        throwMessage(thread, "java/lang/NoSuchMethodError", methodName, function);
        return nullptr;
    }
    return reinterpret_cast<jmethodID>(method);
}

jmethodID JNICALL getMethodId(JNIEnv* env, jclass clazz, const char* name, const char* signature) {
    return lookUpMethodId(env, clazz, name, signature, false, "GetMethodID");
}

jmethodID JNICALL getStaticMethodId(JNIEnv* env, jclass clazz, const char* name, const char* signature) {
    return lookUpMethodId(env, clazz, name, signature, true, "GetStaticMethodID");
}

// Where the arguments of a call come from: the variable arguments of the call (or a va_list)
// or a jvalue array.
struct ArgumentSource {
    va_list* list = nullptr;
    const jvalue* array = nullptr;
};

jlong narrowed(char type, jlong value) {
    switch (type) {
    case 'Z':
        return static_cast<jboolean>(value);
    case 'B':
        return static_cast<jbyte>(value);
    case 'C':
        return static_cast<jchar>(value);
    case 'S':
        return static_cast<jshort>(value);
    default:
        return static_cast<jint>(value);
    }
}

Value argumentFromList(ThreadState* thread, char type, va_list& list, const char* function) {
    Value value;
    value.type = type == '[' ? 'L' : type;
    switch (type) {
    case 'J':
        value.integer = va_arg(list, jlong);
        break;
    // Variable arguments promote float to double.
    case 'F':
    case 'D':
        value.real = va_arg(list, double);
        break;
    case 'L':
    case '[':
        value.ref = resolve(thread, va_arg(list, jobject), function);
        break;
    default:
        value.integer = narrowed(type, va_arg(list, jint));
        break;
    }
    return value;
}

Value argumentFromArray(ThreadState* thread, char type, const jvalue& slot, const char* function) {
    Value value;
    value.type = type == '[' ? 'L' : type;
    switch (type) {
    case 'Z':
        value.integer = slot.z;
        break;
    case 'B':
        value.integer = slot.b;
        break;
    case 'C':
        value.integer = slot.c;
        break;
    case 'S':
        value.integer = slot.s;
        break;
    case 'I':
        value.integer = slot.i;
        break;
    case 'J':
        value.integer = slot.j;
        break;
    case 'F':
        value.real = slot.f;
        break;
    case 'D':
        value.real = slot.d;
        break;
    default:
        value.ref = resolve(thread, slot.l, function);
        break;
    }
    return value;
}

std::vector<Value> readArguments(ThreadState* thread, const Method* method, ArgumentSource source,
                                 const char* function) {
    std::vector<Value> arguments;
    if (source.array == nullptr && source.list == nullptr && !method->parameters.empty())
        violationAbort(thread, function, "null-argument", "the argument array is null");
    for (size_t i = 0; i < method->parameters.size(); ++i) {
        char type = method->parameters[i][0];
        arguments.push_back(source.array != nullptr ? argumentFromArray(thread, type, source.array[i], function)
                                                    : argumentFromList(thread, type, *source.list, function));
    }
    return arguments;
}

char resultLetter(const Method* method) {
    char letter = method->returnType[0];
    return letter == '[' ? 'L' : letter;
}

void checkResultType(ThreadState* thread, const Method* method, char expected, const char* function) {
    if (resultLetter(method) != expected)
        recordViolation(thread, function, "result-type",
                        method->owner->name + "." + method->name + method->descriptor + " called through " + function);
}

Value zeroOf(char letter) {
    Value value;
    value.type = letter;
    return value;
}

Value callStatic(JNIEnv* env, jclass clazz, jmethodID id, ArgumentSource source, const char* function, char expected) {
    ThreadState* thread = enter(env, function);
    Class* cls = resolveClass(thread, clazz, function);
    Method* method = methodOf(thread, id, function);
    if (!method->isStatic) {
        recordViolation(thread, function, "static-mismatch", "instance method " + method->name + " called as static");
        return zeroOf(expected);
    }
    if (!isSubclassOf(cls, method->owner))
        recordViolation(thread, function, "method-of-other-class",
                        method->owner->name + "." + method->name + " called through class " + cls->name);
    checkResultType(thread, method, expected, function);
    std::vector<Value> arguments = readArguments(thread, method, source, function);
    return invokeMethod(thread, method, nullptr, arguments, function);
}

// Virtual dispatch: the receiver's own class decides which method of that name and
// signature runs, whichever class the method ID was taken from (so toString() of an
// exception answers the exception's text). Constructors are never dispatched.
Method* dispatched(const Object* receiver, Method* method) {
    if (method->name == "<init>") return method;
    VmLock lock;
    Method* own = lookUpMethod(receiver->cls, method->name, method->descriptor, false);
    return own != nullptr ? own : method;
}

Value callInstance(JNIEnv* env, jobject target, jmethodID id, ArgumentSource source, const char* function,
                   char expected) {
    ThreadState* thread = enter(env, function);
    Object* receiver = resolveNonNull(thread, target, function, "the receiver");
    Method* method = methodOf(thread, id, function);
    if (method->isStatic) {
        recordViolation(thread, function, "static-mismatch", "static method " + method->name + " called on an object");
        return zeroOf(expected);
    }
    if (!isSubclassOf(receiver->cls, method->owner))
        recordViolation(thread, function, "receiver-class",
                        "method of " + method->owner->name + " called on a " + receiver->cls->name);
    checkResultType(thread, method, expected, function);
    std::vector<Value> arguments = readArguments(thread, method, source, function);
    return invokeMethod(thread, dispatched(receiver, method), receiver, arguments, function);
}

jobject construct(JNIEnv* env, jclass clazz, jmethodID id, ArgumentSource source, const char* function) {
    ThreadState* thread = enter(env, function);
    Class* cls = resolveClass(thread, clazz, function);
    Method* method = methodOf(thread, id, function);
    if (method->name != "<init>" || method->isStatic) {
        recordViolation(thread, function, "not-a-constructor", method->name + method->descriptor);
        return nullptr;
    }
    if (!isSubclassOf(cls, method->owner))
        recordViolation(thread, function, "method-of-other-class",
                        "constructor of " + method->owner->name + " used for " + cls->name);
    if (!isInstantiable(thread, cls, function)) return nullptr;
    std::vector<Value> arguments = readArguments(thread, method, source, function);
    Object* object = nullptr;
    {
        VmLock lock;
        object = newObject(cls, kindForClass(cls));
        // A Throwable takes its stack trace when it is made.
        if (object->kind == ObjectKind::Throwable) object->trace = javaTrace(thread);
    }
    invokeMethod(thread, method, object, arguments, function);
    return thread->pending != nullptr ? nullptr : localRef(thread, object);
}

template <typename T>
T resultAs(JNIEnv*, const Value& value) {
    return value.type == 'F' || value.type == 'D' ? static_cast<T>(value.real) : static_cast<T>(value.integer);
}

template <>
jobject resultAs<jobject>(JNIEnv* env, const Value& value) {
    return localRef(reinterpret_cast<EnvBlock*>(env)->thread, value.ref);
}

template <>
void resultAs<void>(JNIEnv*, const Value&) {}

// The three forms (variable arguments, va_list, jvalue array) of one Call<Type>Method.
#define STANDIN_CALL_FORMS(Prefix, Name, Target, TargetType, ResultType, Letter, Dispatch)                       \
    ResultType JNICALL Prefix##Name##Method(JNIEnv* env, TargetType target, jmethodID id, ...) {                 \
        va_list list;                                                                                            \
        va_start(list, id);                                                                                      \
        Value value = Dispatch(env, target, id, ArgumentSource{&list, nullptr}, Target #Name "Method", Letter);  \
        va_end(list);                                                                                            \
        return resultAs<ResultType>(env, value);                                                                 \
    }                                                                                                            \
    ResultType JNICALL Prefix##Name##MethodV(JNIEnv* env, TargetType target, jmethodID id, va_list args) {       \
        va_list list;                                                                                            \
        va_copy(list, args);                                                                                     \
        Value value = Dispatch(env, target, id, ArgumentSource{&list, nullptr}, Target #Name "MethodV", Letter); \
        va_end(list);                                                                                            \
        return resultAs<ResultType>(env, value);                                                                 \
    }                                                                                                            \
    ResultType JNICALL Prefix##Name##MethodA(JNIEnv* env, TargetType target, jmethodID id, const jvalue* args) { \
        return resultAs<ResultType>(                                                                             \
            env, Dispatch(env, target, id, ArgumentSource{nullptr, args}, Target #Name "MethodA", Letter));      \
    }

#define STANDIN_RESULT_TYPES(X) \
    X(Object, jobject, 'L')     \
    X(Boolean, jboolean, 'Z')   \
    X(Byte, jbyte, 'B')         \
    X(Char, jchar, 'C')         \
    X(Short, jshort, 'S')       \
    X(Int, jint, 'I')           \
    X(Long, jlong, 'J')         \
    X(Float, jfloat, 'F')       \
    X(Double, jdouble, 'D')     \
    X(Void, void, 'V')

#define STANDIN_INSTANCE_FORMS(Name, ResultType, Letter) \
    STANDIN_CALL_FORMS(call, Name, "Call", jobject, ResultType, Letter, callInstance)
#define STANDIN_STATIC_FORMS(Name, ResultType, Letter) \
    STANDIN_CALL_FORMS(callStatic, Name, "CallStatic", jclass, ResultType, Letter, callStatic)

STANDIN_RESULT_TYPES(STANDIN_INSTANCE_FORMS)
STANDIN_RESULT_TYPES(STANDIN_STATIC_FORMS)

jobject JNICALL newObjectCall(JNIEnv* env, jclass clazz, jmethodID id, ...) {
    va_list list;
    va_start(list, id);
    jobject object = construct(env, clazz, id, ArgumentSource{&list, nullptr}, "NewObject");
    va_end(list);
    return object;
}

jobject JNICALL newObjectV(JNIEnv* env, jclass clazz, jmethodID id, va_list args) {
    va_list list;
    va_copy(list, args);
    jobject object = construct(env, clazz, id, ArgumentSource{&list, nullptr}, "NewObjectV");
    va_end(list);
    return object;
}

jobject JNICALL newObjectA(JNIEnv* env, jclass clazz, jmethodID id, const jvalue* args) {
    return construct(env, clazz, id, ArgumentSource{nullptr, args}, "NewObjectA");
}

jint JNICALL registerNatives(JNIEnv* env, jclass clazz, const JNINativeMethod* methods, jint count) {
    ThreadState* thread = enter(env, "RegisterNatives");
    Class* cls = resolveClass(thread, clazz, "RegisterNatives");
    Record record("register-natives");
    record.add("class", cls->name);
    record.addNumber("nMethods", count);
    std::string missing;
    for (jint i = 0; i < count && methods != nullptr; ++i) {
        std::string name = namedText(thread, methods[i].name, "RegisterNatives");
        std::string descriptor = namedText(thread, methods[i].signature, "RegisterNatives");
        record.add("method" + std::to_string(i), name + descriptor);
        VmLock lock;
        if (missing.empty() && declaredMethod(cls, name, descriptor) == nullptr) missing = name;
    }
    record.add("result", missing.empty() ? "registered" : "missing " + missing);
    addThread(record, thread);
    writeTranscript(record);
    if (!missing.empty()) {
        throwMessage(thread, "java/lang/NoSuchMethodError", missing, "RegisterNatives");
        return JNI_ERR;
    }
    return JNI_OK;
}

jint JNICALL unregisterNatives(JNIEnv* env, jclass clazz) {
    ThreadState* thread = enter(env, "UnregisterNatives");
    Record record("unregister-natives");
    record.add("class", resolveClass(thread, clazz, "UnregisterNatives")->name);
    addThread(record, thread);
    writeTranscript(record);
    return JNI_OK;
}

jint JNICALL getJavaVm(JNIEnv* env, JavaVM** vm) {
    ThreadState* thread = enter(env, "GetJavaVM");
    if (vm == nullptr) violationAbort(thread, "GetJavaVM", "null-argument", "the result pointer is null");
    *vm = &vmState.vm;
    return JNI_OK;
}

// --- strings

jstring JNICALL newStringFromUnits(JNIEnv* env, const jchar* units, jsize length) {
    ThreadState* thread = enter(env, "NewString");
    if (length < 0) {
        recordViolation(thread, "NewString", "negative-length", std::to_string(length));
        return nullptr;
    }
    if (units == nullptr && length > 0) violationAbort(thread, "NewString", "null-argument", "the characters are null");
    std::u16string text(reinterpret_cast<const char16_t*>(units), static_cast<size_t>(length));
    VmLock lock;
    return static_cast<jstring>(newReference(thread, newString(text), RefKind::Local));
}

jstring JNICALL newStringUtf(JNIEnv* env, const char* bytes) {
    ThreadState* thread = enter(env, "NewStringUTF");
    if (bytes == nullptr) {
        recordViolation(thread, "NewStringUTF", "null-argument", "the bytes are null");
        return nullptr;
    }
    std::u16string text;
    std::string problem;
    if (!fromModifiedUtf8(bytes, text, problem))
        recordViolation(thread, "NewStringUTF", "invalid-modified-utf8", problem);
    VmLock lock;
    return static_cast<jstring>(newReference(thread, newString(text), RefKind::Local));
}

jsize JNICALL getStringLength(JNIEnv* env, jstring string) {
    ThreadState* thread = enter(env, "GetStringLength");
    return static_cast<jsize>(resolveString(thread, string, "GetStringLength")->text.size());
}

jsize JNICALL getStringUtfLength(JNIEnv* env, jstring string) {
    ThreadState* thread = enter(env, "GetStringUTFLength");
    return static_cast<jsize>(toModifiedUtf8(resolveString(thread, string, "GetStringUTFLength")->text).size());
}

// Hands out a terminated copy and remembers it until it comes back.
template <typename Unit>
const Unit* lend(const std::basic_string<Unit>& text, Object* string, const char* function, jboolean* isCopy) {
    auto* copy = new Unit[text.size() + 1];
    for (size_t i = 0; i < text.size(); ++i) copy[i] = text[i];
    copy[text.size()] = 0;
    if (isCopy != nullptr) *isCopy = JNI_TRUE;
    VmLock lock;
    vmState.lent[copy] = LentText{function, string};
    return copy;
}

// Takes back a copy; a pointer that was not lent, or that another function lent, is a fault
// of the caller and is recorded (and, when it is not ours, not freed).
template <typename Unit>
void takeBack(ThreadState* thread, const void* pointer, Object* string, const char* lender, const char* function) {
    VmLock lock;
    auto found = vmState.lent.find(pointer);
    if (found == vmState.lent.end()) {
        recordViolation(thread, function, "release-unknown-buffer", "a pointer that no Get function of this VM lent");
        return;
    }
    if (std::string(found->second.function) != lender)
        recordViolation(thread, function, "release-mismatch",
                        std::string("text lent by ") + found->second.function + " released with " + function);
    if (found->second.string != string)
        recordViolation(thread, function, "release-other-string", "the string given is not the one the text came from");
    vmState.lent.erase(found);
    delete[] static_cast<const Unit*>(pointer);
}

const jchar* JNICALL getStringChars(JNIEnv* env, jstring string, jboolean* isCopy) {
    ThreadState* thread = enter(env, "GetStringChars");
    Object* object = resolveString(thread, string, "GetStringChars");
    return reinterpret_cast<const jchar*>(lend(object->text, object, "GetStringChars", isCopy));
}

void JNICALL releaseStringChars(JNIEnv* env, jstring string, const jchar* chars) {
    ThreadState* thread = enter(env, "ReleaseStringChars", Pending::Allowed);
    Object* object = resolveString(thread, string, "ReleaseStringChars");
    takeBack<char16_t>(thread, chars, object, "GetStringChars", "ReleaseStringChars");
}

const char* JNICALL getStringUtfChars(JNIEnv* env, jstring string, jboolean* isCopy) {
    ThreadState* thread = enter(env, "GetStringUTFChars");
    Object* object = resolveString(thread, string, "GetStringUTFChars");
    return lend(toModifiedUtf8(object->text), object, "GetStringUTFChars", isCopy);
}

void JNICALL releaseStringUtfChars(JNIEnv* env, jstring string, const char* chars) {
    ThreadState* thread = enter(env, "ReleaseStringUTFChars", Pending::Allowed);
    Object* object = resolveString(thread, string, "ReleaseStringUTFChars");
    takeBack<char>(thread, chars, object, "GetStringUTFChars", "ReleaseStringUTFChars");
}

const jchar* JNICALL getStringCritical(JNIEnv* env, jstring string, jboolean* isCopy) {
    ThreadState* thread = enter(env, "GetStringCritical");
    Object* object = resolveString(thread, string, "GetStringCritical");
    ++thread->critical;
    return reinterpret_cast<const jchar*>(lend(object->text, object, "GetStringCritical", isCopy));
}

void JNICALL releaseStringCritical(JNIEnv* env, jstring string, const jchar* chars) {
    ThreadState* thread = enter(env, "ReleaseStringCritical", Pending::Allowed, true);
    Object* object = resolveString(thread, string, "ReleaseStringCritical");
    takeBack<char16_t>(thread, chars, object, "GetStringCritical", "ReleaseStringCritical");
    if (thread->critical > 0) --thread->critical;
}

bool regionFits(ThreadState* thread, const Object* string, jsize start, jsize length, const char* function) {
    if (start >= 0 && length >= 0 && static_cast<size_t>(start) + static_cast<size_t>(length) <= string->text.size())
        return true;
    throwMessage(thread, "java/lang/StringIndexOutOfBoundsException",
                 "offset " + std::to_string(start) + ", count " + std::to_string(length) + ", length " +
                     std::to_string(string->text.size()),
                 function);
    return false;
}

void JNICALL getStringRegion(JNIEnv* env, jstring string, jsize start, jsize length, jchar* buffer) {
    ThreadState* thread = enter(env, "GetStringRegion");
    Object* object = resolveString(thread, string, "GetStringRegion");
    if (!regionFits(thread, object, start, length, "GetStringRegion")) return;
    for (jsize i = 0; i < length; ++i) buffer[i] = object->text[static_cast<size_t>(start + i)];
}

void JNICALL getStringUtfRegion(JNIEnv* env, jstring string, jsize start, jsize length, char* buffer) {
    ThreadState* thread = enter(env, "GetStringUTFRegion");
    Object* object = resolveString(thread, string, "GetStringUTFRegion");
    if (!regionFits(thread, object, start, length, "GetStringUTFRegion")) return;
    std::string bytes = toModifiedUtf8(
        std::u16string_view(object->text).substr(static_cast<size_t>(start), static_cast<size_t>(length)));
    bytes.copy(buffer, bytes.size());
    buffer[bytes.size()] = 0;
}

// --- object arrays

jsize JNICALL getArrayLength(JNIEnv* env, jarray array) {
    ThreadState* thread = enter(env, "GetArrayLength");
    return static_cast<jsize>(resolveArray(thread, array, "GetArrayLength")->elements.size());
}

std::string arrayClassName(const Class* element) {
    return element->name[0] == '[' ? "[" + element->name : "[L" + element->name + ";";
}

jobjectArray JNICALL newObjectArray(JNIEnv* env, jsize length, jclass elementClass, jobject initial) {
    ThreadState* thread = enter(env, "NewObjectArray");
    Class* element = resolveClass(thread, elementClass, "NewObjectArray");
    Object* first = resolve(thread, initial, "NewObjectArray");
    if (length < 0) {
        throwMessage(thread, "java/lang/NegativeArraySizeException", std::to_string(length), "NewObjectArray");
        return nullptr;
    }
    VmLock lock;
    if (first != nullptr && !isAssignable(first->cls, element)) {
        throwMessage(thread, "java/lang/ArrayStoreException", dottedName(first->cls->name), "NewObjectArray");
        return nullptr;
    }
    Object* array = newObject(findClassNamed(arrayClassName(element)), ObjectKind::Array);
    array->elements.assign(static_cast<size_t>(length), first);
    return static_cast<jobjectArray>(newReference(thread, array, RefKind::Local));
}

bool indexFits(ThreadState* thread, const Object* array, jsize index, const char* function) {
    if (index >= 0 && static_cast<size_t>(index) < array->elements.size()) return true;
    throwMessage(
        thread, "java/lang/ArrayIndexOutOfBoundsException",
        "Index " + std::to_string(index) + " out of bounds for length " + std::to_string(array->elements.size()),
        function);
    return false;
}

jobject JNICALL getObjectArrayElement(JNIEnv* env, jobjectArray array, jsize index) {
    ThreadState* thread = enter(env, "GetObjectArrayElement");
    Object* object = resolveArray(thread, array, "GetObjectArrayElement");
    if (!indexFits(thread, object, index, "GetObjectArrayElement")) return nullptr;
    VmLock lock;
    return newReference(thread, object->elements[static_cast<size_t>(index)], RefKind::Local);
}

void JNICALL setObjectArrayElement(JNIEnv* env, jobjectArray array, jsize index, jobject value) {
    ThreadState* thread = enter(env, "SetObjectArrayElement");
    Object* object = resolveArray(thread, array, "SetObjectArrayElement");
    Object* element = resolve(thread, value, "SetObjectArrayElement");
    if (!indexFits(thread, object, index, "SetObjectArrayElement")) return;
    VmLock lock;
    const Class* elementClass = object->cls->element;
    if (element != nullptr && elementClass != nullptr && !isAssignable(element->cls, elementClass)) {
        throwMessage(thread, "java/lang/ArrayStoreException", dottedName(element->cls->name), "SetObjectArrayElement");
        return;
    }
    object->elements[static_cast<size_t>(index)] = element;
}

// --- the table

#define STANDIN_UNIMPLEMENTED_STUB(Name) \
    void JNICALL unimplemented##Name() { abortVm("unimplemented", #Name, "unimplemented JNI function " #Name); }
STANDIN_JNI_FUNCTION_SLOTS(STANDIN_UNIMPLEMENTED_STUB)

#define STANDIN_COUNT_SLOT(Name) +1
constexpr size_t kFunctionSlots = 0 STANDIN_JNI_FUNCTION_SLOTS(STANDIN_COUNT_SLOT);
constexpr size_t kReservedSlots = 0 STANDIN_JNI_RESERVED_SLOTS(STANDIN_COUNT_SLOT);
static_assert(sizeof(JNINativeInterface_) == (kFunctionSlots + kReservedSlots) * sizeof(void*),
              "jni_slots.h must list every slot of the JNIEnv function table");

template <typename Slot>
void pointAtStub(Slot& slot, void(JNICALL* stub)()) {
    slot = reinterpret_cast<Slot>(reinterpret_cast<void*>(stub));
}

JNINativeInterface_ buildTable() {
    JNINativeInterface_ table{};
#define STANDIN_POINT_AT_STUB(Name) pointAtStub(table.Name, unimplemented##Name);
    STANDIN_JNI_FUNCTION_SLOTS(STANDIN_POINT_AT_STUB)

    table.GetVersion = getVersion;
    table.FindClass = findClass;
    table.GetSuperclass = getSuperclass;
    table.IsAssignableFrom = isAssignableFrom;
    table.Throw = throwObject;
    table.ThrowNew = throwNewObject;
    table.ExceptionOccurred = exceptionOccurred;
    table.ExceptionDescribe = exceptionDescribe;
    table.ExceptionClear = exceptionClear;
    table.ExceptionCheck = exceptionCheck;
    table.FatalError = fatalError;
    table.PushLocalFrame = pushLocalFrame;
    table.PopLocalFrame = popLocalFrame;
    table.NewGlobalRef = newGlobalRef;
    table.DeleteGlobalRef = deleteGlobalRef;
    table.DeleteLocalRef = deleteLocalRef;
    table.NewWeakGlobalRef = newWeakGlobalRef;
    table.DeleteWeakGlobalRef = deleteWeakGlobalRef;
    table.IsSameObject = isSameObject;
    table.NewLocalRef = newLocalRef;
    table.EnsureLocalCapacity = ensureLocalCapacity;
    table.GetObjectRefType = getObjectRefType;
    table.AllocObject = allocObject;
    table.NewObject = newObjectCall;
    table.NewObjectV = newObjectV;
    table.NewObjectA = newObjectA;
    table.GetObjectClass = getObjectClass;
    table.IsInstanceOf = isInstanceOf;
    table.GetMethodID = getMethodId;
    table.GetStaticMethodID = getStaticMethodId;
#define STANDIN_FILL_CALLS(Name, ResultType, Letter)             \
    table.Call##Name##Method = call##Name##Method;               \
    table.Call##Name##MethodV = call##Name##MethodV;             \
    table.Call##Name##MethodA = call##Name##MethodA;             \
    table.CallStatic##Name##Method = callStatic##Name##Method;   \
    table.CallStatic##Name##MethodV = callStatic##Name##MethodV; \
    table.CallStatic##Name##MethodA = callStatic##Name##MethodA;
    STANDIN_RESULT_TYPES(STANDIN_FILL_CALLS)
    table.RegisterNatives = registerNatives;
    table.UnregisterNatives = unregisterNatives;
    table.GetJavaVM = getJavaVm;
    table.NewString = newStringFromUnits;
    table.NewStringUTF = newStringUtf;
    table.GetStringLength = getStringLength;
    table.GetStringUTFLength = getStringUtfLength;
    table.GetStringChars = getStringChars;
    table.ReleaseStringChars = releaseStringChars;
    table.GetStringUTFChars = getStringUtfChars;
    table.ReleaseStringUTFChars = releaseStringUtfChars;
    table.GetStringCritical = getStringCritical;
    table.ReleaseStringCritical = releaseStringCritical;
    table.GetStringRegion = getStringRegion;
    table.GetStringUTFRegion = getStringUtfRegion;
    table.GetArrayLength = getArrayLength;
    table.NewObjectArray = newObjectArray;
    table.GetObjectArrayElement = getObjectArrayElement;
    table.SetObjectArrayElement = setObjectArrayElement;
    return table;
}

}  // namespace

const JNINativeInterface_* environmentTable() {
    static const JNINativeInterface_ table = buildTable();
    return &table;
}

JNIEnv* environmentOf(ThreadState* thread) {
    thread->block.env.functions = environmentTable();
    return &thread->block.env;
}

}  // namespace standin
