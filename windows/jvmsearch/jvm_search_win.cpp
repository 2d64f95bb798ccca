#include "jvmsearch/jvm_search.h"

#include "config/config_store.h"
#include "core/fatal.h"
#include "core/log.h"
#include "core/text_format.h"
#include "jvmsearch/java_check.h"
#include "jvmsearch/jvm_library.h"
#include "jvmsearch/runtime_lookup.h"
#include "paths/expand_variables.h"
#include "paths/path_helpers.h"
#include "paths/selected_java.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr size_t kTextCapacity = 6000;

// One run of the search: the candidate buffers every lookup fills, the version range, and
// how the current candidate was found. Each place that yields a candidate hands it to
// `load`, which records the place and tries the runtime's JVM library.
class JvmSearch {
public:
    JvmSearch(JavaCandidate& found, LocationKind& kind, char* location, size_t locationCapacity)
        : found_(found), kind_(kind), location_(location), locationCapacity_(locationCapacity) {}

    HMODULE run();

private:
    void readBounds();
    bool tryPreferredLocation();
    bool mainPass(const std::vector<SearchEntry>& entries);
    bool tryEntry(const SearchEntry& entry, bool acceptAnyway);
    bool tryRegistry();
    bool tryInstallerLocation();
    bool fallbackPass(const std::vector<SearchEntry>& entries);
    bool tryPreviousInstallations();
    bool tryEnvironmentVariable(const char* name);

    bool load(LocationKind kind, const char* location);
    // Loads what a registry lookup finds, again and again: a runtime whose library does not
    // load goes on the non-working list, so the next look finds the next-best one. Ends when
    // nothing is found or the list is full.
    template <typename Lookup>
    bool loadFromRegistry(Lookup lookup);

    JavaCandidate& found_;
    LocationKind& kind_;
    char* location_;
    size_t locationCapacity_;
    VersionBounds bounds_;
    HMODULE module_ = nullptr;
};

HMODULE JvmSearch::run() {
    logLine(L"Searching for a JVM");
    kind_ = LocationKind::None;
    readBounds();
    if (tryPreferredLocation()) return module_;

    char sequence[kTextCapacity];
    getSetting(128, sequence, sizeof sequence);
    std::vector<SearchEntry> entries = parseSearchSequence(sequence);
    if (mainPass(entries) || tryInstallerLocation() || fallbackPass(entries) || tryPreviousInstallations())
        return module_;
    logLine(L"Search sequence finished");
    if (!tryEnvironmentVariable("RAVEL_JAVA_HOME")) tryEnvironmentVariable("QUILLWORK_JAVA_HOME");
    return module_;
}

void JvmSearch::readBounds() {
    char minimum[kTextCapacity];
    char maximum[kTextCapacity];
    getSetting(126, minimum, sizeof minimum);
    getSetting(127, maximum, sizeof maximum);
    logLine(L"MinVersion: %S, MaxVersion: %S", minimum, maximum);
    bounds_.minimum = parseVersion(minimum);
    bounds_.maximum = parseVersion(maximum);
}

bool JvmSearch::load(LocationKind kind, const char* location) {
    kind_ = kind;
    if (location != nullptr) copyBounded(location_, locationCapacity_, location);
    module_ = loadJvmLibrary(found_.exe);
    return module_ != nullptr;
}

bool JvmSearch::tryPreferredLocation() {
    char line[kTextCapacity];
    if (!readLocationFile(line, sizeof line, kPreferredLocationFile)) return false;
    logLine(L"Has preferred location %S", line);
    // The user named this runtime on purpose: a pre-release is taken as it is.
    if (!checkJavaHome(line, found_, bounds_, true, false)) return false;
    logLine(L"Using preferred location");
    return load(LocationKind::Directory, line);
}

bool JvmSearch::mainPass(const std::vector<SearchEntry>& entries) {
    bool acceptAnyway = getSettingInt(134) != 0;
    for (const SearchEntry& entry : entries)
        if (tryEntry(entry, acceptAnyway)) return true;
    return false;
}

bool JvmSearch::tryEntry(const SearchEntry& entry, bool acceptAnyway) {
    char value[kTextCapacity];
    if (!copyBounded(value, sizeof value, entry.value.c_str()) || !expandVariablesNarrow(value, sizeof value)) {
        // A cut value would name some other place; the entry is not tried at all.
        logError(L"location %S too long after expansion, skipped", entry.value.c_str());
        return false;
    }
    logLine(L"Testing location %S (type %c)", value, static_cast<int>(static_cast<unsigned char>(entry.letter)));
    switch (entry.letter) {
    case 'A':
    case 'B':
    case 'R':
        return checkJavaHome(value, found_, bounds_, preReleasesAllowedBySetting(), acceptAnyway) &&
               load(LocationKind::Directory, value);
    case 'E':
        return checkEnvJavaHome(value, found_, bounds_) && load(LocationKind::Environment, value);
    case 'S':
        return checkJavaOnPath(found_, bounds_) && load(LocationKind::Path, value);
    case 'Y':
        return tryRegistry();
    default:
        return false;
    }
}

