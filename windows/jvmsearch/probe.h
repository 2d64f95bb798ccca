// Learning a java.exe's version by running it with -version and reading the banner it writes
// to standard error.
#pragma once

#include "core/platform.h"

#include <cstddef>
#include <optional>
#include <string>

// Runs `exe -version` with the Java options variables hidden from it, bounded by
// kProbeTimeoutMs (probe_rules.h) in all; on success the banner's version is in `version`
// (`capacity` bytes). A non-zero exit code stores the marker version "1.0.0" in the cache;
// a java.exe still running at the end of the bound is terminated.
bool probeJavaVersion(const char* exe, const FILETIME& lastWriteTime, char* version, size_t capacity);

// Removes variable `name` from the process environment and returns its value; none (and
// nothing changed) when it is not set, none (but removed) when it could not be read whole.
std::optional<std::string> saveAndClearEnv(const char* name);

// Sets `name` back to `saved` when a value was saved.
void restoreEnv(const char* name, const std::optional<std::string>& saved);
