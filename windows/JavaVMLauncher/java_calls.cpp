#include "JavaVMLauncher/java_calls.h"

#include "config/config_store.h"
#include "core/capacities.h"
#include "core/java_exception.h"
#include "core/log.h"
#include "core/utf8.h"

#include <cstdio>
#include <cstdlib>

namespace {

constexpr size_t kSplashTextCapacity = kShortTextCapacity;

// JNI gives no way to go on when it cannot create the argument array or one of its strings
// (the JVM is out of memory): the launch cannot be completed, so the process stops here,
// naming what failed.
void assertCreated(const void* object, const char* what) {
    if (object != nullptr) return;
    logError(L"assertion failed: %S", what);
    fputs("Assertion failed: ", stderr);
    fputs(what, stderr);
    fputc('\n', stderr);
    fflush(stderr);
    abort();
}

// The UTF-16 units of a wide string; each wchar_t holds one unit on every platform the
// launcher text passes through.
std::vector<jchar> utf16Units(const std::wstring& text) {
    std::vector<jchar> units;
    units.reserve(text.size());
    for (wchar_t c : text) units.push_back(static_cast<jchar>(c));
    return units;
}

jstring newJavaString(JNIEnv* env, const std::wstring& text) {
    std::vector<jchar> units = utf16Units(text);
    return env->NewString(units.empty() ? nullptr : units.data(), static_cast<jsize>(units.size()));
}

// A failed lookup leaves the JVM's error pending; the launch steps that go on after such a
// failure must not make their next call with it still pending.
void clearPending(JNIEnv* env) {
    if (env->ExceptionCheck()) env->ExceptionClear();
}

jobjectArray makeArgumentArray(JNIEnv* env, const std::vector<std::wstring>& arguments) {
    jclass stringClass = env->FindClass("java/lang/String");
    jobjectArray array = env->NewObjectArray(static_cast<jsize>(arguments.size()), stringClass, nullptr);
    assertCreated(array, "paramArray");
    for (size_t i = 0; i < arguments.size(); ++i) {
        logLine(L"param %d: %s", static_cast<int>(i), arguments[i].c_str());
        jstring text = newJavaString(env, arguments[i]);
        assertCreated(text, "jstr");
        env->SetObjectArrayElement(array, static_cast<jsize>(i), text);
        // The array holds the string now; the local reference would only count against the
        // frame's capacity for long argument lists.
        env->DeleteLocalRef(text);
    }
    if (stringClass != nullptr) env->DeleteLocalRef(stringClass);
    return array;
}

}  // namespace

std::string launcherClassName(char generatorKind) {
    return generatorKind == 'i' ? "com/quillwork/runtime/launcher/WinLauncher" : "com/ravel/runtime/WinLauncher";
}

MainCallOutcome callStaticMain(JNIEnv* env, const std::string& className,
                               const std::function<std::vector<std::wstring>()>& buildArguments) {
    std::string jniName = className;
    for (char& c : jniName)
        if (c == '.') c = '/';
    logLine(L"main class: %S", jniName.c_str());
    jclass mainClass = env->FindClass(jniName.c_str());
    if (mainClass == nullptr) {
        logError(L"could not find main class");
        return MainCallOutcome::ClassNotFound;
    }
    jmethodID mainMethod = env->GetStaticMethodID(mainClass, "main", "([Ljava/lang/String;)V");
    if (mainMethod == nullptr) {
        logError(L"could not find main method");
        return MainCallOutcome::MethodNotFound;
    }

    std::vector<std::wstring> arguments = buildArguments();
    logLine(L"param count: %d", static_cast<int>(arguments.size()));
    jobjectArray array = makeArgumentArray(env, arguments);

    logLine(L"calling main");
    env->CallStaticVoidMethod(mainClass, mainMethod, array);
    logLine(L"main returned");
    bool returned = checkJavaException(env, true);
    env->DeleteLocalRef(array);
    env->DeleteLocalRef(mainClass);
    return returned ? MainCallOutcome::Returned : MainCallOutcome::Threw;
}

