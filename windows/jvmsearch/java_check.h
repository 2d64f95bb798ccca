// The gate every candidate runtime passes: the executable exists, its version is known (from
// the per-user cache or by running it with -version), it is no unwanted pre-release, it is in
// range, javaw.exe exists for windowed applications, and it has not failed to load before.
#pragma once

#include "jvmsearch/java_candidate.h"

#include <cstdint>

// `exe` (kJavaExeCapacity) is normalised in place and may become ...\javaw.exe; on success
// `version` (capacity bytes) holds the version that passed.
bool checkJavaExe(char* exe, char* version, size_t versionCapacity, const VersionBounds& bounds, bool allowPreRelease);
inline bool checkJavaExe(JavaCandidate& candidate, const VersionBounds& bounds, bool allowPreRelease) {
    return checkJavaExe(candidate.exe, candidate.version, sizeof candidate.version, bounds, allowPreRelease);
}

// Remembers an executable whose JVM library did not load; checkJavaExe refuses it from then
// on. Returns whether the list still holds fewer than 50 entries.
bool addNonWorkingJava(const char* exe);

// Setting 130: pre-release runtimes are accepted everywhere.
bool preReleasesAllowedBySetting();
