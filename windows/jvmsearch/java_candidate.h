// What every runtime lookup produces: the checked java executable and its version text.
#pragma once

#include "core/capacities.h"
#include "jvmsearch/java_version.h"

#include <cstddef>
#include <string>

constexpr size_t kJavaExeCapacity = kPathCapacity;
constexpr size_t kJavaVersionCapacity = kShortTextCapacity;

struct JavaCandidate {
    // Absolute, lower-case path as checkJavaExe left it (possibly ...\javaw.exe).
    char exe[kJavaExeCapacity] = {};
    // The version that passed the check.
    char version[kJavaVersionCapacity] = {};
};

// The configured version range of one search (settings 126 and 127, parsed).
struct VersionBounds {
    JavaVersion minimum;
    JavaVersion maximum;
    // The texts as configured, for the reasons given in the log.
    std::string minimumText;
    std::string maximumText;
};
