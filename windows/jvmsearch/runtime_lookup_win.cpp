#include "jvmsearch/runtime_lookup.h"

#include "config/config_store.h"
#include "core/capacities.h"
#include "core/environment.h"
#include "core/log.h"
#include "core/registry.h"
#include "core/text_format.h"
#include "jvmsearch/java_check.h"
#include "jvmsearch/runtime_lookup_rules.h"
#include "jvmsearch/unpack_jre.h"
#include "paths/path_helpers.h"

#include <string>
#include <vector>

namespace {

constexpr size_t kHomeCapacity = kPathCapacity;
constexpr size_t kCurrentVersionCapacity = 100;

bool jdkRequired() { return getSettingInt(SettingId::RequireJdk) != 0; }

RegistryKey openForReading(HKEY parent, const char* path, RegistryView view, LONG* status = nullptr) {
    return openRegistryKey(parent, path, KEY_READ, view, status);
}

// Derives the executable of `home` and checks it with the pre-release rule of setting 130.
bool checkHomeExe(const char* home, JavaCandidate& found, const VersionBounds& bounds) {
    return javaExeForHome(home, found.exe, sizeof found.exe) &&
           checkJavaExe(found, bounds, preReleasesAllowedBySetting());
}

bool storeFound(const FoundRuntime& runtime, JavaCandidate& found) {
    bool fits = copyBounded(found.exe, sizeof found.exe, runtime.exe.c_str());
    fits = copyBounded(found.version, sizeof found.version, runtime.version.c_str()) && fits;
    return fits;
}

FoundRuntime foundOf(const JavaCandidate& candidate) { return FoundRuntime{candidate.exe, candidate.version}; }

// One pass over the installations value in one registry view.
bool findInstallationInView(HKEY hive, RegistryView view, JavaCandidate& found, const VersionBounds& bounds) {
    std::string appId = getSettingCopy(SettingId::ApplicationId);
    logLine(L"checking app id %S (%d, %p)", appId.c_str(), static_cast<int>(view), static_cast<void*>(hive));
    if (appId.empty()) return false;
    LONG status = ERROR_SUCCESS;
    RegistryKey key = openForReading(hive, kInstallationsKey, view, &status);
    if (!key.valid()) {
        logLine(L"could not open installation node %d", static_cast<int>(status));
        return false;
    }
    char list[kHomeCapacity];
    if (!readRegistryText(key.get(), appId.c_str(), list, sizeof list) || list[0] == 0) {
        logLine(L"could not query value node %d", 0);
        return false;
    }
    logLine(L"found installations: %S", list);
    // The list is split into copies first, so the checks below cannot disturb it.
    for (const std::string& home : installationHomes(list)) {
        if (!javaExeForHome(home.c_str(), found.exe, sizeof found.exe))
            logLine(L"did not find java in %S", home.c_str());
        else if (checkJavaExe(found, bounds, preReleasesAllowedBySetting()))
            return true;
        else
            logLine(L"java version did not match in %S", home.c_str());
    }
    return false;
}

// The "CurrentVersion" of a vendor key; none when absent or unreadable.
std::optional<std::string> vendorCurrentVersion(const std::string& key) {
    char text[kCurrentVersionCapacity];
    if (!readRegistryText(HKEY_LOCAL_MACHINE, key.c_str(), "CurrentVersion", text, sizeof text, RegistryView::Default))
        return std::nullopt;
    return std::string(text);
}

bool checkVendorCurrentVersion(const char* jdkKey, const char* jreKey, JavaCandidate& found,
                               const VersionBounds& bounds) {
    std::optional<std::string> jdkCurrent = vendorCurrentVersion(jdkKey);
    std::optional<std::string> jreCurrent = jdkRequired() ? std::nullopt : vendorCurrentVersion(jreKey);
    std::string chosen = chosenVendorKey(jdkKey, jdkCurrent, jreKey, jreCurrent, bounds);
    char home[kHomeCapacity];
    if (!readRegistryText(HKEY_LOCAL_MACHINE, chosen.c_str(), "JavaHome", home, sizeof home, RegistryView::Default))
        return false;
    return checkHomeExe(home, found, bounds);
}

bool scanVendorVersions(const char* keyName, JavaCandidate& found, const VersionBounds& bounds) {
    RegistryKey key = openForReading(HKEY_LOCAL_MACHINE, keyName, RegistryView::Default);
    if (!key.valid()) return false;
    std::vector<std::string> kept;
    for (const std::string& name : registrySubkeyNames(key.get()))
        if (versionKeyInRange(name, bounds.minimum, bounds.maximum)) kept.push_back(name);
    for (const std::string& name : vendorKeyTryOrder(kept)) {
        RegistryKey subkey = openForReading(key.get(), name.c_str(), RegistryView::Default);
        if (!subkey.valid()) continue;
        char home[kHomeCapacity];
        if (!readRegistryText(subkey.get(), "JavaHome", home, sizeof home)) continue;
        if (checkHomeExe(home, found, bounds)) return true;
    }
    return false;
}

bool findVendorRuntime(JavaCandidate& found, const VersionBounds& bounds) {
    if (checkVendorCurrentVersion("SOFTWARE\\JavaSoft\\JDK", "SOFTWARE\\JavaSoft\\JRE", found, bounds)) return true;
    if (!jdkRequired() && scanVendorVersions("SOFTWARE\\JavaSoft\\JRE", found, bounds)) return true;
    if (scanVendorVersions("SOFTWARE\\JavaSoft\\JDK", found, bounds)) return true;
    if (checkVendorCurrentVersion("SOFTWARE\\JavaSoft\\Java Development Kit",
                                  "SOFTWARE\\JavaSoft\\Java Runtime Environment", found, bounds))
        return true;
    if (!jdkRequired() && scanVendorVersions("SOFTWARE\\JavaSoft\\Java Runtime Environment", found, bounds))
        return true;
    return scanVendorVersions("SOFTWARE\\JavaSoft\\Java Development Kit", found, bounds);
}

// The newest runtime of a located-runtimes key in one hive. Every considered entry is
// checked with pre-releases allowed; setting 130 does not apply to runtimes an installer
// registered.
std::optional<FoundRuntime> scanLocatedKey(HKEY hive, const std::string& keyName, bool useOutside, bool useQwk,
                                           const VersionBounds& bounds) {
    RegistryKey key = openForReading(hive, keyName.c_str(), RegistryView::Default);
    if (!key.valid()) return std::nullopt;
    std::vector<FoundRuntime> checked;
    std::vector<CheckedEntry> outcomes;
    for (const std::string& name : registrySubkeyNames(key.get())) {
        if (!locatedEntryConsidered(name, useOutside, useQwk)) continue;
        JavaCandidate candidate;
        copyBounded(candidate.exe, sizeof candidate.exe, withBackslashes(name).c_str());
        bool passed = checkJavaExe(candidate, bounds, true);
        checked.push_back(foundOf(candidate));
        outcomes.push_back(CheckedEntry{passed, candidate.version});
    }
    std::optional<size_t> best = newestPassingEntry(outcomes);
    if (!best) return std::nullopt;
    return checked[*best];
}

bool findLocatedRuntime(const std::string& keyName, bool useOutside, bool useQwk, JavaCandidate& found,
                        const VersionBounds& bounds) {
    std::optional<FoundRuntime> user = scanLocatedKey(HKEY_CURRENT_USER, keyName, useOutside, useQwk, bounds);
    std::optional<FoundRuntime> machine = scanLocatedKey(HKEY_LOCAL_MACHINE, keyName, useOutside, useQwk, bounds);
    std::optional<FoundRuntime> winner = pickUserOrMachine(user, machine);
    return winner && storeFound(*winner, found);
}

}  // namespace

