#include "world.h"

#include "jtext.h"

namespace standin {

VmState vmState;

namespace {

struct BuiltinMethod {
    const char* cls;
    const char* name;
    const char* descriptor;
    bool isStatic;
    Builtin builtin;
};

// Superclass pairs of the classes every world has, in an order where each superclass comes
// before its subclasses.
const char* const kBaseClasses[][2] = {
    {"java/lang/Object", ""},
    {"java/lang/Class", "java/lang/Object"},
    {"java/lang/String", "java/lang/Object"},
    {"java/lang/System", "java/lang/Object"},
    {"java/lang/Thread", "java/lang/Object"},
    {"java/lang/Throwable", "java/lang/Object"},
    {"java/lang/Exception", "java/lang/Throwable"},
    {"java/lang/RuntimeException", "java/lang/Exception"},
    {"java/lang/IllegalStateException", "java/lang/RuntimeException"},
    {"java/lang/IllegalArgumentException", "java/lang/RuntimeException"},
    {"java/lang/NullPointerException", "java/lang/RuntimeException"},
    {"java/lang/IndexOutOfBoundsException", "java/lang/RuntimeException"},
    {"java/lang/ArrayIndexOutOfBoundsException", "java/lang/IndexOutOfBoundsException"},
    {"java/lang/ArrayStoreException", "java/lang/RuntimeException"},
    {"java/lang/StringIndexOutOfBoundsException", "java/lang/IndexOutOfBoundsException"},
    {"java/lang/NegativeArraySizeException", "java/lang/RuntimeException"},
    {"java/lang/InstantiationException", "java/lang/Exception"},
    {"java/lang/Error", "java/lang/Throwable"},
    {"java/lang/LinkageError", "java/lang/Error"},
    {"java/lang/NoClassDefFoundError", "java/lang/LinkageError"},
    {"java/lang/IncompatibleClassChangeError", "java/lang/LinkageError"},
    {"java/lang/NoSuchMethodError", "java/lang/IncompatibleClassChangeError"},
    {"java/lang/VirtualMachineError", "java/lang/Error"},
    {"java/lang/OutOfMemoryError", "java/lang/VirtualMachineError"},
    // The launcher side: the classes whose methods the launcher calls, and the window
    // procedure class whose methods its native window border calls back.
    {"com/ravel/runtime/WinLauncher", "java/lang/Object"},
    {"com/quillwork/runtime/launcher/WinLauncher", "java/lang/Object"},
    {"com/quillwork/runtime/installer/platform/win32/Common", "java/lang/Object"},
    {"com/quillwork/runtime/flatlaf/FlatWindowsNativeWindowBorder", "java/lang/Object"},
    {"com/quillwork/runtime/flatlaf/FlatWindowsNativeWindowBorder$WndProc", "java/lang/Object"},
};

const BuiltinMethod kBuiltinMethods[] = {
    {"java/lang/Object", "<init>", "()V", false, Builtin::ObjectInit},
    {"java/lang/Object", "toString", "()Ljava/lang/String;", false, Builtin::ObjectToString},
    {"java/lang/Object", "hashCode", "()I", false, Builtin::ObjectHashCode},
    {"java/lang/Object", "equals", "(Ljava/lang/Object;)Z", false, Builtin::ObjectEquals},
    {"java/lang/Object", "getClass", "()Ljava/lang/Class;", false, Builtin::ObjectGetClass},
    {"java/lang/Class", "getName", "()Ljava/lang/String;", false, Builtin::ClassGetName},
    {"java/lang/String", "toString", "()Ljava/lang/String;", false, Builtin::StringToString},
    {"java/lang/String", "length", "()I", false, Builtin::StringLength},
    {"java/lang/Throwable", "<init>", "(Ljava/lang/String;)V", false, Builtin::ThrowableInitMessage},
    {"java/lang/Throwable", "toString", "()Ljava/lang/String;", false, Builtin::ThrowableToString},
    {"java/lang/Throwable", "getMessage", "()Ljava/lang/String;", false, Builtin::ThrowableGetMessage},
    {"java/lang/Throwable", "getLocalizedMessage", "()Ljava/lang/String;", false, Builtin::ThrowableGetMessage},
    {"java/lang/Throwable", "printStackTrace", "()V", false, Builtin::ThrowablePrintStackTrace},
    {"java/lang/System", "setProperty", "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;", true,
     Builtin::SystemSetProperty},
    {"java/lang/System", "getProperty", "(Ljava/lang/String;)Ljava/lang/String;", true, Builtin::SystemGetProperty},
    {"java/lang/System", "clearProperty", "(Ljava/lang/String;)Ljava/lang/String;", true, Builtin::SystemClearProperty},
    {"java/lang/System", "exit", "(I)V", true, Builtin::SystemExit},
};

struct ScriptedDefault {
    const char* cls;
    const char* name;
    const char* descriptor;
    bool isStatic;
    const char* returnLiteral;  // nullptr: no value
};

// Launcher-side methods that exist unless a script removes them; they return at once (the
// window procedure's hit test answers HTCLIENT, 1).
const ScriptedDefault kScriptedDefaults[] = {
    {"com/ravel/runtime/WinLauncher", "main", "([Ljava/lang/String;)V", true, nullptr},
    {"com/ravel/runtime/WinLauncher", "initAwtSplashConfig",
     "(ZZLjava/lang/String;IILjava/lang/String;IILjava/lang/String;IILjava/lang/String;II)V", true, nullptr},
    {"com/quillwork/runtime/launcher/WinLauncher", "main", "([Ljava/lang/String;)V", true, nullptr},
    {"com/quillwork/runtime/installer/platform/win32/Common", "initFromLauncher", "(Z)V", true, nullptr},
    {"com/quillwork/runtime/flatlaf/FlatWindowsNativeWindowBorder$WndProc", "onNcHitTest", "(IIZ)I", false, "1"},
    {"com/quillwork/runtime/flatlaf/FlatWindowsNativeWindowBorder$WndProc", "isFullscreen", "()Z", false, "0"},
    {"com/quillwork/runtime/flatlaf/FlatWindowsNativeWindowBorder$WndProc", "fireStateChangedLaterOnce", "()V", false,
     nullptr},
};

bool parseOneType(const std::string& text, size_t& position, std::string& type) {
    size_t start = position;
    while (position < text.size() && text[position] == '[') ++position;
    if (position >= text.size()) return false;
    char letter = text[position];
    if (letter == 'L') {
        size_t end = text.find(';', position);
        if (end == std::string::npos || end == position + 1) return false;
        position = end + 1;
    } else if (std::string("ZBCSIJFD").find(letter) != std::string::npos) {
        ++position;
    } else {
        return false;
    }
    type = text.substr(start, position - start);
    return true;
}

Class* makeArrayClass(const std::string& name) {
    std::string elementName;
    if (name.size() > 3 && name[1] == 'L' && name.back() == ';') {
        elementName = name.substr(2, name.size() - 3);
    } else if (name.size() > 1 && name[1] == '[') {
        elementName = name.substr(1);
    } else if (name.size() == 2 && std::string("ZBCSIJFD").find(name[1]) != std::string::npos) {
        elementName.clear();  // primitive arrays have no element class
    } else {
        return nullptr;
    }
    Class* element = nullptr;
    if (!elementName.empty()) {
        element = findClassNamed(elementName);
        if (element == nullptr) return nullptr;
    }
    Class* cls = defineClass(name, "java/lang/Object");
    cls->super = vmState.classes["java/lang/Object"];
    cls->element = element;
    return cls;
}

}  // namespace

void installDefaultClasses() {
    for (const auto& pair : kBaseClasses) defineClass(pair[0], pair[1]);
    for (const BuiltinMethod& entry : kBuiltinMethods) {
        Method* method = addMethod(vmState.classes[entry.cls], entry.name, entry.descriptor, entry.isStatic);
        method->builtin = entry.builtin;
    }
    for (const ScriptedDefault& entry : kScriptedDefaults) {
        Method* method = addMethod(vmState.classes[entry.cls], entry.name, entry.descriptor, entry.isStatic);
        Action action;
        action.kind = ActionKind::Return;
        if (entry.returnLiteral != nullptr) {
            action.hasValue = true;
            action.literal.type = method->returnType[0];
            action.literal.integer = entry.returnLiteral[0] - '0';
        }
        method->actions.push_back(action);
    }
}

Class* defineClass(const std::string& name, const std::string& superName) {
    Class*& slot = vmState.classes[name];
    if (slot == nullptr) {
        slot = new Class;
        slot->name = name;
    }
    slot->superName = superName;
    return slot;
}

Class* findClassNamed(const std::string& name) {
    auto found = vmState.classes.find(name);
    if (found != vmState.classes.end()) return found->second;
    if (!name.empty() && name[0] == '[') return makeArrayClass(name);
    return nullptr;
}

Method* declaredMethod(Class* cls, const std::string& name, const std::string& descriptor) {
    for (Method* method : cls->methods)
        if (!method->removed && method->name == name && method->descriptor == descriptor) return method;
    return nullptr;
}

Method* addMethod(Class* cls, const std::string& name, const std::string& descriptor, bool isStatic) {
    Method* existing = declaredMethod(cls, name, descriptor);
    if (existing != nullptr) existing->removed = true;
    auto* method = new Method;
    method->owner = cls;
    method->name = name;
    method->descriptor = descriptor;
    method->isStatic = isStatic;
    parseDescriptor(descriptor, method->parameters, method->returnType);
    cls->methods.push_back(method);
    vmState.methodIds.insert(method);
    return method;
}

Method* lookUpMethod(Class* cls, const std::string& name, const std::string& descriptor, bool isStatic) {
    for (Class* current = cls; current != nullptr; current = current->super) {
        Method* method = declaredMethod(current, name, descriptor);
        if (method != nullptr) return method->isStatic == isStatic ? method : nullptr;
    }
    return nullptr;
}

bool isSubclassOf(const Class* cls, const Class* ancestor) {
    for (const Class* current = cls; current != nullptr; current = current->super)
        if (current == ancestor) return true;
    return false;
}

bool isThrowableClass(const Class* cls) {
    auto found = vmState.classes.find("java/lang/Throwable");
    return found != vmState.classes.end() && isSubclassOf(cls, found->second);
}

bool isAssignable(const Class* from, const Class* to) {
    if (isSubclassOf(from, to) || to->name == "java/lang/Object") return true;
    return from->element != nullptr && to->element != nullptr && isAssignable(from->element, to->element);
}

bool linkClasses(std::string& problem) {
    for (auto& entry : vmState.classes) {
        Class* cls = entry.second;
        if (cls->superName.empty()) {
            cls->super = nullptr;
            continue;
        }
        auto found = vmState.classes.find(cls->superName);
        if (found == vmState.classes.end()) {
            problem = "class " + cls->name + " extends " + cls->superName + ", which is not defined";
            return false;
        }
        cls->super = found->second;
    }
    for (auto& entry : vmState.classes) {
        size_t steps = 0;
        for (Class* current = entry.second; current != nullptr; current = current->super) {
            if (++steps > vmState.classes.size()) {
                problem = "class " + entry.first + " inherits from itself";
                return false;
            }
        }
    }
    return true;
}

bool parseDescriptor(const std::string& descriptor, std::vector<std::string>& parameters, std::string& result) {
    parameters.clear();
    result.clear();
    if (descriptor.empty() || descriptor[0] != '(') return false;
    size_t position = 1;
    while (position < descriptor.size() && descriptor[position] != ')') {
        std::string type;
        if (!parseOneType(descriptor, position, type)) return false;
        parameters.push_back(type);
    }
    if (position >= descriptor.size()) return false;
    ++position;
    if (position + 1 == descriptor.size() && descriptor[position] == 'V') {
        result = "V";
        return true;
    }
    return parseOneType(descriptor, position, result) && position == descriptor.size();
}

std::string dottedName(const std::string& internalName) {
    std::string dotted = internalName;
    for (char& c : dotted)
        if (c == '/') c = '.';
    return dotted;
}

Object* newObject(Class* cls, ObjectKind kind) {
    auto* object = new Object;
    object->cls = cls;
    object->kind = kind;
    // Spread like real identity hashes, so two objects never print alike by accident.
    object->identity = (vmState.nextIdentity++ * 2654435761UL) & 0x7FFFFFFF;
    return object;
}

Object* newString(const std::u16string& text) {
    Object* string = newObject(vmState.classes["java/lang/String"], ObjectKind::String);
    string->text = text;
    return string;
}

Object* newThrowable(Class* cls, const std::u16string* message, std::vector<std::string> trace) {
    Object* throwable = newObject(cls, ObjectKind::Throwable);
    if (message != nullptr) throwable->message = newString(*message);
    throwable->trace = std::move(trace);
    return throwable;
}

Object* classMirror(Class* cls) {
    if (cls->mirror == nullptr) {
        cls->mirror = newObject(vmState.classes["java/lang/Class"], ObjectKind::ClassMirror);
        cls->mirror->mirrorOf = cls;
    }
    return cls->mirror;
}

std::u16string throwableText(const Object* throwable) {
    std::u16string text = unitsOf(dottedName(throwable->cls->name));
    if (throwable->message != nullptr) text += u": " + throwable->message->text;
    return text;
}

std::string stackTraceText(const Object* throwable) {
    std::string text = exactUtf8(throwableText(throwable)) + "\r\n";
    for (const std::string& frame : throwable->trace) text += "\tat " + frame + "(Unknown Source)\r\n";
    return text;
}

ThreadState* currentThread() {
    if (vmState.tlsIndex == TLS_OUT_OF_INDEXES) return nullptr;
    return static_cast<ThreadState*>(TlsGetValue(vmState.tlsIndex));
}

ThreadState* registerThread(const std::string& name, bool daemon, DWORD id) {
    auto* thread = new ThreadState;
    thread->id = id;
    thread->name = name;
    thread->daemon = daemon;
    thread->block.thread = thread;
    thread->block.magic = kEnvMagic;
    vmState.threads.push_back(thread);
    return thread;
}

ThreadState* attachThread(const std::string& name, bool daemon) {
    ThreadState* thread = registerThread(name, daemon, GetCurrentThreadId());
    TlsSetValue(vmState.tlsIndex, thread);
    return thread;
}

std::string nextThreadName() { return "Thread-" + std::to_string(vmState.nextThreadNumber++); }

void detachThread(ThreadState* thread) {
    // The thread's local references die with it; their slots stay known as dead ones.
    for (RefSlot* slot : thread->locals) slot->live = false;
    thread->locals.clear();
    thread->attached = false;
    for (size_t i = 0; i < vmState.threads.size(); ++i) {
        if (vmState.threads[i] == thread) {
            vmState.threads.erase(vmState.threads.begin() + static_cast<long>(i));
            break;
        }
    }
    if (currentThread() == thread) TlsSetValue(vmState.tlsIndex, nullptr);
    if (vmState.threadsChanged != nullptr) SetEvent(vmState.threadsChanged);
}

void forgetLocal(RefSlot* slot) {
    slot->live = false;
    ThreadState* owner = slot->owner;
    if (owner == nullptr) return;
    for (size_t i = owner->locals.size(); i-- > 0;) {
        if (owner->locals[i] == slot) {
            owner->locals.erase(owner->locals.begin() + static_cast<long>(i));
            break;
        }
    }
}

jobject newReference(ThreadState* thread, Object* target, RefKind kind) {
    if (target == nullptr) return nullptr;
    auto* slot = new RefSlot;
    slot->target = target;
    slot->kind = kind;
    slot->owner = kind == RefKind::Local ? thread : nullptr;
    slot->frame = kind == RefKind::Local && thread != nullptr ? thread->frameDepth : 0;
    vmState.slots.insert(slot);
    if (kind == RefKind::Local && thread != nullptr) thread->locals.push_back(slot);
    return reinterpret_cast<jobject>(slot);
}

}  // namespace standin
