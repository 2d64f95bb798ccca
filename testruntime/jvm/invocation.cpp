#include "invocation.h"

#include <cstdlib>
#include <vector>

#include "java_vm.h"
#include "jni_env.h"
#include "jtext.h"
#include "options.h"
#include "runtime.h"
#include "script.h"
#include "thread_watch.h"
#include "transcript.h"
#include "world.h"

namespace standin {

RuntimeHome loadedRuntime;
std::wstring loadedModulePath;

namespace {

// A script is at most a few hundred lines; anything near this size is a wrong file.
constexpr size_t kScriptLimit = 4 << 20;

// JNI versions in the order the JDK introduced them, with the Java version that did.
struct JniVersionStep {
    jint version;
    int javaMajor;
};
const JniVersionStep kJniVersions[] = {
    {JNI_VERSION_1_2, 2}, {JNI_VERSION_1_4, 4}, {JNI_VERSION_1_6, 6}, {JNI_VERSION_1_8, 8}, {JNI_VERSION_9, 9},
    {JNI_VERSION_10, 10}, {0x00130000, 19},     {0x00140000, 20},     {0x00150000, 21},
};

// Java version of the runtime, from its release file; 17 when there is none.
int runtimeJavaMajor() {
    int major = featureVersion(loadedRuntime.value("JAVA_VERSION"));
    return major > 0 ? major : 17;
}

jint newestJniVersion(int javaMajor) {
    jint newest = JNI_VERSION_1_2;
    for (const JniVersionStep& step : kJniVersions)
        if (step.javaMajor <= javaMajor) newest = step.version;
    return newest;
}

std::wstring asWide(const std::u16string& units) { return std::wstring(units.begin(), units.end()); }

std::u16string asUnits(const std::wstring& wide) { return std::u16string(wide.begin(), wide.end()); }

bool isAbsolutePath(const std::wstring& path) {
    return (path.size() >= 2 && path[1] == L':') || (path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\');
}

std::wstring releasePath(const char* key) {
    std::wstring path = asWide(utf8ToUnits(loadedRuntime.value(key)));
    if (!path.empty() && !isAbsolutePath(path)) path = loadedRuntime.root + L"\\" + path;
    return path;
}

bool endsWithIgnoringCase(const std::wstring& text, const wchar_t* suffix) {
    size_t length = wcslen(suffix);
    return text.size() >= length && CompareStringOrdinal(text.c_str() + text.size() - length, static_cast<int>(length),
                                                         suffix, static_cast<int>(length), TRUE) == CSTR_EQUAL;
}

// Options are 8-bit text in the code page of the file APIs, as a VM reads them.
UINT optionCodePage() { return AreFileApisANSI() ? CP_ACP : CP_OEMCP; }

// Everything JNI_CreateJavaVM learns from its arguments before it judges them.
struct Request {
    std::vector<std::string> options;  // as UTF-8, for records and checks
    std::vector<const JavaVMOption*> raw;
    std::map<std::string, std::u16string> properties;
    std::wstring script;
    std::wstring transcript;
    ExitHook exitHook = nullptr;
    AbortHook abortHook = nullptr;
    VfprintfHook vfprintfHook = nullptr;
};

void readProperty(const char* optionText, Request& request) {
    std::u16string units = codePageToUnits(optionText + 2, optionCodePage());
    size_t equals = units.find(u'=');
    std::string name = exactUtf8(units.substr(0, equals));
    request.properties[name] = equals == std::u16string::npos ? std::u16string() : units.substr(equals + 1);
}

void readOption(const JavaVMOption& option, Request& request) {
    const char* text = option.optionString != nullptr ? option.optionString : "";
    request.options.push_back(exactUtf8(codePageToUnits(text, optionCodePage())));
    request.raw.push_back(&option);
    std::string_view view(text);
    if (view.substr(0, 2) == "-D") readProperty(text, request);
    // The hooks travel in extraInfo, as the invocation API defines them.
    if (view == "exit") request.exitHook = reinterpret_cast<ExitHook>(option.extraInfo);
    if (view == "abort") request.abortHook = reinterpret_cast<AbortHook>(option.extraInfo);
    if (view == "vfprintf") request.vfprintfHook = reinterpret_cast<VfprintfHook>(option.extraInfo);
}

std::wstring propertyPath(const Request& request, const char* name) {
    auto found = request.properties.find(name);
    return found == request.properties.end() ? std::wstring() : asWide(found->second);
}

// The script: the property standin.script, else the first class path entry that ends in
// ".standin", else the release key STANDIN_SCRIPT; none means the default world.
std::wstring chooseScript(const Request& request) {
    std::wstring path = propertyPath(request, "standin.script");
    if (!path.empty()) return path;
    std::wstring classPath = propertyPath(request, "java.class.path");
    size_t start = 0;
    while (start <= classPath.size()) {
        size_t end = classPath.find(L';', start);
        std::wstring entry = classPath.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        if (endsWithIgnoringCase(entry, L".standin")) return entry;
        if (end == std::wstring::npos) break;
        start = end + 1;
    }
    return releasePath("STANDIN_SCRIPT");
}

// The transcript: the property standin.transcript, else the release key
// STANDIN_TRANSCRIPT, else beside the script with the extension ".transcript"; empty means
// the runtime's record file.
std::wstring chooseTranscript(const Request& request) {
    std::wstring path = propertyPath(request, "standin.transcript");
    if (path.empty()) path = releasePath("STANDIN_TRANSCRIPT");
    if (path.empty() && !request.script.empty()) {
        size_t dot = request.script.find_last_of(L".\\/");
        bool hasExtension = dot != std::wstring::npos && request.script[dot] == L'.';
        path = (hasExtension ? request.script.substr(0, dot) : request.script) + L".transcript";
    }
    return path;
}

// The host's current directory as the VM finds it (a VM resolves relative paths and
// "user.dir" against it); empty when the system cannot tell it.
std::wstring currentDirectory() {
    DWORD needed = GetCurrentDirectoryW(0, nullptr);
    if (needed == 0) return std::wstring();
    std::wstring directory(needed, L'\0');
    DWORD length = GetCurrentDirectoryW(needed, directory.data());
    directory.resize(length < needed ? length : 0);
    return directory;
}

void addInitArgs(Record& record, const JavaVMInitArgs& initArgs, const Request& request) {
    record.addHex("version", static_cast<unsigned long>(initArgs.version));
    record.addNumber("nOptions", initArgs.nOptions);
    record.addNumber("ignoreUnrecognized", initArgs.ignoreUnrecognized);
    for (size_t i = 0; i < request.options.size(); ++i) {
        std::string key = "option" + std::to_string(i);
        if (request.raw[i]->optionString == nullptr)
            record.add(key + ".null", "1");
        else
            record.add(key, request.options[i]);
        if (request.raw[i]->extraInfo != nullptr) record.add(key + ".extraInfo", "set");
    }
}

void addThreadFacts(Record& record) {
    DWORD self = GetCurrentThreadId();
    DWORD main = processMainThreadId();
    record.addNumber("thread", static_cast<long long>(self));
    record.addNumber("mainThread", static_cast<long long>(main));
    record.addNumber("onMainThread", self == main ? 1 : 0);
    StackFacts stack = currentStackFacts();
    record.addNumber("stackReservation", static_cast<long long>(stack.reservation));
    if (stack.requestKnown) {
        record.addNumber("stackRequest", static_cast<long long>(stack.requestedSize));
        record.addHex("stackRequestFlags", stack.requestedFlags);
    }
}

// Judges every option as a VM does; returns JNI_OK or the failure, with the VM's message.
jint judgeOptions(const JavaVMInitArgs& initArgs, const Request& request, Record& record, std::string& message) {
    bool ignoreUnknownXX = false;
    for (const std::string& option : request.options)
        if (option == "-XX:+IgnoreUnrecognizedVMOptions") ignoreUnknownXX = true;
    int major = runtimeJavaMajor();
    int ignored = 0;
    for (const std::string& option : request.options) {
        OptionCheck check = checkOption(option, major, ignoreUnknownXX);
        if (check.verdict == OptionVerdict::Invalid) {
            message = check.message;
            return JNI_EINVAL;
        }
        if (check.verdict == OptionVerdict::Unrecognized) {
            if (!initArgs.ignoreUnrecognized) {
                message = check.message;
                return JNI_ERR;
            }
            record.add("ignored" + std::to_string(ignored++), option);
        }
    }
    record.addNumber("ignored", ignored);
    return JNI_OK;
}

// A failure asked for by the property standin.createResult or the release key
// STANDIN_CREATE_RESULT (a non-zero JNI result); 0 when none is asked for.
jint requestedFailure(const Request& request) {
    std::string text;
    auto found = request.properties.find("standin.createResult");
    if (found != request.properties.end())
        text = exactUtf8(found->second);
    else
        text = loadedRuntime.value("STANDIN_CREATE_RESULT");
    return text.empty() ? 0 : static_cast<jint>(strtol(text.c_str(), nullptr, 10));
}

void setDefaultProperties(const Request& request) {
    vmState.properties = {
        {"java.version", utf8ToUnits(loadedRuntime.value("JAVA_VERSION"))},
        {"java.home", asUnits(loadedRuntime.home)},
        {"java.vm.name", u"Stand-in VM"},
        {"line.separator", u"\r\n"},
        {"path.separator", u";"},
        {"file.separator", u"\\"},
    };
    for (const auto& property : request.properties) vmState.properties[property.first] = property.second;
}

// Builds the world from the default classes and the script; false with a message when the
// script cannot be read or is faulty.
bool buildWorld(const Request& request, std::string& message) {
    vmState.classes.clear();
    installDefaultClasses();
    ScriptError error;
    if (request.script.empty()) {
        if (linkClasses(error.message)) return true;
        message = error.message;
        return false;
    }
    std::string text;
    if (!readWholeFile(request.script, text, kScriptLimit)) {
        message = "cannot read the script " + toUtf8(request.script);
        return false;
    }
    if (!applyScript(text, error)) {
        message = "script " + toUtf8(request.script) + " line " + std::to_string(error.line) + ": " + error.message;
        return false;
    }
    return true;
}

jint failCreation(Record& record, jint result, const std::string& message) {
    if (!message.empty()) {
        record.add("error", message);
        writeVmError(message + "\r\n");
    }
    record.addNumber("result", result);
    addThreadFacts(record);
    writeTranscript(record);
    vmState.classes.clear();
    return result;
}

jint startVm(Record& record, const Request& request, JavaVM** vm, void** env) {
    vmState.javaMajor = runtimeJavaMajor();
    vmState.jniVersion = newestJniVersion(vmState.javaMajor);
    setDefaultProperties(request);
    ThreadState* main = nullptr;
    {
        VmLock lock;
        main = attachThread("main", false);
        vmState.phase = VmPhase::Running;
    }
    *vm = javaVm();
    *env = environmentOf(main);
    record.addHex("jniVersion", static_cast<unsigned long>(vmState.jniVersion));
    record.addNumber("result", JNI_OK);
    addThreadFacts(record);
    writeTranscript(record);
    return JNI_OK;
}

}  // namespace

void recordLibraryLoad(HMODULE self) {
    InitializeCriticalSection(&vmState.lock);
    vmState.tlsIndex = TlsAlloc();
    vmState.threadsChanged = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    loadedModulePath = modulePath(self);
    // The library sits in <bin>\<vm kind>\jvm.dll; the runtime is found from <bin>.
    loadedRuntime = locateRuntime(parentDirectory(parentDirectory(loadedModulePath)));
    watchThreadCreation();
    Record record("jvm-load");
    record.add("module", loadedModulePath);
    // The hosting process's exact command line, for tests of the program that started it.
    record.add("command", std::wstring(GetCommandLineW()));
    if (!appendRecord(loadedRuntime, record))
        writeStandardError("standin jvm.dll: could not write the record file\r\n");
}

void releaseLibrary() { stopWatchingThreadCreation(); }

bool isSupportedJniVersion(jint version) {
    int major = runtimeJavaMajor();
    for (const JniVersionStep& step : kJniVersions)
        if (step.version == version) return step.javaMajor <= major;
    return false;
}

jint createJavaVm(JavaVM** vm, void** env, void* args) {
    if (vm != nullptr) *vm = nullptr;
    if (env != nullptr) *env = nullptr;
    Record record("jvm-create");
    record.add("module", loadedModulePath);
    record.add("cwd", currentDirectory());
    if (vm == nullptr || env == nullptr || args == nullptr) {
        record.add("missingArgument", "1");
        return failCreation(record, JNI_EINVAL, std::string());
    }
    const JavaVMInitArgs& initArgs = *static_cast<const JavaVMInitArgs*>(args);
    Request request;
    bool optionsReadable = initArgs.nOptions >= 0 && (initArgs.nOptions == 0 || initArgs.options != nullptr);
    if (optionsReadable)
        for (jint i = 0; i < initArgs.nOptions; ++i) readOption(initArgs.options[i], request);
    request.script = chooseScript(request);
    request.transcript = chooseTranscript(request);
    // A running VM keeps its transcript and hooks; a refused second creation is recorded there.
    if (vmState.phase == VmPhase::NotCreated) {
        transcriptPath = request.transcript;
        // The hooks apply from here on, to the messages of a creation that fails too.
        vmState.exitHook = request.exitHook;
        vmState.abortHook = request.abortHook;
        vmState.vfprintfHook = request.vfprintfHook;
    }
    addInitArgs(record, initArgs, request);
    if (!request.script.empty()) record.add("script", request.script);

    // A process holds one VM; one that was destroyed cannot be created again.
    if (vmState.phase == VmPhase::Running) return failCreation(record, JNI_EEXIST, std::string());
    if (vmState.phase == VmPhase::Destroyed)
        return failCreation(record, JNI_ERR, "a Java VM was already destroyed in this process");
    if (!isSupportedJniVersion(initArgs.version)) return failCreation(record, JNI_EVERSION, std::string());
    if (!optionsReadable) return failCreation(record, JNI_EINVAL, std::string());
    std::string message;
    jint verdict = judgeOptions(initArgs, request, record, message);
    if (verdict != JNI_OK) return failCreation(record, verdict, message);
    jint requested = requestedFailure(request);
    if (requested != 0)
        return failCreation(record, requested,
                            "Error occurred during initialization of VM\r\nstandin: failure requested (" +
                                std::to_string(requested) + ")");
    if (!buildWorld(request, message)) return failCreation(record, JNI_ERR, "standin: " + message);
    return startVm(record, request, vm, env);
}

jint defaultJavaVmInitArgs(void* args) {
    Record record("jvm-default-init-args");
    jint result = JNI_ERR;
    if (args != nullptr) {
        jint version = static_cast<const JavaVMInitArgs*>(args)->version;
        record.addHex("version", static_cast<unsigned long>(version));
        result = isSupportedJniVersion(version) ? JNI_OK : JNI_EVERSION;
    }
    record.addNumber("result", result);
    writeTranscript(record);
    return result;
}

jint createdJavaVms(JavaVM** buffer, jsize capacity, jsize* count) {
    jsize created = vmState.phase == VmPhase::Running ? 1 : 0;
    if (created == 1 && buffer != nullptr && capacity >= 1) buffer[0] = javaVm();
    if (count != nullptr) *count = created;
    Record record("jvm-created-vms");
    record.addNumber("count", created);
    record.addNumber("result", JNI_OK);
    writeTranscript(record);
    return JNI_OK;
}

}  // namespace standin