bool javaExeForHome(const char* home, char* exe, size_t capacity) {
    std::string base = home == nullptr ? std::string() : home;
    std::string inner = base + "\\jre\\bin\\java.exe";
    if (!copyBounded(exe, capacity, inner.c_str())) {
        logError(L"java home too long: %S", base.c_str());
        return false;
    }
    if (jdkRequired()) return pathExists((base + "\\lib\\tools.jar").c_str());
    if (!pathExists(exe) && !copyBounded(exe, capacity, (base + "\\bin\\java.exe").c_str())) {
        logError(L"java home too long: %S", base.c_str());
        return false;
    }
    return true;
}

bool checkJavaHome(const char* home, JavaCandidate& found, const VersionBounds& bounds, bool allowPreRelease,
                   bool acceptAnyway) {
    char normalised[kHomeCapacity];
    // A home that cannot be normalised (too long, or not representable in the code page)
    // names no executable at all, so even accept-anyway has nothing to hand on.
    if (!makeAbsolutePath(normalised, sizeof normalised, home, false)) return false;
    unpackPackedJre(normalised);
    if (javaExeForHome(normalised, found.exe, sizeof found.exe) && checkJavaExe(found, bounds, allowPreRelease))
        return true;
    return acceptAnyway;
}

bool checkEnvJavaHome(const char* variable, JavaCandidate& found, const VersionBounds& bounds) {
    char home[kHomeCapacity];
    if (!readVariableBounded(variable, home, sizeof home)) return false;
    std::string backslashed = withBackslashes(home);
    return checkHomeExe(backslashed.c_str(), found, bounds);
}

