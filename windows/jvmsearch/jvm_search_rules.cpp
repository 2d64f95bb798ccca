#include "jvmsearch/jvm_search_rules.h"

#include "config/config_store.h"
#include "core/log.h"
#include "core/text_format.h"
#include "core/text_helpers.h"
#include "jvmsearch/java_check.h"
#include "jvmsearch/java_version.h"

const wchar_t kPreferredLocationFile[] = L"\\.quillwork\\pref_jre.cfg";
const wchar_t kInstallerLocationFile[] = L"\\.quillwork\\inst_jre.cfg";

std::vector<SearchEntry> parseSearchSequence(const std::string& sequence) {
    std::vector<SearchEntry> entries;
    for (const std::string& piece : splitList(sequence, ';', EmptyPieces::Skip)) {
        SearchEntry entry;
        entry.letter = piece[0];
        entry.value = piece.substr(1);
        entries.push_back(entry);
    }
    return entries;
}

bool isDirectoryEntry(char letter) { return letter == 'A' || letter == 'B' || letter == 'R'; }

bool isAbsoluteLocation(const std::string& value) {
    if (value.size() <= 1) return false;
    return value[1] == ':' || (value[0] == '\\' && value[1] == '\\');
}

std::string fallbackWarning(const std::string& exe, const std::string& version) {
    return "warning: no runtime passed the checks; using " + exe + " (" +
           (version.empty() ? std::string("version unknown") : "version " + version) + ") whatever its version";
}

bool takesPartInFallbackPass(const SearchEntry& entry) {
    if (entry.letter == 'B') return true;
    if (entry.letter == 'A' || entry.letter == 'R') return !isAbsoluteLocation(entry.value);
    return false;
}

FailureMessage failureMessageFor(LocationKind kind, const std::string& location, int launcherBits) {
    FailureMessage message;
    switch (kind) {
    case LocationKind::None:
    case LocationKind::Path:
        message.id = MessageId::NoRuntimeFound;
        message.hasArgument = true;
        message.argument = std::to_string(launcherBits);
        break;
    case LocationKind::Directory:
        message.id = MessageId::DirectoryRuntimeUnusable;
        message.hasArgument = true;
        message.argument = location;
        break;
    case LocationKind::Environment:
        message.id = MessageId::EnvironmentRuntimeUnusable;
        message.hasArgument = true;
        message.argument = location;
        break;
    case LocationKind::Registry:
        message.id = MessageId::RegistryRuntimeUnusable;
        break;
    }
    return message;
}

std::wstring locationFilePath(const std::wstring& rootDirectory, const std::wstring& name) {
    if (!rootDirectory.empty() && rootDirectory.back() == L'\\' && !name.empty() && name.front() == L'\\')
        return rootDirectory + name.substr(1);
    return rootDirectory + name;
}

void stripLineEnd(std::string& line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
}

namespace {

// One run of the search: the candidate every lookup fills, the version range, and how the
// current candidate was found. Each place that yields a candidate hands it to `load`, which
// records the place and asks for the runtime's JVM library.
class JvmSearch {
public:
    JvmSearch(SearchLookups& lookups, JavaCandidate& found) : lookups_(lookups), found_(found) {}

    SearchOutcome run();

private:
    bool runSteps();
    void readBounds();
    bool tryPreferredLocation();
    bool mainPass(const std::vector<SearchEntry>& entries);
    bool tryEntry(const SearchEntry& entry, bool acceptAnyway);
    bool tryRegistry();
    bool tryInstallerLocation();
    bool fallbackPass(const std::vector<SearchEntry>& entries);
    bool tryPreviousInstallations();
    bool tryPreviousInstallation(InstallationScope scope, const wchar_t* scopeName);
    bool tryEnvironmentVariable(const char* name);

    bool load(LocationKind kind, const char* location);
    // Loads what a registry lookup finds, again and again: a runtime whose library does not
    // load goes on the non-working list, so the next look finds the next-best one. Ends when
    // nothing is found or the list is full.
    template <typename Lookup>
    bool loadFromRegistry(Lookup lookup);