void setModuleNameProperty(JNIEnv* env, const std::wstring& launcherPath) {
    jclass systemClass = env->FindClass("java/lang/System");
    if (systemClass == nullptr) {
        logError(L"could not get system class");
        clearPending(env);
        return;
    }
    jmethodID setProperty =
        env->GetStaticMethodID(systemClass, "setProperty", "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;");
    if (setProperty == nullptr) {
        logError(L"could not get method for module name init");
        clearPending(env);
        env->DeleteLocalRef(systemClass);
        return;
    }
    jstring value = newJavaString(env, launcherPath);
    jstring name = value == nullptr ? nullptr : newJavaString(env, L"ravel.moduleName");
    if (value == nullptr || name == nullptr) {
        logError(L"could not create string for init module name");
        clearPending(env);
    } else {
        logLine(L"setting ravel.moduleName to %s", launcherPath.c_str());
        jobject previous = env->CallStaticObjectMethod(systemClass, setProperty, name, value);
        clearPending(env);
        if (previous != nullptr) env->DeleteLocalRef(previous);
    }
    if (name != nullptr) env->DeleteLocalRef(name);
    if (value != nullptr) env->DeleteLocalRef(value);
    env->DeleteLocalRef(systemClass);
}

bool callInitFromLauncher(JNIEnv* env, bool flag) {
    jclass common = env->FindClass("com/quillwork/runtime/installer/platform/win32/Common");
    if (common == nullptr) {
        logError(L"did not find com/quillwork/runtime/installer/platform/win32/Common");
        clearPending(env);
        return false;
    }
    bool called = false;
    jmethodID init = env->GetStaticMethodID(common, "initFromLauncher", "(Z)V");
    if (init != nullptr) {
        env->CallStaticVoidMethod(common, init, static_cast<jboolean>(flag ? JNI_TRUE : JNI_FALSE));
        // An exception from the helper's own initialisation is reported, not carried into
        // the next call.
        checkJavaException(env, false);
        called = true;
    } else {
        logError(L"did not find initMethod");
        clearPending(env);
    }
    env->DeleteLocalRef(common);
    return called;
}

void configureSplash(JNIEnv* env, const WidenSetting& widen) {
    jclass launcher = env->FindClass("com/ravel/runtime/WinLauncher");
    if (launcher == nullptr) {
        logError(L"could not find main class for splash properties");
        clearPending(env);
        return;
    }
    jmethodID init =
        env->GetStaticMethodID(launcher, "initAwtSplashConfig",
                               "(ZZLjava/lang/String;IILjava/lang/String;IILjava/lang/String;IILjava/lang/String;II)V");
    if (init == nullptr) {
        logError(L"could not find method for splash properties");
        clearPending(env);
        env->DeleteLocalRef(launcher);
        return;
    }
    jstring texts[4];
    const SettingId textIds[4] = {SettingId::SplashText1, SettingId::SplashText2, SettingId::SplashText3,
                                  SettingId::SplashText4};
    for (int i = 0; i < 4; ++i) {
        char text[kSplashTextCapacity];
        getSetting(textIds[i], text, sizeof text);
        texts[i] = env->NewStringUTF(modifiedUtf8(widen(text)).c_str());
    }
    env->CallStaticVoidMethod(
        launcher, init, JNI_TRUE, static_cast<jboolean>(getSettingInt(SettingId::SplashFlag) != 0), texts[0],
        getSettingInt(SettingId::SplashText1Value1), getSettingInt(SettingId::SplashText1Value2), texts[1],
        getSettingInt(SettingId::SplashText2Value1), getSettingInt(SettingId::SplashText2Value2), texts[2],
        getSettingInt(SettingId::SplashText3Value1), getSettingInt(SettingId::SplashText3Value2), texts[3],
        getSettingInt(SettingId::SplashText4Value1), getSettingInt(SettingId::SplashText4Value2));
    checkJavaException(env, false);
    for (jstring text : texts)
        if (text != nullptr) env->DeleteLocalRef(text);
    env->DeleteLocalRef(launcher);
}