bool checkJavaOnPath(JavaCandidate& found, const VersionBounds& bounds) {
    // PATH's own entries, walked here: the system's search would look in the launcher's
    // folder and the current directory first. The first java.exe there is the candidate,
    // as the system's search would give it.
    for (const std::string& exe : javaExeCandidatesOnPath(readVariable("PATH").text)) {
        if (exe.size() >= sizeof found.exe || !pathExists(exe.c_str())) continue;
        copyBounded(found.exe, sizeof found.exe, exe.c_str());
        return checkJavaExe(found, bounds, preReleasesAllowedBySetting());
    }
    return false;
}

bool findPreviousInstallation(HKEY hive, JavaCandidate& found, const VersionBounds& bounds) {
    return findInstallationInView(hive, RegistryView::Default, found, bounds) ||
           findInstallationInView(hive, RegistryView::Only32Bit, found, bounds);
}

bool findSharedRuntime(JavaCandidate& found, const VersionBounds& bounds) {
    char sharingKey[kHomeCapacity];
    getSetting(SettingId::SharingKey, sharingKey, sizeof sharingKey);
    logLine(L"Sharing key: %S", sharingKey);
    if (sharingKey[0] == 0) return false;
    return findLocatedRuntime(sharedRuntimesKey(sharingKey), true, true, found, bounds);
}

bool findRegistryRuntime(JavaCandidate& found, const VersionBounds& bounds) {
    bool publicOff = getSettingInt(SettingId::ApplicationRuntimesOnly) != 0;
    std::optional<FoundRuntime> vendor;
    if (!publicOff) {
        JavaCandidate candidate;
        if (findVendorRuntime(candidate, bounds)) {
            logLine(L"found sun %S %S", candidate.exe, candidate.version);
            vendor = foundOf(candidate);
        }
    }
    std::optional<FoundRuntime> located;
    JavaCandidate candidate;
    bool useAppRuntimes = getSettingInt(SettingId::UseLocatedAppRuntimes) != 0;
    if (findLocatedRuntime(kLocatedRuntimesKey, !publicOff, useAppRuntimes, candidate, bounds)) {
        logLine(L"found located %S %S", candidate.exe, candidate.version);
        located = foundOf(candidate);
    }
    std::optional<FoundRuntime> winner = pickVendorOrLocated(vendor, located);
    return winner && storeFound(*winner, found);
}
