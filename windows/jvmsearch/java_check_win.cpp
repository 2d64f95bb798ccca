#include "jvmsearch/java_check.h"

#include "config/config_store.h"
#include "core/log.h"
#include "core/text_format.h"
#include "jvmsearch/java_check_rules.h"
#include "jvmsearch/probe.h"
#include "jvmsearch/version_cache.h"
#include "jvmsearch/version_cache_rules.h"
#include "paths/path_helpers.h"

#include <cstring>

namespace {

// The path as every later step and the version cache see it: absolute against the launcher
// directory, the system's full form, lower case, single backslashes. A path that cannot be
// normalised (too long, or not representable in the code page) is refused.
bool normaliseExe(char* exe) {
    char normalised[kJavaExeCapacity];
    if (!makeAbsolutePath(normalised, sizeof normalised, exe, false)) return false;
    copyBounded(exe, kJavaExeCapacity, normalised);
    return true;
}

// The version of an existing executable: from the cache when its entry is trusted, otherwise
// by running it (and caching what it said). False when neither gives one.
bool learnVersion(const char* exe, const FILETIME& lastWriteTime, char* version, size_t capacity) {
    if (readCachedVersion(exe, lastWriteTime, version, capacity) && strcmp(version, kFailedProbeVersion) != 0) {
        logLine(L"got version from registry %S", version);
        return true;
    }
    version[0] = 0;
    if (probeJavaVersion(exe, lastWriteTime, version, capacity)) {
        logLine(L"got version from execution %S", version);
        storeCachedVersion(exe, lastWriteTime, version);
        return true;
    }
    logLine(L"couldn't get version");
    return false;
}

// Windowed applications run on javaw.exe: the check then also needs that file.
bool switchToJavaw(char* exe) {
    std::optional<std::string> javaw = javawPathFor(exe);
    if (!javaw || !copyBounded(exe, kJavaExeCapacity, javaw->c_str())) {
        logError(L"no javaw.exe can be named for %S", exe);
        return false;
    }
    return pathExists(exe);
}

// A version outside the configured range is refused with its reason; other refusals (a
// pre-release, no version at all) have their own lines.
void logRangeRefusal(const char* exe, const char* version, const VersionBounds& bounds) {
    std::optional<std::string> reason = versionRangeRefusal(version, bounds);
    if (reason) logLine(L"%S", runtimeRefusedLine(exe, *reason).c_str());
}

}  // namespace

bool checkJavaExe(char* exe, char* version, size_t versionCapacity, const VersionBounds& bounds, bool allowPreRelease) {
    logLine(L"checkJavaExe (%S, [out], %d, %d, %d)", exe, static_cast<int>(bounds.minimum.size()),
            static_cast<int>(bounds.maximum.size()), allowPreRelease ? 1 : 0);
    if (versionCapacity == 0) return false;
    bool result = false;
    FILETIME lastWriteTime = {};
    if (!normaliseExe(exe)) {
        logLine(L"file doesn't exist");
    } else if (!pathExists(exe, &lastWriteTime)) {
        logLine(L"file doesn't exist");
    } else {
        logLine(L"file exists");
        version[0] = 0;
        result = learnVersion(exe, lastWriteTime, version, versionCapacity) &&
                 checkVersion(version, bounds.minimum, bounds.maximum, allowPreRelease, preReleasesAllowedBySetting());
        if (!result && version[0] != 0) logRangeRefusal(exe, version, bounds);
    }
    if (result && getSettingInt(SettingId::ApplicationKind) == 1) result = switchToJavaw(exe);
    if (isNonWorkingJava(exe)) return false;
    logLine(L"checkJavaExe returning %d", result ? 1 : 0);
    return result;
}
