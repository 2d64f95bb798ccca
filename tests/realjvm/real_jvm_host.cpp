// Runs the launcher's own JNI code against the real JVM of the build machine: the option
// assembly (launcher properties, the VM-options reader over setting 123 and the -J
// arguments, class and module path, module options), the JVM arguments record, and the JVM
// thread's sequence (creation, module-name property, splash and helper calls, main with its
// argument array, destruction). Only what the launcher takes from Windows is supplied here,
// by POSIX means.
//
// Usage: real_jvm_host DESCRIPTION [LAUNCHER ARGUMENT...]
// The description (UTF-8) has one item per line:
//   setting <id> = <text>    a configuration setting
//   generator <letter>       the generator kind ("e" when absent)
//   launcher <path>          the launcher path ("ravel.moduleName", "sun.java.command")
//   service                  service mode ("-Xrs", "ravel.isService")
//   noredirect               as "/run" does ("-Dquillwork.noRedir=true")
//   helper ok|fails          the quillwork helper library registers its natives or fails
//   keep-vm                  main returns without the JVM being destroyed
//   splash-library <path>    the runtime's splash-screen library (libsplashscreen.so, by its
//                            full path), which shows the image of the splash image setting (a
//                            plain path here) before the JVM is created
// The launcher arguments are UTF-8 and reach the launcher code as UTF-16 units, one per
// wchar_t, as they would on Windows.
//
// On the way out the launcher's log is written to standard error, one "launcher-log: " line
// each, followed by "outcome: <name>". The exit code is 0 when the sequence completed, 1 on
// any failure of the launch and 2 for a description it cannot use.

#include "JavaVMLauncher/java_calls.h"
#include "JavaVMLauncher/java_vm_launcher_rules.h"
#include "config/config_store.h"
#include "core/command_line.h"
#include "core/text_format.h"
#include "core/utf8.h"
#include "launch/jvm_arguments_rules.h"
#include "launch/splash_rules.h"
#include "paths/path_helpers_rules.h"
#include "support/log_capture.h"

#include <dirent.h>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

struct HostDescription {
    char generatorKind = 'e';
    std::string launcherPath = "/opt/app/app.exe";
    bool serviceMode = false;
    bool noRedirect = false;
    std::string helper;  // "", "ok" or "fails"
    bool destroyAfterMain = true;
    std::string splashLibrary;
};

std::string utf8FromUtf16(const std::wstring& units) {
    std::string text;
    for (size_t i = 0; i < units.size(); ++i) {
        unsigned long code = static_cast<unsigned long>(units[i]) & 0xFFFF;
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < units.size()) {
            code = 0x10000 + ((code - 0xD800) << 10) + ((static_cast<unsigned long>(units[++i]) & 0xFFFF) - 0xDC00);
        }
        appendUtf8(text, static_cast<uint32_t>(code));
    }
    return text;
}

bool readDescription(const char* file, HostDescription& description) {
    std::ifstream in(file);
    if (!in) {
        fprintf(stderr, "cannot read %s\n", file);
        return false;
    }
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        size_t space = line.find(' ');
        std::string word = line.substr(0, space);
        std::string rest = space == std::string::npos ? std::string() : line.substr(space + 1);
        if (word == "setting") {
            size_t equals = rest.find(" = ");
            if (equals == std::string::npos) equals = rest.find(" =");
            if (equals == std::string::npos) {
                fprintf(stderr, "bad setting line: %s\n", line.c_str());
                return false;
            }
            size_t valueStart = equals + 2 < rest.size() && rest[equals + 2] == ' ' ? equals + 3 : equals + 2;
            configStore.settings[atoi(rest.c_str())] = valueStart <= rest.size() ? rest.substr(valueStart) : "";
        } else if (word == "generator" && !rest.empty()) {
            description.generatorKind = rest[0];
        } else if (word == "launcher") {
            description.launcherPath = rest;
        } else if (word == "service") {
            description.serviceMode = true;
        } else if (word == "noredirect") {
            description.noRedirect = true;
        } else if (word == "helper") {
            description.helper = rest;
        } else if (word == "keep-vm") {
            description.destroyAfterMain = false;
        } else if (word == "splash-library") {
            description.splashLibrary = rest;
        } else {
            fprintf(stderr, "unknown description line: %s\n", line.c_str());
            return false;
        }
    }
    configStore.settings[2001] = std::string(1, description.generatorKind);
    return true;
}