template <typename Lookup>
bool JvmSearch::loadFromRegistry(Lookup lookup) {
    while (lookup()) {
        if (load(LocationKind::Registry, nullptr)) return true;
        if (!addNonWorkingJava(found_.exe)) return false;
    }
    return false;
}

bool JvmSearch::tryRegistry() {
    return loadFromRegistry([this] { return findSharedRuntime(found_, bounds_); }) ||
           loadFromRegistry([this] { return findRegistryRuntime(found_, bounds_); });
}

bool JvmSearch::tryInstallerLocation() {
    char line[kTextCapacity];
    if (!readLocationFile(line, sizeof line, kInstallerLocationFile)) return false;
    logLine(L"Has installer location %S", line);
    if (!checkJavaHome(line, found_, bounds_, preReleasesAllowedBySetting(), false)) return false;
    logLine(L"Using installer location");
    return load(LocationKind::Directory, line);
}

// The configured directories once more, as written (no placeholder expansion), whatever
// their version: a runtime the application brought along is better than none.
bool JvmSearch::fallbackPass(const std::vector<SearchEntry>& entries) {
    for (const SearchEntry& entry : entries) {
        if (!takesPartInFallbackPass(entry)) continue;
        const char* value = entry.value.c_str();
        logLine(L"Testing relative location %S", value);
        if (!checkJavaHome(value, found_, bounds_, true, true) || !pathExists(found_.exe)) continue;
        logLine(L"%S exists", found_.exe);
        if (load(LocationKind::Directory, value)) return true;
    }
    return false;
}

bool JvmSearch::tryPreviousInstallations() {
    if (findPreviousInstallation(HKEY_CURRENT_USER, found_, bounds_)) {
        logLine(L"found JRE from previous installation (user) %S", found_.exe);
        if (load(LocationKind::Registry, nullptr)) return true;
    }
    if (findPreviousInstallation(HKEY_LOCAL_MACHINE, found_, bounds_)) {
        logLine(L"found JRE from previous installation (machine) %S", found_.exe);
        if (load(LocationKind::Registry, nullptr)) return true;
    }
    return false;
}

bool JvmSearch::tryEnvironmentVariable(const char* name) {
    return checkEnvJavaHome(name, found_, bounds_) && load(LocationKind::Environment, name);
}

void showFailure(LocationKind kind, const char* location) {
    FailureMessage message = failureMessageFor(kind, location, LAUNCHER_BITS);
    if (message.hasArgument)
        showConfigMessage(message.id, message.argument.c_str());
    else
        showConfigMessage(message.id, nullptr);
}

}  // namespace

bool readLocationFile(char* buffer, size_t capacity, const wchar_t* name) {
    if (capacity == 0) return false;
    buffer[0] = 0;
    wchar_t root[kTextCapacity];
    getSettingWide(10003, root, kTextCapacity);
    wchar_t absoluteRoot[kTextCapacity];
    if (!makeAbsolutePath(absoluteRoot, kTextCapacity, root, false, true)) return false;
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

HMODULE searchJvm(JavaCandidate& found, LocationKind& kind, char* location, size_t locationCapacity) {
    return JvmSearch(found, kind, location, locationCapacity).run();
}

bool LoadDLL(bool reportFailures) {
    auto found = std::make_unique<JavaCandidate>();
    auto location = std::make_unique<char[]>(kTextCapacity);
    logLine(L"LoadDLL (%d, %S, %d)", reportFailures ? 1 : 0, static_cast<const char*>(nullptr), 0);

    LocationKind kind = LocationKind::None;
    HMODULE module = searchJvm(*found, kind, location.get(), kTextCapacity);
    if (kind == LocationKind::None) {
        logError(L"No JVM found");
        if (reportFailures) showFailure(kind, location.get());
        return false;
    }
    recordSelectedJava(found->exe, found->version);
    if (module == nullptr) logError(L"Could not get DLL-Handle.");
    bool resolved = resolveCreateJavaVM(module);
    if (!resolved) logError(L"Could not load functions");
    if (module != nullptr && resolved) {
        logLine(L"Loading of JVM-DLL successful");
        return true;
    }
    if (reportFailures) showFailure(kind, location.get());
    return false;
}
