// The per-user version cache without the registry: the key that belongs to an executable, the
// byte form of its last-write time, and which stored values are trusted. The registry side
// (version_cache.h) reads raw values and lets these functions judge them, so a value of the
// wrong type or size counts as absent instead of being half used.
#pragma once

#include "core/registry_rules.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// Root of the cache under HKEY_CURRENT_USER; one subkey per executable.
constexpr const char kVersionCacheRoot[] = "SOFTWARE\\brightmoor-labs\\ravel\\jvms\\";

// Version stored for an executable whose -version run ended with a non-zero exit code. It is
// never trusted, so the next check runs the executable again.
constexpr const char kFailedProbeVersion[] = "1.0.0";

using FileTimeBytes = std::array<uint8_t, 8>;

// The cache key of a normalised executable path: the root followed by the path with every
// backslash turned into a forward slash, so the whole path is one subkey name.
std::string versionCacheKey(const std::string& normalisedExe);

// A FILETIME as the cache stores it: 8 bytes, low 32 bits first, each little-endian.
FileTimeBytes fileTimeBytes(uint32_t low, uint32_t high);

// Whether a stored "LastWriteTime" is binary, exactly 8 bytes, and equal to `expected`.
bool storedTimeMatches(uint32_t type, const uint8_t* data, size_t size, const FileTimeBytes& expected);

// Versions that earlier launchers stored after cutting a banner short ("1.7.", "1.6.",
// "1.5."); such an entry counts as absent. Only the whole text is compared.
bool isDiscardedCachedVersion(const std::string& text);
