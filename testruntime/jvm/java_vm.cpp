#include "java_vm.h"

#include "invocation.h"
#include "jni_env.h"
#include "jtext.h"
#include "runtime.h"
#include "transcript.h"
#include "world.h"

namespace standin {

namespace {

bool isAcceptedThreadVersion(jint version) { return version == JNI_VERSION_1_1 || isSupportedJniVersion(version); }

void recordThreadEvent(const char* kind, const char* function, jint result, const ThreadState* thread) {
    Record record(kind);
    record.add("function", function);
    record.addNumber("result", result);
    addThread(record, thread);
    if (thread != nullptr) record.addNumber("daemon", thread->daemon ? 1 : 0);
    writeTranscript(record);
}

std::vector<std::string> otherUserThreads(const ThreadState* self) {
    std::vector<std::string> names;
    for (const ThreadState* thread : vmState.threads)
        if (thread != self && !thread->daemon) names.push_back(thread->name);
    return names;
}

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ",") + name;
    return text;
}

// An exception still pending when the VM goes down is reported as an uncaught exception of
// the thread, as a VM does when a thread ends with one.
void reportUncaught(ThreadState* thread, Record& record) {
    if (thread->pending == nullptr) return;
    std::string text;
    {
        VmLock lock;
        text = "Exception in thread \"" + thread->name + "\" " + stackTraceText(thread->pending);
    }
    record.add("pendingException", thread->pending->cls->name);
    writeVmError(text);
    thread->pending = nullptr;
}

// Waits until the calling thread is the only non-daemon thread left.
void waitForUserThreads(const ThreadState* self) {
    for (;;) {
        {
            VmLock lock;
            if (otherUserThreads(self).empty()) return;
        }
        WaitForSingleObject(vmState.threadsChanged, INFINITE);
    }
}

void addLeftovers(Record& record, const ThreadState* self) {
    size_t globals = 0;
    for (const RefSlot* slot : vmState.slots)
        if (slot->live && slot->kind != RefKind::Local) ++globals;
    record.addNumber("liveGlobalRefs", static_cast<long long>(globals));
    record.addNumber("liveLocalRefs", static_cast<long long>(self->locals.size()));
    record.addNumber("unreleasedStrings", static_cast<long long>(vmState.lent.size()));
    std::vector<std::string> daemons;
    for (const ThreadState* thread : vmState.threads)
        if (thread != self) daemons.push_back(thread->name);
    record.add("daemonThreads", joined(daemons));
}

jint JNICALL destroyJavaVm(JavaVM*) {
    if (vmState.phase != VmPhase::Running) {
        recordThreadEvent("destroy-refused", "DestroyJavaVM", JNI_ERR, currentThread());
        return JNI_ERR;
    }
    ThreadState* self = nullptr;
    bool attachedHere = false;
    Record start("destroy-start");
    {
        VmLock lock;
        self = currentThread();
        // An unattached caller is attached first, as the JNI defines it.
        if (self == nullptr) {
            self = attachThread("DestroyJavaVM", false);
            attachedHere = true;
        }
        start.add("waitingFor", joined(otherUserThreads(self)));
    }
    start.addNumber("attachedHere", attachedHere ? 1 : 0);
    reportUncaught(self, start);
    addThread(start, self);
    writeTranscript(start);

    waitForUserThreads(self);

    Record end("destroy-end");
    {
        VmLock lock;
        addLeftovers(end, self);
        vmState.phase = VmPhase::Destroyed;
    }
    end.addNumber("result", JNI_OK);
    addThread(end, self);
    writeTranscript(end);
    return JNI_OK;
}

jint attach(void** penv, void* args, bool daemon, const char* function) {
    if (penv == nullptr) return JNI_EINVAL;
    *penv = nullptr;
    if (vmState.phase != VmPhase::Running) {
        recordThreadEvent("attach", function, JNI_ERR, nullptr);
        return JNI_ERR;
    }
    const auto* attachArgs = static_cast<const JavaVMAttachArgs*>(args);
    if (attachArgs != nullptr && !isAcceptedThreadVersion(attachArgs->version)) {
        recordThreadEvent("attach", function, JNI_EVERSION, nullptr);
        return JNI_EVERSION;
    }
    ThreadState* thread = nullptr;
    bool already = false;
    {
        VmLock lock;
        thread = currentThread();
        // A thread attached before keeps its environment and its daemon status.
        already = thread != nullptr;
        if (!already) {
            std::string name;
            std::u16string units;
            std::string problem;
            if (attachArgs != nullptr && attachArgs->name != nullptr &&
                fromModifiedUtf8(attachArgs->name, units, problem))
                name = exactUtf8(units);
            thread = attachThread(name.empty() ? nextThreadName() : name, daemon);
        }
    }
    *penv = environmentOf(thread);
    Record record("attach");
    record.add("function", function);
    record.addNumber("result", JNI_OK);
    record.addNumber("already", already ? 1 : 0);
    if (attachArgs != nullptr) record.addHex("version", static_cast<unsigned long>(attachArgs->version));
    addThread(record, thread);
    record.addNumber("daemon", thread->daemon ? 1 : 0);
    writeTranscript(record);
    return JNI_OK;
}

jint JNICALL attachCurrentThread(JavaVM*, void** penv, void* args) {
    return attach(penv, args, false, "AttachCurrentThread");
}

jint JNICALL attachCurrentThreadAsDaemon(JavaVM*, void** penv, void* args) {
    return attach(penv, args, true, "AttachCurrentThreadAsDaemon");
}

jint JNICALL detachCurrentThread(JavaVM*) {
    if (vmState.phase != VmPhase::Running) {
        recordThreadEvent("detach", "DetachCurrentThread", JNI_ERR, nullptr);
        return JNI_ERR;
    }
    ThreadState* thread = nullptr;
    jint result = JNI_OK;
    {
        VmLock lock;
        thread = currentThread();
        // A thread running Java methods cannot leave the VM from inside one of them.
        if (thread != nullptr && !thread->javaStack.empty()) result = JNI_ERR;
    }
    recordThreadEvent("detach", "DetachCurrentThread", result, thread);
    if (thread != nullptr && result == JNI_OK) {
        VmLock lock;
        detachThread(thread);
    }
    return result;
}

jint JNICALL getEnv(JavaVM*, void** penv, jint version) {
    if (penv == nullptr) return JNI_EINVAL;
    *penv = nullptr;
    jint result = JNI_OK;
    ThreadState* thread = nullptr;
    if (vmState.phase != VmPhase::Running) {
        result = JNI_EDETACHED;
    } else if (!isAcceptedThreadVersion(version)) {
        result = JNI_EVERSION;
    } else {
        VmLock lock;
        thread = currentThread();
        if (thread == nullptr)
            result = JNI_EDETACHED;
        else
            *penv = environmentOf(thread);
    }
    Record record("get-env");
    record.addHex("version", static_cast<unsigned long>(version));
    record.addNumber("result", result);
    addThread(record, thread);
    writeTranscript(record);
    return result;
}

JNIInvokeInterface_ buildTable() {
    JNIInvokeInterface_ table{};
    table.DestroyJavaVM = destroyJavaVm;
    table.AttachCurrentThread = attachCurrentThread;
    table.DetachCurrentThread = detachCurrentThread;
    table.GetEnv = getEnv;
    table.AttachCurrentThreadAsDaemon = attachCurrentThreadAsDaemon;
    return table;
}

}  // namespace

JavaVM* javaVm() {
    static const JNIInvokeInterface_ table = buildTable();
    vmState.vm.functions = &table;
    return &vmState.vm;
}

}  // namespace standin
