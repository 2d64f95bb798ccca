#include "invocation.h"

namespace standin {

RuntimeHome loadedRuntime;
std::wstring loadedModulePath;

namespace {

void appendOrComplain(const Record& record) {
    if (!appendRecord(loadedRuntime, record))
        writeStandardError("standin jvm.dll: could not write the record file\r\n");
}

// Options are 8-bit text in the code page of the file APIs, as the JVM reads them; the
// record holds them as UTF-8 so that a test compares them as ordinary strings.
UINT optionCodePage() {
    return AreFileApisANSI() ? CP_ACP : CP_OEMCP;
}

void addInitArgs(Record& record, const JavaVMInitArgs& initArgs) {
    record.addHex("version", static_cast<unsigned long>(initArgs.version));
    record.addNumber("nOptions", initArgs.nOptions);
    record.addNumber("ignoreUnrecognized", initArgs.ignoreUnrecognized);
    if (initArgs.nOptions <= 0 || initArgs.options == nullptr) return;
    for (jint i = 0; i < initArgs.nOptions; ++i) {
        const JavaVMOption& option = initArgs.options[i];
        std::string key = "option" + std::to_string(i);
        if (option.optionString == nullptr) {
            record.add(key + ".null", "1");
        } else {
            record.add(key, codePageToUtf8(option.optionString, optionCodePage()));
        }
        if (option.extraInfo != nullptr) record.add(key + ".extraInfo", "set");
    }
}

}  // namespace

void recordLibraryLoad(HMODULE self) {
    loadedModulePath = modulePath(self);
    // The library sits in <bin>\<vm kind>\jvm.dll; the runtime is found from <bin>.
    loadedRuntime = locateRuntime(parentDirectory(parentDirectory(loadedModulePath)));
    Record record("jvm-load");
    record.add("module", loadedModulePath);
    appendOrComplain(record);
}

bool isSupportedJniVersion(jint version) {
    switch (version) {
    case JNI_VERSION_1_2:
    case JNI_VERSION_1_4:
    case JNI_VERSION_1_6:
    case JNI_VERSION_1_8:
    case JNI_VERSION_9:
    case JNI_VERSION_10:
        return true;
    default:
        return false;
    }
}

jint createJavaVm(JavaVM** vm, void** env, void* args) {
    if (vm != nullptr) *vm = nullptr;
    if (env != nullptr) *env = nullptr;
    Record record("jvm-create");
    record.add("module", loadedModulePath);
    jint result = JNI_ERR;
    if (vm == nullptr || env == nullptr || args == nullptr) {
        record.add("missingArgument", "1");
        result = JNI_EINVAL;
    } else {
        const JavaVMInitArgs& initArgs = *static_cast<const JavaVMInitArgs*>(args);
        addInitArgs(record, initArgs);
        if (!isSupportedJniVersion(initArgs.version)) {
            result = JNI_EVERSION;
        } else if (initArgs.nOptions < 0 || (initArgs.nOptions > 0 && initArgs.options == nullptr)) {
            result = JNI_EINVAL;
        } else {
            // No VM can be built yet: report the generic failure of a VM that did not start.
            result = JNI_ERR;
        }
    }
    record.addNumber("result", result);
    appendOrComplain(record);
    return result;
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
    appendOrComplain(record);
    return result;
}

jint createdJavaVms(JavaVM** buffer, jsize capacity, jsize* count) {
    (void)buffer;
    (void)capacity;
    // No VM of this library exists, so the list is empty and the buffer untouched.
    if (count != nullptr) *count = 0;
    Record record("jvm-created-vms");
    record.addNumber("count", 0);
    record.addNumber("result", JNI_OK);
    appendOrComplain(record);
    return JNI_OK;
}

}  // namespace standin
