#include "jvmsearch/runtime_lookup_rules.h"

#include "core/text_helpers.h"
#include "jvmsearch/java_version.h"

std::string sharedRuntimesKey(const std::string& sharingKey) { return kSharedRuntimesRoot + sharingKey + "\\"; }

std::string withBackslashes(std::string path) {
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

namespace {

bool isSlash(char c) { return c == '\\' || c == '/'; }

// "C:\..." or "\\server\...": a directory that does not depend on the current one.
bool namesFixedDirectory(const std::string& entry) {
    if (entry.size() >= 2 && isSlash(entry[0]) && isSlash(entry[1])) return true;
    return entry.size() >= 3 && entry[1] == ':' && isSlash(entry[2]);
}

std::string withoutEnclosingQuotes(const std::string& entry) {
    if (entry.size() >= 2 && entry.front() == '"' && entry.back() == '"') return entry.substr(1, entry.size() - 2);
    return entry;
}

}  // namespace

std::vector<std::string> javaExeCandidatesOnPath(const std::string& path) {
    std::vector<std::string> candidates;
    for (const std::string& piece : splitList(path, ';', EmptyPieces::Skip)) {
        std::string directory = withoutEnclosingQuotes(piece);
        if (!namesFixedDirectory(directory)) continue;
        if (!isSlash(directory.back())) directory += '\\';
        candidates.push_back(directory + "java.exe");
    }
    return candidates;
}

std::vector<std::string> installationHomes(const std::string& list) {
    std::vector<std::string> homes;
    for (const std::string& installation : splitList(list, ';', EmptyPieces::Skip))
        homes.push_back(installation + "\\jre");
    return homes;
}

bool isInQwkJresFolder(const std::string& name) { return name.find("qwk_jres") != std::string::npos; }

bool locatedEntryConsidered(const std::string& name, bool useOutside, bool useQwk) {
    return isInQwkJresFolder(name) ? useQwk : useOutside;
}

std::optional<size_t> newestPassingEntry(const std::vector<CheckedEntry>& entries) {
    std::optional<size_t> best;
    // The best version starts empty, and every non-empty version is newer than the empty one;
    // a passing entry with an empty version therefore never wins.
    std::string bestVersion;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (!entries[i].passed || !isNewerVersion(entries[i].version, bestVersion)) continue;
        best = i;
        bestVersion = entries[i].version;
    }
    return best;
}

std::optional<FoundRuntime> pickUserOrMachine(const std::optional<FoundRuntime>& user,
                                              const std::optional<FoundRuntime>& machine) {
    if (!user || !machine) return user ? user : machine;
    return isNewerVersion(user->version, machine->version) ? user : machine;
}

std::optional<FoundRuntime> pickVendorOrLocated(const std::optional<FoundRuntime>& vendor,
                                                const std::optional<FoundRuntime>& located) {
    if (!vendor || !located) return vendor ? vendor : located;
    return isNewerVersion(vendor->version, located->version) ? vendor : located;
}

std::string chosenVendorKey(const std::string& jdkKey, const std::optional<std::string>& jdkCurrent,
                            const std::string& jreKey, const std::optional<std::string>& jreCurrent,
                            const VersionBounds& bounds) {
    auto inRange = [&bounds](const std::optional<std::string>& current) {
        return current && versionKeyInRange(*current, bounds.minimum, bounds.maximum) ? *current : std::string();
    };
    std::string jdk = inRange(jdkCurrent);
    std::string jre = inRange(jreCurrent);
    return isNewerVersion(jdk, jre) ? jdkKey + "\\" + jdk : jreKey + "\\" + jre;
}