    SearchLookups& lookups_;
    JavaCandidate& found_;
    VersionBounds bounds_;
    SearchOutcome outcome_;
};

SearchOutcome JvmSearch::run() {
    outcome_.loaded = runSteps();
    return outcome_;
}

bool JvmSearch::runSteps() {
    logLine(L"Searching for a JVM");
    readBounds();
    if (tryPreferredLocation()) return true;

    char sequence[kSearchTextCapacity];
    getSetting(SettingId::SearchSequence, sequence, sizeof sequence);
    std::vector<SearchEntry> entries = parseSearchSequence(sequence);
    if (mainPass(entries) || tryInstallerLocation() || fallbackPass(entries) || tryPreviousInstallations()) return true;
    logLine(L"Search sequence finished");
    return tryEnvironmentVariable("RAVEL_JAVA_HOME") || tryEnvironmentVariable("QUILLWORK_JAVA_HOME");
}

void JvmSearch::readBounds() {
    char minimum[kSearchTextCapacity];
    char maximum[kSearchTextCapacity];
    getSetting(SettingId::MinVersion, minimum, sizeof minimum);
    getSetting(SettingId::MaxVersion, maximum, sizeof maximum);
    logLine(L"MinVersion: %S, MaxVersion: %S", minimum, maximum);
    bounds_.minimum = parseVersion(minimum);
    bounds_.maximum = parseVersion(maximum);
    bounds_.minimumText = minimum;
    bounds_.maximumText = maximum;
}

bool JvmSearch::load(LocationKind kind, const char* location) {
    outcome_.kind = kind;
    if (location != nullptr) outcome_.location = location;
    return lookups_.load(found_.exe);
}

bool JvmSearch::tryPreferredLocation() {
    char line[kSearchTextCapacity];
    if (!lookups_.readLocationFile(kPreferredLocationFile, line, sizeof line)) return false;
    logLine(L"Has preferred location %S", line);
    // The user named this runtime on purpose: a pre-release is taken as it is.
    if (!lookups_.checkJavaHome(line, found_, bounds_, true, false)) return false;
    logLine(L"Using preferred location");
    return load(LocationKind::Directory, line);
}

bool JvmSearch::mainPass(const std::vector<SearchEntry>& entries) {
    bool acceptAnyway = getSettingInt(SettingId::TrustDirectories) != 0;
    for (const SearchEntry& entry : entries)
        if (tryEntry(entry, acceptAnyway)) return true;
    return false;
}

bool JvmSearch::tryEntry(const SearchEntry& entry, bool acceptAnyway) {
    char value[kSearchTextCapacity];
    if (!copyBounded(value, sizeof value, entry.value.c_str()) || !lookups_.expand(value, sizeof value)) {
        // A cut value would name some other place; the entry is not tried at all.
        logError(L"location %S too long after expansion, skipped", entry.value.c_str());
        return false;
    }
    logLine(L"Testing location %S (type %c)", value, static_cast<int>(static_cast<unsigned char>(entry.letter)));
    switch (entry.letter) {
    case 'A':
    case 'B':
    case 'R':
        return lookups_.checkJavaHome(value, found_, bounds_, preReleasesAllowedBySetting(), acceptAnyway) &&
               load(LocationKind::Directory, value);
    case 'E':
        return lookups_.checkEnvJavaHome(value, found_, bounds_) && load(LocationKind::Environment, value);
    case 'S':
        return lookups_.checkJavaOnPath(found_, bounds_) && load(LocationKind::Path, value);
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
        if (!lookups_.addNonWorkingJava(found_.exe)) return false;
    }
    return false;
}

bool JvmSearch::tryRegistry() {
    return loadFromRegistry([this] { return lookups_.findSharedRuntime(found_, bounds_); }) ||
           loadFromRegistry([this] { return lookups_.findRegistryRuntime(found_, bounds_); });
}

bool JvmSearch::tryInstallerLocation() {
    char line[kSearchTextCapacity];
    if (!lookups_.readLocationFile(kInstallerLocationFile, line, sizeof line)) return false;
    logLine(L"Has installer location %S", line);
    if (!lookups_.checkJavaHome(line, found_, bounds_, preReleasesAllowedBySetting(), false)) return false;
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
        if (!lookups_.checkJavaHome(value, found_, bounds_, true, true) || !lookups_.pathExists(found_.exe)) continue;
        logLine(L"%S exists", found_.exe);
        logLine(L"%S", fallbackWarning(found_.exe, found_.version).c_str());
        if (load(LocationKind::Directory, value)) return true;
    }
    return false;
}

bool JvmSearch::tryPreviousInstallations() {
    return tryPreviousInstallation(InstallationScope::User, L"user") ||
           tryPreviousInstallation(InstallationScope::Machine, L"machine");
}

bool JvmSearch::tryPreviousInstallation(InstallationScope scope, const wchar_t* scopeName) {
    if (!lookups_.findPreviousInstallation(scope, found_, bounds_)) return false;
    logLine(L"found JRE from previous installation (%s) %S", scopeName, found_.exe);
    return load(LocationKind::Registry, nullptr);
}

bool JvmSearch::tryEnvironmentVariable(const char* name) {
    return lookups_.checkEnvJavaHome(name, found_, bounds_) && load(LocationKind::Environment, name);
}

}  // namespace

SearchOutcome searchJvm(SearchLookups& lookups, JavaCandidate& found) { return JvmSearch(lookups, found).run(); }