// The VM-options sources as the option assembly's reader sees them: files opened by their
// UTF-8 names and told apart by device and inode, options in UTF-8, no placeholders
// expanded. There is no VM-options file beside the launcher and no jli library for Java
// argument files: setting 123 and the -J arguments stand for the launcher's option sources.
class PosixOptionFiles : public OptionFileSystem {
public:
    FILE* openText(const std::wstring& path) override { return fopen(utf8FromUtf16(path).c_str(), "r"); }
    std::string fileIdentity(FILE* file, const wchar_t*) override {
        struct stat info;
        if (fstat(fileno(file), &info) != 0) return std::string();
        return std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
    }
    bool expand(wchar_t*, size_t, bool) override { return true; }
    std::string toOptionText(const std::wstring& text) override { return utf8FromUtf16(text); }
    // A file that is not UTF-8 is taken as Latin-1, the one 8-bit code page every byte fits.
    std::wstring widenAnsiLine(const std::string& line) override { return widenBytes(line.c_str()); }
    std::wstring launcherDirectory() override { return std::wstring(); }
    FILE* openDefaultFile() override { return nullptr; }
    void expandArgumentFiles(OptionList&) override {}
};

// The file system and environment as the path entries see them. The launcher directory is
// empty, so absolute POSIX paths in path entries stay as they are.
class PosixSources : public JvmArgumentSources {
public:
    std::string expandVariables(const std::string& text) override { return text; }
    std::string launcherDirectory() override { return std::string(); }
    void collapseBackslashes(std::string& path) override {
        std::vector<char> buffer(path.begin(), path.end());
        buffer.push_back(0);
        collapseBackslashesSingleByte(buffer.data());
        path = buffer.data();
    }
    bool pathExists(const std::string& path) override {
        struct stat info;
        return stat(path.c_str(), &info) == 0;
    }
    std::vector<std::string> listFiles(const std::string& directory, const std::string& extension) override {
        std::vector<std::string> names;
        DIR* dir = opendir(directory.c_str());
        if (dir == nullptr) return names;
        std::string suffix = "." + extension;
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
                names.push_back(name);
        }
        closedir(dir);
        return names;
    }
    std::optional<std::string> environmentVariable(const std::string& name) override {
        const char* value = getenv(name.c_str());
        if (value == nullptr) return std::nullopt;
        return std::string(value);
    }
    std::string absolutePath(const std::string& path) override { return path; }
};

std::wstring settingWide(SettingId id) { return utf16FromUtf8(getSettingCopy(id)); }

// The launcher's argument list as its Windows shell builds it: leading arguments from the
// configuration, the first launcher argument, setting 124 split as a command line, and the
// remaining launcher arguments that pass. Placeholders are not expanded here.
std::vector<std::wstring> hostMainArguments(const ArgumentList& args, bool serviceMode) {
    LeadingArguments leading =
        leadingArgumentsFromConfiguration(settingWide, [](const std::wstring& path) { return path; });
    return mainArgumentList(leading, args, splitCommandLine(settingWide(SettingId::ApplicationArguments)),
                            jArgumentsBecomeOptions(getSettingInt(SettingId::AllowJArguments) != 0, serviceMode));
}

// The helper library's part as the launcher plays it: initFromLauncher(true) before the
// library registers its natives, initFromLauncher(false) when that failed.
void playHelperLibrary(JNIEnv* env, const std::string& helper) {
    if (helper.empty()) return;
    if (!callInitFromLauncher(env, true)) return;
    if (helper == "fails") callInitFromLauncher(env, false);
}

template <typename Function>
Function librarySymbol(void* module, const char* name) {
    return reinterpret_cast<Function>(dlsym(module, name));
}

