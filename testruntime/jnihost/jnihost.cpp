// jnihost.exe: test-only host that creates a VM through a jvm.dll the way the launcher does
// and drives its JNI functions, so that the stand-in VM is checked on its own. Every mode
// prints key=value lines (values escaped like the record file) on standard output.
//
//   jnihost launch <jvm.dll> [--class C] [--stack BYTES] [--args FILE] [--version V]
//                  [--ignore 0|1] [--keep] [--preload DLL]... -- [option ...]
//       Loads each --preload library (a benchmark loads what a real jvm.dll pulls in and
//       the stand-in does not, user32.dll for one), then the library, starts a thread
//       (with a stack reservation of BYTES when given, as the launcher sizes its JVM
//       thread), and on it: JNI_CreateJavaVM with the options
//       (ANSI code page), FindClass(C) (default com/ravel/runtime/WinLauncher), the static
//       main, a String[] made with NewString from the arguments in FILE (UTF-8, each
//       argument ended by a NUL byte), the call, then the exception check (its text through
//       java.lang.Object's toString, then ExceptionDescribe), then DestroyJavaVM unless
//       --keep. Keys: create, class, main, mainMs, exception, destroy, destroyMs,
//       hostMainThread, vmThread, and preloadError (the system error) when a --preload
//       library cannot be loaded.
//   jnihost lookups <jvm.dll> <FILE> -- [option ...]
//       Creates the VM and performs one lookup per line of FILE: "class NAME",
//       "static CLASS NAME SIGNATURE" or "method CLASS NAME SIGNATURE". Keys per line n:
//       lookup<n> (found/missing) and lookup<n>.exception (the pending exception's text).
//   jnihost check <jvm.dll> <NAME> -- [option ...]
//       Creates the VM and runs one named exercise of the JNI functions (see `kChecks`).
//   jnihost jli <jli.dll> [--disable] [argument ...]
//       Loads the library and resolves its three functions as the launcher does, calls
//       JLI_InitArgProcessing(true, --disable given) and JLI_PreprocessArg(argument, true)
//       for each argument (ANSI code page), and releases every result with JLI_MemFree,
//       array first. Keys per argument n: arg<n> (null or list), arg<n>.count and
//       arg<n>[i] (UTF-8).

#include <jni.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "jtext.h"
#include "standin.h"

