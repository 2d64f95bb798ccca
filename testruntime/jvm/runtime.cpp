#include "runtime.h"

#include <cstdarg>
#include <cstdio>

#include "jtext.h"
#include "transcript.h"

namespace standin {

namespace {

std::string frameName(const Method* method) { return dottedName(method->owner->name) + "." + method->name; }

void writeHandle(DWORD which, const std::string& bytes) {
    HANDLE handle = GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

jint callVfprintf(VfprintfHook hook, const char* format, ...) {
    va_list args;
    va_start(args, format);
    jint result = hook(stderr, format, args);
    va_end(args);
    return result;
}

[[noreturn]] void exitProcess(ThreadState* thread, long long code, const std::string& origin) {
    Record record("exit");
    record.addNumber("code", code);
    record.add("origin", origin);
    addThread(record, thread);
    writeTranscript(record);
    // The JNI's exit hook is how a VM tells its host that the process ends; a host's hook may
    // return, after which the process ends anyway.
    if (vmState.exitHook != nullptr) vmState.exitHook(static_cast<jint>(code));
    ExitProcess(static_cast<UINT>(code));
}

// --- built-in methods

Object* stringArgument(const std::vector<Value>& arguments, size_t index) {
    return index < arguments.size() ? arguments[index].ref : nullptr;
}

// System property names are checked as java.lang.System checks them.
bool checkPropertyName(ThreadState* thread, Object* name, const char* method) {
    std::string origin = std::string("java.lang.System.") + method;
    if (name == nullptr) {
        std::u16string text = u"key can't be null";
        throwNew(thread, "java/lang/NullPointerException", &text, origin);
        return false;
    }
    if (name->text.empty()) {
        std::u16string text = u"key can't be empty";
        throwNew(thread, "java/lang/IllegalArgumentException", &text, origin);
        return false;
    }
    return true;
}

Value stringValue(Object* string) {
    Value value;
    value.type = 'L';
    value.ref = string;
    return value;
}

Value setProperty(ThreadState* thread, const std::vector<Value>& arguments) {
    Object* name = stringArgument(arguments, 0);
    Object* text = stringArgument(arguments, 1);
    if (!checkPropertyName(thread, name, "setProperty")) return stringValue(nullptr);
    if (text == nullptr) {
        throwNew(thread, "java/lang/NullPointerException", nullptr, "java.lang.System.setProperty");
        return stringValue(nullptr);
    }
    std::string key = exactUtf8(name->text);
    Record record("property-set");
    record.add("name", key);
    record.add("value", exactUtf8(text->text));
    Object* previous = nullptr;
    {
        VmLock lock;
        auto found = vmState.properties.find(key);
        if (found != vmState.properties.end()) previous = newString(found->second);
        vmState.properties[key] = text->text;
    }
    if (previous != nullptr)
        record.add("previous", exactUtf8(previous->text));
    else
        record.add("previous.null", "1");
    addThread(record, thread);
    writeTranscript(record);
    return stringValue(previous);
}

Value getProperty(ThreadState* thread, const std::vector<Value>& arguments, bool clear) {
    Object* name = stringArgument(arguments, 0);
    if (!checkPropertyName(thread, name, clear ? "clearProperty" : "getProperty")) return stringValue(nullptr);
    VmLock lock;
    auto found = vmState.properties.find(exactUtf8(name->text));
    if (found == vmState.properties.end()) return stringValue(nullptr);
    Object* value = newString(found->second);
    if (clear) vmState.properties.erase(found);
    return stringValue(value);
}

Value intValue(char type, jlong number) {
    Value value;
    value.type = type;
    value.integer = number;
    return value;
}

Value runBuiltin(ThreadState* thread, const Method* method, Object* receiver, const std::vector<Value>& arguments) {
    switch (method->builtin) {
    case Builtin::ObjectToString: {
        char hash[16];
        snprintf(hash, sizeof hash, "@%lx", receiver->identity);
        VmLock lock;
        return stringValue(newString(unitsOf(dottedName(receiver->cls->name) + hash)));
    }
    case Builtin::ObjectHashCode:
        return intValue('I', static_cast<jint>(receiver->identity));
    case Builtin::ObjectEquals:
        return intValue('Z', receiver == stringArgument(arguments, 0));
    case Builtin::ObjectGetClass: {
        VmLock lock;
        return stringValue(classMirror(receiver->cls));
    }
    case Builtin::ClassGetName: {
        VmLock lock;
        const Class* cls = receiver->mirrorOf;
        return stringValue(newString(unitsOf(cls != nullptr ? dottedName(cls->name) : std::string())));
    }
    case Builtin::StringToString:
        return stringValue(receiver);
    case Builtin::StringLength:
        return intValue('I', static_cast<jint>(receiver->text.size()));
    case Builtin::ThrowableInitMessage:
        receiver->message = stringArgument(arguments, 0);
        return Value{};
    case Builtin::ThrowableToString: {
        VmLock lock;
        return stringValue(newString(throwableText(receiver)));
    }
    case Builtin::ThrowableGetMessage:
        return stringValue(receiver->message);
    case Builtin::ThrowablePrintStackTrace:
        writeVmError(stackTraceText(receiver));
        return Value{};
    case Builtin::SystemSetProperty:
        return setProperty(thread, arguments);
    case Builtin::SystemGetProperty:
        return getProperty(thread, arguments, false);
    case Builtin::SystemClearProperty:
        return getProperty(thread, arguments, true);
    case Builtin::SystemExit:
        exitProcess(thread, arguments.empty() ? 0 : arguments[0].integer, "java.lang.System.exit");
    default:
        return Value{};
    }
}

// --- script actions

void recordStdinLine(ThreadState* thread, const std::string& line, bool endOfInput) {
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char byte : line) {
        hex += kHex[byte >> 4];
        hex += kHex[byte & 0xF];
    }
    Record record("stdin-line");
    record.add("line", exactUtf8(utf8ToUnits(line)));
    record.add("hex", hex);
    record.addNumber("eof", endOfInput ? 1 : 0);
    addThread(record, thread);
    writeTranscript(record);
}

// Reads standard input byte by byte up to and including a line feed, as a Java reader would
// see the line arrive, and records exactly the bytes read.
void readLine(ThreadState* thread) {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    std::string line;
    bool endOfInput = true;
    char byte = 0;
    DWORD got = 0;
    while (input != nullptr && input != INVALID_HANDLE_VALUE && ReadFile(input, &byte, 1, &got, nullptr) && got == 1) {
        line += byte;
        if (byte == '\n') {
            endOfInput = false;
            break;
        }
    }
    recordStdinLine(thread, line, endOfInput);
}

struct StartedThread {
    ThreadState* state;
    long long milliseconds;
};

DWORD WINAPI scriptThreadMain(void* parameter) {
    auto* started = static_cast<StartedThread*>(parameter);
    ThreadState* thread = started->state;
    TlsSetValue(vmState.tlsIndex, thread);
    Sleep(static_cast<DWORD>(started->milliseconds));
    Record record("thread-done");
    record.add("name", thread->name);
    addThread(record, thread);
    writeTranscript(record);
    delete started;
    VmLock lock;
    detachThread(thread);
    return 0;
}

void startThread(ThreadState* thread, long long milliseconds, bool daemon) {
    auto* started = new StartedThread{nullptr, milliseconds};
    DWORD id = 0;
    HANDLE handle = CreateThread(nullptr, 0, scriptThreadMain, started, CREATE_SUSPENDED, &id);
    if (handle == nullptr) {
        DWORD error = GetLastError();
        delete started;
        std::u16string text = unitsOf("unable to create native thread: error " + std::to_string(error));
        throwNew(thread, "java/lang/OutOfMemoryError", &text, "java.lang.Thread.start");
        return;
    }
    {
        // Counted from here on, so a DestroyJavaVM that starts at once already waits for it.
        VmLock lock;
        started->state = registerThread(nextThreadName(), daemon, id);
    }
    Record record("thread-start");
    record.add("name", started->state->name);
    record.addNumber("id", static_cast<long long>(id));
    record.addNumber("daemon", daemon ? 1 : 0);
    record.addNumber("ms", milliseconds);
    addThread(record, thread);
    writeTranscript(record);
    ResumeThread(handle);
    CloseHandle(handle);
}

void recordProperty(ThreadState* thread, const std::string& name) {
    Record record("property");
    record.add("name", name);
    {
        VmLock lock;
        auto found = vmState.properties.find(name);
        if (found == vmState.properties.end())
            record.add("value.null", "1");
        else
            record.add("value", exactUtf8(found->second));
    }
    addThread(record, thread);
    writeTranscript(record);
}

// Runs one action; false when the method ends with it (return or throw).
bool runAction(ThreadState* thread, const Method* method, const Action& action, Value& result) {
    switch (action.kind) {
    case ActionKind::Return:
        if (action.literalIsText) {
            VmLock lock;
            result = stringValue(newString(action.literalText));
        } else if (action.hasValue) {
            result = action.literal;
        }
        return false;
    case ActionKind::Throw: {
        std::u16string message = utf8ToUnits(action.text);
        throwNew(thread, action.name, action.hasText ? &message : nullptr, frameName(method));
        return false;
    }
    case ActionKind::Exit:
        exitProcess(thread, action.number, frameName(method));
    case ActionKind::Sleep:
        Sleep(static_cast<DWORD>(action.number));
        return true;
    case ActionKind::ReadLine:
        readLine(thread);
        return true;
    case ActionKind::StartThread:
        startThread(thread, action.number, action.daemon);
        return true;
    case ActionKind::Property:
        recordProperty(thread, action.name);
        return true;
    case ActionKind::Print:
        writeHandle(STD_OUTPUT_HANDLE, action.text + "\r\n");
        return true;
    case ActionKind::PrintError:
        writeHandle(STD_ERROR_HANDLE, action.text + "\r\n");
        return true;
    case ActionKind::Note: {
        Record record("note");
        record.add("text", action.text);
        addThread(record, thread);
        writeTranscript(record);
        return true;
    }
    }
    return true;
}

void recordCall(ThreadState* thread, const Method* method, const Object* receiver, const std::vector<Value>& arguments,
                const char* function) {
    Record record("call");
    record.add("function", function);
    record.add("class", method->owner->name);
    record.add("method", method->name);
    record.add("signature", method->descriptor);
    record.addNumber("static", method->isStatic ? 1 : 0);
    if (receiver != nullptr) record.add("receiver", receiver->cls->name);
    record.addNumber("nArgs", static_cast<long long>(arguments.size()));
    {
        VmLock lock;
        for (size_t i = 0; i < arguments.size(); ++i) addValue(record, "arg" + std::to_string(i), arguments[i]);
    }
    addThread(record, thread);
    writeTranscript(record);
}

void recordReturn(ThreadState* thread, const Method* method, const Value& result) {
    Record record("return");
    record.add("class", method->owner->name);
    record.add("method", method->name);
    {
        VmLock lock;
        if (thread->pending != nullptr) {
            record.add("exception", thread->pending->cls->name);
        } else {
            addValue(record, "result", result);
        }
    }
    addThread(record, thread);
    writeTranscript(record);
}

}  // namespace

std::vector<std::string> javaTrace(const ThreadState* thread) {
    std::vector<std::string> trace;
    for (auto it = thread->javaStack.rbegin(); it != thread->javaStack.rend(); ++it) trace.push_back(frameName(*it));
    return trace;
}

Value zeroValue(const std::string& type) {
    Value value;
    value.type = type.empty() || type[0] == '[' ? 'L' : type[0];
    return value;
}

// Entering Java with an exception pending (a JNI violation, recorded by the caller) drops
// the exception, as the JVM's Java-call entry does: the method runs as if nothing were
// pending, and the earlier exception is gone, which makes the fault visible a second time
// (there is nothing left to describe afterwards).
void dropPending(ThreadState* thread) {
    if (thread->pending == nullptr) return;
    Record record("exception-dropped");
    record.add("class", thread->pending->cls->name);
    addThread(record, thread);
    writeTranscript(record);
    thread->pending = nullptr;
}

Value invokeMethod(ThreadState* thread, Method* method, Object* receiver, const std::vector<Value>& arguments,
                   const char* function) {
    dropPending(thread);
    recordCall(thread, method, receiver, arguments, function);
    thread->javaStack.push_back(method);
    Value result = zeroValue(method->returnType);
    if (method->builtin != Builtin::None) {
        Value value = runBuiltin(thread, method, receiver, arguments);
        if (value.type != 'V') result = value;
    } else {
        for (const Action& action : method->actions)
            if (!runAction(thread, method, action, result)) break;
    }
    thread->javaStack.pop_back();
    if (thread->pending != nullptr) result = zeroValue(method->returnType);
    recordReturn(thread, method, result);
    return result;
}

void setPending(ThreadState* thread, Object* throwable, const std::string& origin) {
    Record record("exception-thrown");
    {
        VmLock lock;
        thread->pending = throwable;
        record.add("class", throwable->cls->name);
        if (throwable->message != nullptr)
            record.add("message", exactUtf8(throwable->message->text));
        else
            record.add("message.null", "1");
        record.add("text", exactUtf8(throwableText(throwable)));
    }
    record.add("origin", origin);
    addThread(record, thread);
    writeTranscript(record);
}

void throwNew(ThreadState* thread, const std::string& className, const std::u16string* message,
              const std::string& origin) {
    Object* throwable = nullptr;
    {
        VmLock lock;
        Class* cls = findClassNamed(className);
        // The script's throw lines are checked against the world when it is read, and the
        // VM's own exception classes cannot be removed without breaking the link check, so
        // this only guards against a script that removed one the VM needs.
        if (cls == nullptr || !isThrowableClass(cls)) cls = vmState.classes["java/lang/Throwable"];
        throwable = newThrowable(cls, message, javaTrace(thread));
    }
    setPending(thread, throwable, origin);
}

void recordViolation(ThreadState* thread, const char* function, const char* rule, const std::string& detail) {
    Record record("jni-violation");
    record.add("function", function);
    record.add("rule", rule);
    record.add("detail", detail);
    addThread(record, thread);
    writeTranscript(record);
}

void abortVm(const char* kind, const char* function, const std::string& reason) {
    Record record(kind);
    record.add("function", function);
    record.add("text", reason);
    addThread(record, currentThread());
    writeTranscript(record);
    writeStandardError("standin jvm.dll: " + reason + "\r\n");
    if (vmState.abortHook != nullptr) vmState.abortHook();
    TerminateProcess(GetCurrentProcess(), kAbortExitCode);
    ExitProcess(kAbortExitCode);  // not reached; tells the compiler the function ends here
}

void writeVmError(const std::string& text) {
    if (vmState.vfprintfHook != nullptr) {
        callVfprintf(vmState.vfprintfHook, "%s", text.c_str());
        return;
    }
    writeHandle(STD_ERROR_HANDLE, text);
}

}  // namespace standin
