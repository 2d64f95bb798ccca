#include "jvmsearch/jvm_search.h"

#include "config/config_store.h"
#include "core/fatal.h"
#include "core/log.h"
#include "core/platform.h"
#include "core/text_format.h"
#include "jvmsearch/java_check.h"
#include "jvmsearch/jvm_library.h"
#include "jvmsearch/jvm_search_rules.h"
#include "jvmsearch/runtime_lookup.h"
#include "paths/expand_variables.h"
#include "paths/path_helpers.h"
#include "paths/selected_java.h"

#include <cstdio>
#include <memory>
#include <string>

namespace {

// The first line of a location file below the application root directory (setting 10003,
// made absolute), line ends removed; false when the file cannot be opened or holds no line.
bool readLocationLine(char* buffer, size_t capacity, const wchar_t* name) {
    if (capacity == 0) return false;
    buffer[0] = 0;
    wchar_t root[kSearchTextCapacity];
    getSettingWide(SettingId::RootDirectory, root, kSearchTextCapacity);
    wchar_t absoluteRoot[kSearchTextCapacity];
    if (!makeAbsolutePath(absoluteRoot, kSearchTextCapacity, root, false, true)) return false;
    std::wstring path = locationFilePath(absoluteRoot, name);

    FILE* file = _wfopen(path.c_str(), L"rt");
    if (file == nullptr) return false;
    // fgets stops at capacity - 1 bytes; the rest of a longer line is not read.
    bool read = fgets(buffer, static_cast<int>(capacity), file) != nullptr;
    fclose(file);
    if (!read) {
        buffer[0] = 0;
        return false;
    }
    std::string line = buffer;
    stripLineEnd(line);
    copyBounded(buffer, capacity, line.c_str());
    return true;
}

// The search's lookups in this process: each forwards to the launcher's own lookup, and
// `load` keeps the module of the last library it loaded (nullptr after a failed load).
class ProcessSearchLookups final : public SearchLookups {
public:
    HMODULE module() const { return module_; }

    bool readLocationFile(const wchar_t* name, char* line, size_t capacity) override {
        return readLocationLine(line, capacity, name);
    }
    bool expand(char* text, size_t capacity) override { return expandVariablesNarrow(text, capacity); }
    bool checkJavaHome(const char* home, JavaCandidate& found, const VersionBounds& bounds, bool allowPreRelease,
                       bool acceptAnyway) override {
        return ::checkJavaHome(home, found, bounds, allowPreRelease, acceptAnyway);
    }
    bool checkEnvJavaHome(const char* variable, JavaCandidate& found, const VersionBounds& bounds) override {
        return ::checkEnvJavaHome(variable, found, bounds);
    }
    bool checkJavaOnPath(JavaCandidate& found, const VersionBounds& bounds) override {
        return ::checkJavaOnPath(found, bounds);
    }
    bool findSharedRuntime(JavaCandidate& found, const VersionBounds& bounds) override {
        return ::findSharedRuntime(found, bounds);
    }
    bool findRegistryRuntime(JavaCandidate& found, const VersionBounds& bounds) override {
        return ::findRegistryRuntime(found, bounds);
    }
    bool findPreviousInstallation(InstallationScope scope, JavaCandidate& found, const VersionBounds& bounds) override {
        HKEY hive = scope == InstallationScope::User ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
        return ::findPreviousInstallation(hive, found, bounds);
    }
    bool addNonWorkingJava(const char* exe) override { return ::addNonWorkingJava(exe); }
    bool pathExists(const char* path) override { return ::pathExists(path); }
    bool load(const char* javaExe) override {
        module_ = loadJvmLibrary(javaExe);
        return module_ != nullptr;
    }

private:
    HMODULE module_ = nullptr;
};

void showFailure(const SearchOutcome& outcome) {
    FailureMessage message = failureMessageFor(outcome.kind, outcome.location, LAUNCHER_BITS);
    if (message.hasArgument)
        showConfigMessage(message.id, message.argument.c_str());
    else
        showConfigMessage(message.id, nullptr);
}

}  // namespace

bool LoadDLL(bool reportFailures) {
    // The candidate holds two large buffers: on the heap rather than the main thread's stack.
    auto found = std::make_unique<JavaCandidate>();
    logLine(L"LoadDLL (%d, %S, %d)", reportFailures ? 1 : 0, static_cast<const char*>(nullptr), 0);

    ProcessSearchLookups lookups;
    SearchOutcome outcome = searchJvm(lookups, *found);
    if (outcome.kind == LocationKind::None) {
        logError(L"No JVM found");
        if (reportFailures) showFailure(outcome);
        return false;
    }
    recordSelectedJava(found->exe, found->version);
    HMODULE module = lookups.module();
    if (module == nullptr) logError(L"Could not get DLL-Handle.");
    bool resolved = resolveCreateJavaVM(module);
    if (!resolved) logError(L"Could not load functions");
    if (module != nullptr && resolved) {
        logLine(L"Loading of JVM-DLL successful");
        return true;
    }
    if (reportFailures) showFailure(outcome);
    return false;
}