// The launcher's splash sequence with the Linux runtime's library in place of splashscreen.dll:
// the image checked, the library loaded by its full path (the same file the JVM's splash
// support loads later, so the JVM finds the splash already shown), the entry points resolved
// and called in the launcher's order. Anything missing is reported and the run goes on.
void showHostSplash(const std::string& libraryPath) {
    std::string imagePath = getSettingCopy(SettingId::SplashImage);
    std::ifstream in(imagePath, std::ios::binary);
    std::vector<unsigned char> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.is_open() || !acceptSplashImage(image, utf16FromUtf8(imagePath))) return;
    void* module = dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (module == nullptr) {
        fprintf(stderr, "cannot load %s: %s\n", libraryPath.c_str(), dlerror());
        return;
    }
    SplashLibrary library;
    library.init = librarySymbol<decltype(library.init)>(module, kSplashInitName);
    library.loadMemory = librarySymbol<decltype(library.loadMemory)>(module, kSplashLoadMemoryName);
    library.setFileJarName = librarySymbol<decltype(library.setFileJarName)>(module, kSplashSetFileJarNameName);
    if (const char* missing = missingSplashFunction(library)) {
        fprintf(stderr, "%s lacks %s\n", libraryPath.c_str(), missing);
        return;
    }
    // As in the launcher, the bytes and the library stay for the life of the process.
    showSplashImage(library, *new std::vector<unsigned char>(std::move(image)), imagePath);
}

const char* outcomeName(JvmRunOutcome outcome) {
    switch (outcome) {
    case JvmRunOutcome::Completed:
        return "Completed";
    case JvmRunOutcome::NotCreated:
        return "NotCreated";
    case JvmRunOutcome::LauncherClassMissing:
        return "LauncherClassMissing";
    case JvmRunOutcome::MainMethodMissing:
        return "MainMethodMissing";
    case JvmRunOutcome::MainThrew:
        return "MainThrew";
    }
    return "?";
}

void printLog() {
    for (const std::wstring& line : capturedLog()) fprintf(stderr, "launcher-log: %s\n", utf8FromUtf16(line).c_str());
    fflush(stderr);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: real_jvm_host DESCRIPTION [LAUNCHER ARGUMENT...]\n");
        return 2;
    }
    HostDescription description;
    if (!readDescription(argv[1], description)) return 2;
    ArgumentList args;
    for (int i = 2; i < argc; ++i) args.push_back(utf16FromUtf8(argv[i]));

    LauncherPropertyInputs inputs;
    inputs.generatorKind = description.generatorKind;
    inputs.serviceMode = description.serviceMode;
    inputs.launcherPath = description.launcherPath;
    inputs.unextractedPosition = 0;
    inputs.consoleOutputCodePage = 437;
    JvmArgumentState state;
    state.serviceMode = description.serviceMode;
    state.noRedirect = description.noRedirect;
    state.generatorKind = description.generatorKind;

    PosixSources sources;
    PosixOptionFiles optionFiles;
    OptionAssembly assembly = assembleOptions(launcherProperties(inputs), args, state, sources, optionFiles);
    if (assembly.missing) {
        printLog();
        fprintf(stderr, "outcome: MissingEntry %d %s\n", assembly.missing->messageId, assembly.missing->name.c_str());
        return 1;
    }
    JvmArguments jvm;
    fillVmArgs(jvm, assembly.options);

    JvmRunSteps steps;
    steps.generatorKind = description.generatorKind;
    steps.destroyAfterMain = description.destroyAfterMain;
    steps.launcherPath = utf16FromUtf8(description.launcherPath);
    steps.loadHelperLibrary = [&description](JNIEnv* env) { playHelperLibrary(env, description.helper); };
    steps.mainArguments = [&args, &description]() { return hostMainArguments(args, description.serviceMode); };

    if (!description.splashLibrary.empty()) showHostSplash(description.splashLibrary);

    // As in the launcher, the JVM gets a thread of its own rather than the process's first
    // thread, whose stack the JVM cannot guard on Linux.
    JvmRunOutcome outcome = JvmRunOutcome::NotCreated;
    std::thread jvmThread([&]() { outcome = runJvm(&JNI_CreateJavaVM, jvm.vmArgs, steps); });
    jvmThread.join();

    printLog();
    fprintf(stderr, "outcome: %s\n", outcomeName(outcome));
    fflush(stderr);
    // A JVM left alive after a failed main is not destroyed, as in the launcher; the process
    // ends around it.
    if (outcome != JvmRunOutcome::Completed) _exit(1);
    return 0;
}
