// The Java world of the stand-in VM: classes with their methods, objects, references,
// threads and the per-thread pending exception. A test describes the world through a script
// (script.h); the JNI functions (jni_env.cpp) look things up and call methods here.
//
// Nothing is ever freed while the process lives: objects, reference slots, method records
// and thread records stay allocated, so a stale reference or method ID handed back by a
// caller is recognised (and reported) instead of pointing at reused memory.
#pragma once

#include <jni.h>
#include <windows.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace standin {

struct Class;
struct Method;
struct ThreadState;

enum class ObjectKind { Plain, String, Array, Throwable, ClassMirror };

struct Object {
    Class* cls = nullptr;
    ObjectKind kind = ObjectKind::Plain;
    unsigned long identity = 0;      // the identity hash code
    std::u16string text;             // String: its UTF-16 units
    std::vector<Object*> elements;   // Array
    Object* message = nullptr;       // Throwable: a String or null
    std::vector<std::string> trace;  // Throwable: frames, innermost first ("pkg.Cls.method")
    Class* mirrorOf = nullptr;       // ClassMirror: the class it stands for
};

// A Java value: type is the descriptor letter ('Z', 'B', 'C', 'S', 'I', 'J', 'F', 'D', 'L'
// for every reference, including arrays, or 'V' for no value).
struct Value {
    char type = 'V';
    jlong integer = 0;
    double real = 0;
    Object* ref = nullptr;
};

enum class ActionKind { Return, Throw, Exit, Sleep, ReadLine, StartThread, Property, Print, PrintError, Note };

struct Action {
    ActionKind kind = ActionKind::Return;
    int line = 0;                // script line, for messages
    std::string name;            // Throw: class; Property: property name
    std::string text;            // Throw: message; Print/Note: text (UTF-8)
    bool hasText = false;        // Throw: a message was given
    long long number = 0;        // Exit: code; Sleep/StartThread: milliseconds
    bool daemon = false;         // StartThread
    bool hasValue = false;       // Return: a value was given
    Value literal;               // Return: the value (strings are made at each call)
    bool literalIsText = false;  // Return: the value is a new string of literalText
    std::u16string literalText;
};

// Methods whose behaviour is part of the stand-in rather than of a script.
enum class Builtin {
    None,
    ObjectInit,
    ObjectToString,
    ObjectHashCode,
    ObjectEquals,
    ObjectGetClass,
    ClassGetName,
    StringToString,
    StringLength,
    ThrowableInitMessage,
    ThrowableToString,
    ThrowableGetMessage,
    ThrowablePrintStackTrace,
    SystemSetProperty,
    SystemGetProperty,
    SystemClearProperty,
    SystemExit
};

struct Method {
    Class* owner = nullptr;
    std::string name;
    std::string descriptor;
    bool isStatic = false;
    std::vector<std::string> parameters;  // one descriptor per parameter
    std::string returnType;               // descriptor of the result ("V" for none)
    Builtin builtin = Builtin::None;
    std::vector<Action> actions;
    bool removed = false;  // taken out by a script; IDs stay recognisable
};

struct Class {
    std::string name;       // internal form: "java/lang/String", "[Ljava/lang/String;"
    std::string superName;  // empty only for java/lang/Object
    Class* super = nullptr;
    std::vector<Method*> methods;
    Object* mirror = nullptr;  // the java.lang.Class object of this class
    Class* element = nullptr;  // array classes: the element class
};

enum class RefKind { Local, Global, WeakGlobal };

// What a jobject points at. Deleting a reference marks its slot dead; the slot itself stays.
struct RefSlot {
    Object* target = nullptr;
    RefKind kind = RefKind::Local;
    bool live = true;
    ThreadState* owner = nullptr;  // local references: the thread they belong to
    size_t frame = 0;              // local references: the local frame (PushLocalFrame depth)
};

// What a JNIEnv pointer points at: the function table first, as the JNI requires, then the
// thread the environment belongs to.
struct EnvBlock {
    JNIEnv_ env;
    ThreadState* thread;
    unsigned long magic;
};
constexpr unsigned long kEnvMagic = 0x4A4E4945;  // "JNIE"

struct ThreadState {
    EnvBlock block{};
    DWORD id = 0;
    std::string name;  // "main" for the creating thread, else "Thread-N"
    bool daemon = false;
    bool attached = true;
    std::vector<const Method*> javaStack;  // Java methods running on this thread, outermost first
    Object* pending = nullptr;             // the pending exception
    std::vector<RefSlot*> locals;          // local references not yet deleted
    size_t frameDepth = 0;                 // local frames pushed and not yet popped
    int critical = 0;                      // strings held through GetStringCritical
};

