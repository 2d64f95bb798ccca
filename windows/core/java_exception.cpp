#include "core/java_exception.h"

#include "core/capacities.h"
#include "core/log.h"

#include <jni.h>

#include <string>

namespace {

// An exception text longer than this is cut in the log.
constexpr jsize kExceptionTextLimit = static_cast<jsize>(kPathCapacity);

// Clears an exception raised by one of our own calls, so that the next JNI call is legal;
// returns true when there was one.
bool clearRaised(JNIEnv* env) {
    if (!env->ExceptionCheck()) return false;
    env->ExceptionClear();
    return true;
}

// Logs the text of `exception.toString()`. The method is taken from java.lang.Object, which
// every exception extends, so the call is legal JNI and still reaches the exception's own
// override. Nothing is logged when a step yields nothing (or itself throws).
void logExceptionText(JNIEnv* env, jthrowable exception) {
    jclass objectClass = env->FindClass("java/lang/Object");
    if (objectClass == nullptr) {
        clearRaised(env);
        return;
    }
    jmethodID toString = env->GetMethodID(objectClass, "toString", "()Ljava/lang/String;");
    jstring text = nullptr;
    if (toString != nullptr) text = static_cast<jstring>(env->CallObjectMethodA(exception, toString, nullptr));
    if (clearRaised(env)) text = nullptr;
    if (text != nullptr) {
        // The characters of a Java string are not terminated: the length says where they end.
        jsize length = env->GetStringLength(text);
        const jchar* chars = env->GetStringChars(text, nullptr);
        if (chars != nullptr) {
            std::wstring line;
            if (length > kExceptionTextLimit) length = kExceptionTextLimit;
            for (jsize i = 0; i < length; ++i) line.push_back(static_cast<wchar_t>(chars[i]));
            logError(L"%s", line.c_str());
            env->ReleaseStringChars(text, chars);
        }
        clearRaised(env);
        env->DeleteLocalRef(text);
    }
    env->DeleteLocalRef(objectClass);
}

}  // namespace

bool checkJavaException(JNIEnv* env, bool describe) {
    jthrowable exception = env->ExceptionOccurred();
    if (exception == nullptr) return true;
    logError(L"an exception occurred");
    // While an exception is pending JNI allows only a few calls (ExceptionClear among them,
    // FindClass and method calls not), so it is cleared before its text is asked for and
    // raised again for ExceptionDescribe, which prints the stack trace and clears it.
    env->ExceptionClear();
    logExceptionText(env, exception);
    if (describe && env->Throw(exception) == 0) env->ExceptionDescribe();
    env->ExceptionClear();
    env->DeleteLocalRef(exception);
    return false;
}
