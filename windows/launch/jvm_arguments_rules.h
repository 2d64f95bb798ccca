// The portable decisions of assembling the JVM option list: the launcher's own system
// properties, the VM-options sources (read through vm_options_rules.h), the class path and
// module path built from typed entries, the module options and the service and redirection
// switches, in one fixed order.
//
// What the assembly needs from the process (the environment, files and paths of the class
// and module path entries, and the VM-options files) comes in through JvmArgumentSources and
// OptionFileSystem, which jvm_arguments_win.cpp and vm_options_win.cpp implement for the
// real launcher and the unit tests fake.
#pragma once

#include "config/config_ids.h"
#include "core/command_line.h"
#include "launch/vm_options_rules.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The values the launcher properties are made of.
struct LauncherPropertyInputs {
    std::string semaphoreName;  // empty: no property
    char generatorKind = 0;
    bool serviceMode = false;
    std::string launcherPath;         // 8-bit
    std::string extractionDirectory;  // empty when there is none
    int32_t unextractedPosition = 0;
    std::string path;  // the PATH variable; empty when undefined
    bool manPathDefined = false;
    unsigned consoleOutputCodePage = 0;
};

// The launcher's system properties, in their fixed order. Every text is as long as its
// values need: a long PATH or launcher path is never cut.
std::vector<std::string> launcherProperties(const LauncherPropertyInputs& inputs);

// "com.quillwork.runtime" for the quillwork generator ('i'), else "com.ravel.runtime".
const char* runtimeModuleName(char generatorKind);

// The launcher state the assembly reads.
struct JvmArgumentState {
    bool serviceMode = false;
    bool noRedirect = false;
    char generatorKind = 0;
    // The archives this run extracted (full paths, jars then zips): only these, and nothing
    // else found in the extraction directory, go first on the class path.
    std::vector<std::string> extractedArchives;
};

// What the path entries ask of the process. Paths are 8-bit in the file-system code page.
class JvmArgumentSources {
public:
    virtual ~JvmArgumentSources() = default;

    // Launcher placeholders and environment variables expanded in 8-bit text.
    virtual std::string expandVariables(const std::string& text) = 0;
    // The 8-bit launcher directory, ending in a backslash.
    virtual std::string launcherDirectory() = 0;
    virtual void collapseBackslashes(std::string& path) = 0;
    virtual bool pathExists(const std::string& path) = 0;
    // Entry names (no directory) matching "directory\*.extension", in file-system order.
    virtual std::vector<std::string> listFiles(const std::string& directory, const std::string& extension) = 0;
    // None when the variable is not defined; an empty text when it is defined but empty.
    virtual std::optional<std::string> environmentVariable(const std::string& name) = 0;
    // The path made absolute against the launcher directory, case kept.
    virtual std::string absolutePath(const std::string& path) = 0;
};

// A required class path or module path entry that was not there: the launch ends with
// message 1006 (entry not found) or 1008 (environment variable not defined) naming it.
struct MissingEntry {
    MessageId messageId{};
    std::string name;
    SettingId settingId{};  // which path the entry belongs to
    char kind = 0;          // the entry's type letter
    // The absolute path or paths (";"-joined) that were looked for and not found; empty
    // where no path was looked for (a variable, an unknown type letter).
    std::string lookedFor;
};

// The log line that says why a required entry ends the launch, in words a user can act on:
// "required class path entry lib\app.jar not found: looked for C:\app\lib\app.jar".
std::string missingEntryReason(const MissingEntry& missing);

// Appends the entries of setting `settingId` (121: class path, 132: module path) to
// `pathText`, each followed by ";". Returns the first required entry that is missing.
std::optional<MissingEntry> addPathEntries(SettingId settingId, std::string& pathText, JvmArgumentSources& sources);

// Appends "directory\name;" for every file of the directory with the extension (a relative
// directory is taken below the launcher directory). False when the directory does not exist.
bool addArchivesOfDirectory(std::string& pathText, const std::string& directory, const std::string& extension,
                            JvmArgumentSources& sources);

// Appends the quillwork runtime archive below the application root (setting 10003); only
// for the quillwork generator.
void addRuntimeArchive(std::string& pathText, char generatorKind, JvmArgumentSources& sources);

// Whether "-J" arguments of the launcher's command line become JVM options: when setting
// 125 allows it, and never in a service. A service's arguments are the start arguments
// that whoever may start the service hands to the Service Control Manager; as JVM options
// (-agentpath, -XX:OnError, a class path) they would run that caller's code in the
// service's account. There they reach main like any other argument.
bool jArgumentsBecomeOptions(bool allowedBySetting, bool serviceMode);

// The complete option list in its fixed order, or the missing entry that ends the launch.
struct OptionAssembly {
    OptionList options;
    std::optional<MissingEntry> missing;
};
OptionAssembly assembleOptions(const std::vector<std::string>& launcherProperties, const ArgumentList& args,
                               const JvmArgumentState& state, JvmArgumentSources& sources,
                               OptionFileSystem& optionFiles);

// ---------------------------------------------------------------------------------------
// Module options.

bool isModuleOption(const std::string& option);

// Joins each module option that is followed by another element with it ("name=value").
void joinModuleOptions(std::vector<std::string>& options);

// The module options for a main class in module mode ("module/package.Class"):
// "--add-opens=module/package=<runtime module>" when the class has a package, and the
// "--add-modules=" text listing the main module (module mode) and the runtime module.
struct ModuleOptions {
    std::string addOpens;  // empty when none is needed
    std::string addModules;
};
ModuleOptions moduleOptions(bool moduleMode, const std::string& mainClass, const std::string& runtimeModule);

// Removes every empty option.
void removeEmptyOptions(std::vector<std::string>& options);