namespace {

void say(const std::string& key, const std::string& value) {
    std::string line = key + "=" + standin::escapeField(value) + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

void sayNumber(const std::string& key, long long value) { say(key, std::to_string(value)); }

std::string toCodePage(const wchar_t* text, UINT codePage) {
    int size = WideCharToMultiByte(codePage, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return std::string();
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(codePage, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.resize(static_cast<size_t>(size - 1));
    return out;
}

using CreateJavaVm = jint(JNICALL*)(JavaVM**, void**, void*);

// What a mode needs to create the VM.
struct Host {
    std::wstring library;
    std::vector<std::string> options;  // ANSI, as the launcher hands them over
    jint version = JNI_VERSION_1_2;
    bool ignoreUnrecognized = true;
    CreateJavaVm create = nullptr;
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
};

bool loadLibrary(Host& host) {
    HMODULE module = LoadLibraryW(host.library.c_str());
    if (module == nullptr) {
        sayNumber("loadError", GetLastError());
        return false;
    }
    host.create = reinterpret_cast<CreateJavaVm>(reinterpret_cast<void*>(GetProcAddress(module, "JNI_CreateJavaVM")));
    return host.create != nullptr;
}

bool createVm(Host& host) {
    std::vector<JavaVMOption> options(host.options.size());
    for (size_t i = 0; i < host.options.size(); ++i) {
        options[i].optionString = host.options[i].data();
        options[i].extraInfo = nullptr;
    }
    JavaVMInitArgs args = {};
    args.version = host.version;
    args.nOptions = static_cast<jint>(options.size());
    args.options = options.empty() ? nullptr : options.data();
    args.ignoreUnrecognized = host.ignoreUnrecognized ? JNI_TRUE : JNI_FALSE;
    void* env = nullptr;
    jint result = host.create(&host.vm, &env, &args);
    host.env = static_cast<JNIEnv*>(env);
    sayNumber("create", result);
    return result == JNI_OK;
}

// Exact UTF-8 of a Java string, through GetStringChars.
std::string javaText(JNIEnv* env, jstring string) {
    if (string == nullptr) return "<null>";
    const jchar* chars = env->GetStringChars(string, nullptr);
    jsize length = env->GetStringLength(string);
    std::string text =
        standin::exactUtf8(std::u16string(reinterpret_cast<const char16_t*>(chars), static_cast<size_t>(length)));
    env->ReleaseStringChars(string, chars);
    return text;
}

// The exception check in an order the JNI allows: take the exception, clear it, ask it for
// its text through java.lang.Object's toString (which dispatches to the exception's own),
// then throw it again for ExceptionDescribe, which prints and clears it.
bool reportException(JNIEnv* env, const std::string& key) {
    jthrowable exception = env->ExceptionOccurred();
    if (exception == nullptr) return false;
    env->ExceptionClear();
    jclass object = env->FindClass("java/lang/Object");
    jmethodID toString = env->GetMethodID(object, "toString", "()Ljava/lang/String;");
    auto text = static_cast<jstring>(env->CallObjectMethod(exception, toString));
    say(key, javaText(env, text));
    env->DeleteLocalRef(text);
    env->DeleteLocalRef(object);
    env->Throw(exception);
    env->ExceptionDescribe();
    env->DeleteLocalRef(exception);
    return true;
}

// --- launch

struct Launch {
    Host host;
    std::string className = "com/ravel/runtime/WinLauncher";
    std::vector<std::u16string> arguments;
    SIZE_T stack = 0;
    bool destroy = true;
    std::vector<std::wstring> preload;
};

bool readArguments(const wchar_t* path, std::vector<std::u16string>& arguments) {
    std::string bytes;
    if (!standin::readWholeFile(path, bytes, 1 << 20)) return false;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\0', start);
        if (end == std::string::npos) end = bytes.size();
        arguments.push_back(standin::utf8ToUnits(std::string_view(bytes).substr(start, end - start)));
        start = end + 1;
    }
    return true;
}

jobjectArray makeArguments(JNIEnv* env, const std::vector<std::u16string>& arguments) {
    jclass string = env->FindClass("java/lang/String");
    jobjectArray array = env->NewObjectArray(static_cast<jsize>(arguments.size()), string, nullptr);
    for (size_t i = 0; i < arguments.size(); ++i) {
        jstring text = env->NewString(reinterpret_cast<const jchar*>(arguments[i].data()),
                                      static_cast<jsize>(arguments[i].size()));
        env->SetObjectArrayElement(array, static_cast<jsize>(i), text);
        env->DeleteLocalRef(text);
    }
    env->DeleteLocalRef(string);
    return array;
}

void runMain(Launch& launch) {
    JNIEnv* env = launch.host.env;
    jclass cls = env->FindClass(launch.className.c_str());
    say("class", cls != nullptr ? "found" : "missing");
    if (cls == nullptr) {
        reportException(env, "exception");
        return;
    }
    jmethodID main = env->GetStaticMethodID(cls, "main", "([Ljava/lang/String;)V");
    say("main", main != nullptr ? "found" : "missing");
    if (main == nullptr) {
        reportException(env, "exception");
        return;
    }
    jobjectArray array = makeArguments(env, launch.arguments);
    ULONGLONG started = GetTickCount64();
    env->CallStaticVoidMethod(cls, main, array);
    sayNumber("mainMs", static_cast<long long>(GetTickCount64() - started));
    if (!reportException(env, "exception")) say("exception", "");
    env->DeleteLocalRef(array);
    env->DeleteLocalRef(cls);
}

DWORD WINAPI launchThread(void* parameter) {
    auto& launch = *static_cast<Launch*>(parameter);
    sayNumber("vmThread", GetCurrentThreadId());
    if (!createVm(launch.host)) return 1;
    runMain(launch);
    if (launch.destroy) {
        ULONGLONG started = GetTickCount64();
        sayNumber("destroy", launch.host.vm->DestroyJavaVM());
        sayNumber("destroyMs", static_cast<long long>(GetTickCount64() - started));
    }
    return 0;
}

int launchMode(int argc, wchar_t** argv) {
    Launch launch;
    launch.host.library = argv[2];
    int i = 3;
    for (; i < argc && wcscmp(argv[i], L"--") != 0; ++i) {
        std::wstring flag = argv[i];
        if (flag == L"--keep") {
            launch.destroy = false;
            continue;
        }
        if (i + 1 >= argc) return 2;
        const wchar_t* value = argv[++i];
        if (flag == L"--class")
            launch.className = toCodePage(value, CP_UTF8);
        else if (flag == L"--stack")
            launch.stack = static_cast<SIZE_T>(wcstoull(value, nullptr, 0));
        else if (flag == L"--version")
            launch.host.version = static_cast<jint>(wcstoul(value, nullptr, 0));
        else if (flag == L"--ignore")
            launch.host.ignoreUnrecognized = wcstoul(value, nullptr, 10) != 0;
        else if (flag == L"--args" && !readArguments(value, launch.arguments))
            return 2;
        else if (flag == L"--preload")
            launch.preload.push_back(value);
    }
    for (++i; i < argc; ++i) launch.host.options.push_back(toCodePage(argv[i], CP_ACP));
    sayNumber("hostMainThread", GetCurrentThreadId());
    for (const std::wstring& library : launch.preload) {
        if (LoadLibraryW(library.c_str()) != nullptr) continue;
        sayNumber("preloadError", GetLastError());
        return 2;
    }
    // The library is loaded before the thread is made, as the launcher does.
    if (!loadLibrary(launch.host)) return 2;
    DWORD flags = launch.stack != 0 ? STACK_SIZE_PARAM_IS_A_RESERVATION : 0;
    HANDLE thread = CreateThread(nullptr, launch.stack, launchThread, &launch, flags, nullptr);
    if (thread == nullptr) return 2;
    WaitForSingleObject(thread, INFINITE);
    DWORD code = 0;
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    return static_cast<int>(code);
}

// --- shared start of the other modes

bool startHost(Host& host, int argc, wchar_t** argv, int firstOption) {
    host.library = argv[2];
    for (int i = firstOption; i < argc; ++i)
        if (wcscmp(argv[i], L"--") != 0) host.options.push_back(toCodePage(argv[i], CP_ACP));
    return loadLibrary(host) && createVm(host);
}

std::vector<std::string> splitWords(const std::string& line) {
    std::vector<std::string> words;
    size_t start = 0;
    while (start < line.size()) {
        size_t end = line.find(' ', start);
        if (end == std::string::npos) end = line.size();
        if (end > start) words.push_back(line.substr(start, end - start));
        start = end + 1;
    }
    return words;
}

bool lookUp(JNIEnv* env, const std::vector<std::string>& words) {
    if (words.size() == 2 && words[0] == "class") {
        jclass cls = env->FindClass(words[1].c_str());
        env->DeleteLocalRef(cls);
        return cls != nullptr;
    }
    if (words.size() != 4) return false;
    jclass cls = env->FindClass(words[1].c_str());
    if (cls == nullptr) return false;
    jmethodID method = words[0] == "static" ? env->GetStaticMethodID(cls, words[2].c_str(), words[3].c_str())
                                            : env->GetMethodID(cls, words[2].c_str(), words[3].c_str());
    env->DeleteLocalRef(cls);
    return method != nullptr;
}

int lookupsMode(int argc, wchar_t** argv) {
    Host host;
    std::string text;
    if (!standin::readWholeFile(argv[3], text, 1 << 20) || !startHost(host, argc, argv, 4)) return 2;
    int n = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        std::string key = "lookup" + std::to_string(n++);
        say(key, lookUp(host.env, splitWords(line)) ? "found" : "missing");
        if (!reportException(host.env, key + ".exception")) say(key + ".exception", "");
    }
    sayNumber("destroy", host.vm->DestroyJavaVM());
    return 0;
}

// --- named checks

// Strings in both encodings: modified UTF-8 with an encoded NUL and a surrogate pair as two
// three-byte sequences, the UTF-16 and modified UTF-8 views of one string, regions, and a
// string in standard four-byte UTF-8 (not valid modified UTF-8).
void checkStrings(JNIEnv* env) {
    jstring modified = env->NewStringUTF(
        "a\xC0\x80"
        "b\xED\xA0\xBD\xED\xB8\x80");
    say("modifiedLength", std::to_string(env->GetStringLength(modified)));
    say("modifiedText", javaText(env, modified));
    const char16_t units[] = {u'x', 0xD800, u'\u00e9', 0};
    jstring fromUnits = env->NewString(reinterpret_cast<const jchar*>(units), 3);
    const char* utf = env->GetStringUTFChars(fromUnits, nullptr);
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (const char* p = utf; *p != 0; ++p) {
        hex += kHex[static_cast<unsigned char>(*p) >> 4];
        hex += kHex[static_cast<unsigned char>(*p) & 0xF];
    }
    env->ReleaseStringUTFChars(fromUnits, utf);
    say("utfBytes", hex);
    sayNumber("utfLength", env->GetStringUTFLength(fromUnits));
    jchar region[2] = {};
    env->GetStringRegion(fromUnits, 1, 2, region);
    say("region", std::to_string(region[0]) + "," + std::to_string(region[1]));
    env->GetStringRegion(fromUnits, 2, 5, region);
    if (!reportException(env, "regionException")) say("regionException", "");
    jstring fourByte = env->NewStringUTF("\xF0\x9F\x98\x80");
    say("fourByteText", javaText(env, fourByte));
}

// Calls the JNI forbids while an exception is pending (FindClass, GetMethodID and a call,
// as an exception check that asks for the text before clearing does), then the ones it
// allows.
void checkPending(JNIEnv* env) {
    jclass state = env->FindClass("java/lang/IllegalStateException");
    env->ThrowNew(state, "pending text");
    jthrowable exception = env->ExceptionOccurred();
    jclass string = env->FindClass("java/lang/String");
    jmethodID toString = env->GetMethodID(string, "toString", "()Ljava/lang/String;");
    auto text = static_cast<jstring>(env->CallObjectMethod(exception, toString));
    const jchar* chars = env->GetStringChars(text, nullptr);
    say("text", standin::exactUtf8(std::u16string(reinterpret_cast<const char16_t*>(chars),
                                                  static_cast<size_t>(env->GetStringLength(text)))));
    env->ReleaseStringChars(text, chars);
    env->ExceptionDescribe();
    say("afterDescribe", env->ExceptionCheck() ? "pending" : "clear");
    env->DeleteLocalRef(exception);
}

// The calls the window border makes on a window procedure object, through a global
// reference, and the environment it finds again through GetJavaVM and GetEnv.
void checkObjects(JNIEnv* env) {
    jclass wndProc = env->FindClass("com/quillwork/runtime/flatlaf/FlatWindowsNativeWindowBorder$WndProc");
    jmethodID constructor = env->GetMethodID(wndProc, "<init>", "()V");
    jobject local = env->NewObject(wndProc, constructor);
    jobject global = env->NewGlobalRef(local);
    env->DeleteLocalRef(local);
    jclass cls = env->GetObjectClass(global);
    say("sameClass", env->IsSameObject(cls, wndProc) ? "1" : "0");
    jmethodID hitTest = env->GetMethodID(cls, "onNcHitTest", "(IIZ)I");
    jmethodID fullscreen = env->GetMethodID(cls, "isFullscreen", "()Z");
    jmethodID changed = env->GetMethodID(cls, "fireStateChangedLaterOnce", "()V");
    sayNumber("hitTest", env->CallIntMethod(global, hitTest, 10, -20, JNI_TRUE));
    sayNumber("fullscreen", env->CallBooleanMethod(global, fullscreen));
    env->CallVoidMethod(global, changed);
    JavaVM* vm = nullptr;
    env->GetJavaVM(&vm);
    void* again = nullptr;
    sayNumber("getEnv", vm->GetEnv(&again, JNI_VERSION_1_2));
    say("sameEnv", again == env ? "1" : "0");
    sayNumber("refType", env->GetObjectRefType(global));
    env->DeleteGlobalRef(global);
    env->DeleteGlobalRef(global);  // deleted twice: a violation the VM survives
    sayNumber("refTypeAfterDelete", env->GetObjectRefType(global));
}

struct AttachResult {
    JavaVM* vm;
    jint attach = 0, getEnv = 0, detach = 0, getEnvAfter = 0, daemon = 0;
    bool sameEnv = false;
};

DWORD WINAPI attachingThread(void* parameter) {
    auto* result = static_cast<AttachResult*>(parameter);
    void* env = nullptr;
    result->getEnv = result->vm->GetEnv(&env, JNI_VERSION_1_2);
    JavaVMAttachArgs args = {JNI_VERSION_1_2, const_cast<char*>("helper"), nullptr};
    result->attach = result->vm->AttachCurrentThread(&env, &args);
    void* again = nullptr;
    result->vm->GetEnv(&again, JNI_VERSION_1_2);
    result->sameEnv = env == again && env != nullptr;
    result->detach = result->vm->DetachCurrentThread();
    result->getEnvAfter = result->vm->GetEnv(&again, JNI_VERSION_1_2);
    result->daemon = result->vm->AttachCurrentThreadAsDaemon(&env, nullptr);
    return 0;
}

// A second thread: not attached at first, attached under a name, detached again, and then
// attached as a daemon and left so (DestroyJavaVM does not wait for daemons).
void checkThreads(JNIEnv* env) {
    AttachResult result{};
    env->GetJavaVM(&result.vm);
    HANDLE thread = CreateThread(nullptr, 0, attachingThread, &result, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    sayNumber("getEnvBefore", result.getEnv);
    sayNumber("attach", result.attach);
    say("sameEnv", result.sameEnv ? "1" : "0");
    sayNumber("detach", result.detach);
    sayNumber("getEnvAfter", result.getEnvAfter);
    sayNumber("attachDaemon", result.daemon);
    sayNumber("version", env->GetVersion());
}

// The splash call as the launcher makes it, with texts from NewStringUTF.
void checkSplash(JNIEnv* env) {
    jclass cls = env->FindClass("com/ravel/runtime/WinLauncher");
    jmethodID splash =
        env->GetStaticMethodID(cls, "initAwtSplashConfig",
                               "(ZZLjava/lang/String;IILjava/lang/String;IILjava/lang/String;IILjava/lang/String;II)V");
    jstring texts[4] = {env->NewStringUTF("one"), env->NewStringUTF(""), env->NewStringUTF("caf\xC3\xA9"),
                        env->NewStringUTF("four")};
    env->CallStaticVoidMethod(cls, splash, JNI_TRUE, JNI_FALSE, texts[0], 1, 2, texts[1], 3, 4, texts[2], -5, 6,
                              texts[3], 7, 8);
    for (jstring text : texts) env->DeleteLocalRef(text);
    say("called", env->ExceptionCheck() ? "exception" : "ok");
}

// System.setProperty twice, as the launcher's module-name step does.
void checkProperty(JNIEnv* env) {
    jclass system = env->FindClass("java/lang/System");
    jmethodID set =
        env->GetStaticMethodID(system, "setProperty", "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;");
    const char16_t path[] = u"C:\\Программы\\app.exe";
    jstring name = env->NewStringUTF("ravel.moduleName");
    jstring value = env->NewString(reinterpret_cast<const jchar*>(path),
                                   static_cast<jsize>(std::char_traits<char16_t>::length(path)));
    auto previous = static_cast<jstring>(env->CallStaticObjectMethod(system, set, name, value));
    say("previous", javaText(env, previous));
    auto second = static_cast<jstring>(env->CallStaticObjectMethod(system, set, name, name));
    say("second", javaText(env, second));
}

// A function the stand-in does not implement: the process ends there.
void checkUnimplemented(JNIEnv* env) {
    jclass cls = env->FindClass("java/lang/String");
    say("calling", "GetStaticFieldID");
    env->GetStaticFieldID(cls, "CASE_INSENSITIVE_ORDER", "Ljava/util/Comparator;");
    say("returned", "1");
}

// A local reference used after DeleteLocalRef: the process ends there.
void checkDeletedReference(JNIEnv* env) {
    jstring text = env->NewStringUTF("gone");
    env->DeleteLocalRef(text);
    say("calling", "GetStringLength");
    env->GetStringLength(text);
    say("returned", "1");
}

struct Check {
    const char* name;
    void (*run)(JNIEnv*);
};

const Check kChecks[] = {
    {"strings", checkStrings},
    {"pending", checkPending},
    {"objects", checkObjects},
    {"threads", checkThreads},
    {"splash", checkSplash},
    {"property", checkProperty},
    {"unimplemented", checkUnimplemented},
    {"deleted-reference", checkDeletedReference},
};

int checkMode(int argc, wchar_t** argv) {
    std::string name = toCodePage(argv[3], CP_UTF8);
    for (const Check& check : kChecks) {
        if (name != check.name) continue;
        Host host;
        if (!startHost(host, argc, argv, 4)) return 2;
        check.run(host.env);
        sayNumber("destroy", host.vm->DestroyJavaVM());
        return 0;
    }
    say("error", "no check named " + name);
    return 2;
}

// --- the argument-file library

// The record JLI_PreprocessArg returns: the array of arguments, then their count.
struct JliList {
    char** elements;
    int size;
};

using InitArgProcessing = void(JNICALL*)(jboolean, jboolean);
using PreprocessArg = JliList*(JNICALL*)(const char*, jboolean);
using MemFree = void(JNICALL*)(void*);

template <typename Function>
Function lookUp(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

int jliMode(int argc, wchar_t** argv) {
    HMODULE module = LoadLibraryW(argv[2]);
    if (module == nullptr) {
        sayNumber("loadError", GetLastError());
        return 2;
    }
    auto init = lookUp<InitArgProcessing>(module, "JLI_InitArgProcessing");
    auto preprocess = lookUp<PreprocessArg>(module, "JLI_PreprocessArg");
    auto memFree = lookUp<MemFree>(module, "JLI_MemFree");
    if (init == nullptr || preprocess == nullptr || memFree == nullptr) return 3;
    int first = 3;
    bool disable = argc > 3 && wcscmp(argv[3], L"--disable") == 0;
    if (disable) ++first;
    init(JNI_TRUE, disable ? JNI_TRUE : JNI_FALSE);
    for (int i = first; i < argc; ++i) {
        std::string key = "arg" + std::to_string(i - first);
        JliList* list = preprocess(toCodePage(argv[i], CP_ACP).c_str(), JNI_TRUE);
        if (list == nullptr) {
            say(key, "null");
            continue;
        }
        say(key, "list");
        sayNumber(key + ".count", list->size);
        for (int j = 0; j < list->size; ++j)
            say(key + "[" + std::to_string(j) + "]", standin::codePageToUtf8(list->elements[j], CP_ACP));
        memFree(list->elements);
        memFree(list);
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc >= 3 && wcscmp(argv[1], L"launch") == 0) return launchMode(argc, argv);
    if (argc >= 4 && wcscmp(argv[1], L"lookups") == 0) return lookupsMode(argc, argv);
    if (argc >= 4 && wcscmp(argv[1], L"check") == 0) return checkMode(argc, argv);
    if (argc >= 3 && wcscmp(argv[1], L"jli") == 0) return jliMode(argc, argv);
    say("error", "usage: jnihost launch|lookups|check <jvm.dll> ... | jli <jli.dll> ...");
    return 2;
}
