// The option assembly's view of this process: the launcher's 8-bit paths, the file system
// and the environment block for the path entries, and the VM-options sources of
// vm_options_win.cpp.

#include "launch/jvm_arguments.h"

#include "config/extraction.h"
#include "core/capacities.h"
#include "core/environment.h"
#include "core/fatal.h"
#include "core/launcher_state.h"
#include "core/log.h"
#include "core/platform.h"
#include "launch/vm_options.h"
#include "paths/expand_variables.h"
#include "paths/launcher_path.h"
#include "paths/path_helpers.h"

#include <cstring>
#include <utility>

namespace {

// Room an expansion may add to an entry before its result is cut (and the cut logged).
constexpr size_t kExpansionRoom = kPathCapacity;

class ProcessArgumentSources : public JvmArgumentSources {
public:
    std::string expandVariables(const std::string& text) override {
        std::vector<char> buffer(text.begin(), text.end());
        buffer.resize(text.size() + kExpansionRoom, 0);
        expandVariablesNarrow(buffer.data(), buffer.size());
        return buffer.data();
    }

    std::string launcherDirectory() override { return getLauncherDirectory(); }

    void collapseBackslashes(std::string& path) override { path = collapsedBackslashes(path); }

    bool pathExists(const std::string& path) override { return ::pathExists(path.c_str()); }

    std::vector<std::string> listFiles(const std::string& directory, const std::string& extension) override {
        return listFilesWithExtension(directory.c_str(), extension.c_str());
    }

    // The whole value, however long. A variable defined but empty is an empty value, not a
    // missing one: a required "E" entry tells the two apart in its message.
    std::optional<std::string> environmentVariable(const std::string& name) override {
        EnvironmentValue<char> value = readVariable(name.c_str());
        if (value.set) return value.text;
        if (value.missing) return std::nullopt;
        return std::string();
    }

    std::string absolutePath(const std::string& path) override {
        size_t capacity = path.size() + strlen(getLauncherDirectory()) + kExpansionRoom;
        std::vector<char> buffer(capacity, 0);
        // A refusal has been logged; the text then stays as it was written.
        if (!makeAbsolutePath(buffer.data(), buffer.size(), path.c_str(), true)) return path;
        return buffer.data();
    }
};

}  // namespace

void buildJvmArguments(JvmArguments& arguments, const std::vector<std::string>& launcherProperties,
                       const ArgumentList& args) {
    JvmArgumentState state;
    state.serviceMode = serviceMode;
    state.noRedirect = noRedirect;
    state.generatorKind = generatorKind;
    state.extractedArchives = extractedArchives();
    ProcessArgumentSources sources;
    ProcessOptionFiles optionFiles;
    OptionAssembly assembly = assembleOptions(launcherProperties, args, state, sources, optionFiles);
    if (assembly.missing) {
        logError(L"%S", missingEntryReason(*assembly.missing).c_str());
        failWithMessage(assembly.missing->messageId, assembly.missing->name.c_str());
    }
    fillVmArgs(arguments, std::move(assembly.options));
}
