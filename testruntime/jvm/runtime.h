// Running Java methods of the stand-in world: built-in behaviour of java.lang methods and
// the actions a script gives its methods; pending exceptions; and the two ways the VM reports
// misuse: a "jni-violation" record where the JNI makes a call illegal, and an
// abort (after an "abort" record) where no sensible answer exists.
#pragma once

#include <string>
#include <vector>

#include "world.h"

namespace standin {

// Exit code of a process the stand-in aborts (as a C runtime abort does on a POSIX system:
// 128 + SIGABRT), chosen so that it differs from every exit code the launcher uses.
constexpr UINT kAbortExitCode = 134;

// Runs `method` on the calling thread (attached, as `thread`) and returns its result; an
// exception it throws is left pending on `thread`. An exception pending when the call
// starts is dropped (recorded as "exception-dropped"), as the JVM's Java-call entry does.
// Records the call and its end. Call it
// without holding the VM lock: a method may sleep or wait for input.
Value invokeMethod(ThreadState* thread, Method* method, Object* receiver, const std::vector<Value>& arguments,
                   const char* function);

// Makes a new exception of the named class pending on the thread and records it; `origin`
// names what threw (a JNI function, or the method whose action threw).
void throwNew(ThreadState* thread, const std::string& className, const std::u16string* message,
              const std::string& origin);
void setPending(ThreadState* thread, Object* throwable, const std::string& origin);

// Records a call the JNI does not allow; the VM carries on as a production
// VM would (and as its checking mode would not).
void recordViolation(ThreadState* thread, const char* function, const char* rule, const std::string& detail);

// Records why, writes the reason to standard error, runs the "abort" hook of the init args
// when there is one and ends the process with kAbortExitCode.
[[noreturn]] void abortVm(const char* kind, const char* function, const std::string& reason);

// Writes text where the VM writes its messages: through the "vfprintf" hook of the init
// args when there is one, else to the process's standard error.
void writeVmError(const std::string& text);

// The frames of the thread's Java stack, innermost first, as a new exception records them.
std::vector<std::string> javaTrace(const ThreadState* thread);

// The zero value of a descriptor's type ('V' for "V").
Value zeroValue(const std::string& type);

}  // namespace standin