// Text handed out by GetStringChars / GetStringUTFChars / GetStringCritical, until released.
struct LentText {
    const char* function;  // the function that lent it
    Object* string;
};

// Hooks the init args may carry as the "exit", "abort" and "vfprintf" options.
using ExitHook = void(JNICALL*)(jint code);
using AbortHook = void(JNICALL*)(void);
using VfprintfHook = jint(JNICALL*)(FILE* stream, const char* format, va_list args);

enum class VmPhase { NotCreated, Running, Destroyed };

// The one VM of the process. Written by JNI_CreateJavaVM (all of it, before any other thread
// can reach the VM) and afterwards only under `lock` by the JNI functions, the JavaVM
// functions and the threads the VM starts.
struct VmState {
    CRITICAL_SECTION lock;
    VmPhase phase = VmPhase::NotCreated;
    JavaVM_ vm{};
    jint jniVersion = JNI_VERSION_10;  // what GetVersion answers
    int javaMajor = 17;
    std::map<std::string, Class*> classes;
    std::set<Method*> methodIds;  // every method ID ever handed out
    std::set<RefSlot*> slots;     // every reference ever handed out
    std::map<const void*, LentText> lent;
    std::vector<ThreadState*> threads;  // attached threads
    std::map<std::string, std::u16string> properties;
    unsigned long nextIdentity = 1;
    int nextThreadNumber = 0;
    DWORD tlsIndex = TLS_OUT_OF_INDEXES;
    HANDLE threadsChanged = nullptr;  // set whenever a thread detaches or ends
    ExitHook exitHook = nullptr;
    AbortHook abortHook = nullptr;
    VfprintfHook vfprintfHook = nullptr;
};

extern VmState vmState;

class VmLock {
public:
    VmLock() { EnterCriticalSection(&vmState.lock); }
    ~VmLock() { LeaveCriticalSection(&vmState.lock); }
    VmLock(const VmLock&) = delete;
    VmLock& operator=(const VmLock&) = delete;
};

// --- classes and methods (call under the lock)

// The default world: java.lang basics, the exception classes the VM itself throws, and the
// launcher-side classes with methods that simply return.
void installDefaultClasses();
Class* defineClass(const std::string& name, const std::string& superName);
Class* findClassNamed(const std::string& name);  // also makes array classes of known elements
Method* addMethod(Class* cls, const std::string& name, const std::string& descriptor, bool isStatic);
Method* declaredMethod(Class* cls, const std::string& name, const std::string& descriptor);
// Looks through the class and its superclasses for a method that is not removed.
Method* lookUpMethod(Class* cls, const std::string& name, const std::string& descriptor, bool isStatic);
bool isSubclassOf(const Class* cls, const Class* ancestor);
bool isThrowableClass(const Class* cls);
// Whether a value of class `from` may be stored where `to` is expected (subclasses, and
// arrays whose elements are assignable).
bool isAssignable(const Class* from, const Class* to);
// Resolves every superName; false with `problem` naming the first class whose superclass
// is not defined (or that inherits from itself).
bool linkClasses(std::string& problem);

// Splits "(IIZ)I" into parameter and result descriptors; false when it is malformed.
bool parseDescriptor(const std::string& descriptor, std::vector<std::string>& parameters, std::string& result);

// "java/lang/String" → "java.lang.String"
std::string dottedName(const std::string& internalName);

// --- objects (call under the lock)

Object* newObject(Class* cls, ObjectKind kind = ObjectKind::Plain);
Object* newString(const std::u16string& text);
Object* newThrowable(Class* cls, const std::u16string* message, std::vector<std::string> trace);
Object* classMirror(Class* cls);
// Throwable.toString: the dotted class name, then ": " and the message when there is one.
std::u16string throwableText(const Object* throwable);
// The text Throwable.printStackTrace writes: the toString text, then one "\tat" line per
// frame, each line ending in CR LF (Java's line separator on Windows).
std::string stackTraceText(const Object* throwable);

// --- threads and references (call under the lock)

ThreadState* currentThread();
// Records a thread as attached. `registerThread` is for a thread the VM starts itself, which
// is counted from the moment it is created; `attachThread` attaches the calling thread.
ThreadState* registerThread(const std::string& name, bool daemon, DWORD id);
ThreadState* attachThread(const std::string& name, bool daemon);
std::string nextThreadName();
void detachThread(ThreadState* thread);
// Marks a local reference dead and drops it from its thread's list.
void forgetLocal(RefSlot* slot);
jobject newReference(ThreadState* thread, Object* target, RefKind kind);

}  // namespace standin
