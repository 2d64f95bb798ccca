// The decisions of the registry and installation lookups, apart from the registry: which keys
// to read, which entries to consider, and which of several fitting runtimes wins.
#pragma once

#include "jvmsearch/java_candidate.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// Keys the lookups read (the installer of the same packager writes them).
constexpr const char kLocatedRuntimesKey[] = "SOFTWARE\\brightmoor-labs\\ravel\\locatedjvms\\";
constexpr const char kSharedRuntimesRoot[] = "SOFTWARE\\brightmoor-labs\\quillwork\\sharedjvms\\";
constexpr const char kInstallationsKey[] = "SOFTWARE\\brightmoor-labs\\quillwork\\installations";

// The key of the runtimes shared under `sharingKey` (setting 167), ending in a backslash.
std::string sharedRuntimesKey(const std::string& sharingKey);

// `path` with every forward slash replaced by a backslash (registry names and environment
// values may be written either way).
std::string withBackslashes(std::string path);

// Where the "S" search entry looks for java.exe: "<entry>\java.exe" for each entry of the
// PATH value `path`, in order. Only PATH is searched, never the current directory or the
// launcher's folder, so a relative entry (".", "bin", "C:jdk\bin"), which would be taken
// against the current directory, is left out; so are empty entries. An entry in double
// quotes loses them, and a trailing backslash is not doubled.
std::vector<std::string> javaExeCandidatesOnPath(const std::string& path);

// The runtime homes of an installations value: every non-empty entry of the ";"-separated
// list followed by "\jre", in order.
std::vector<std::string> installationHomes(const std::string& list);

// A located-runtime key name that lies in an installer's shared "qwk_jres" folder
// (case-sensitive).
bool isInQwkJresFolder(const std::string& name);

// Whether a located entry takes part: outside entries when `useOutside`, qwk_jres entries
// when `useQwk`.
bool locatedEntryConsidered(const std::string& name, bool useOutside, bool useQwk);

// One found runtime: the executable as checkJavaExe left it and the version that passed.
struct FoundRuntime {
    std::string exe;
    std::string version;
};

// The outcome of checking one located entry, in enumeration order.
struct CheckedEntry {
    bool passed = false;
    std::string version;
};

// The entry that wins a located key: the newest that passed; among equal versions the first
// enumerated. None when no entry passed.
std::optional<size_t> newestPassingEntry(const std::vector<CheckedEntry>& entries);

// Located runtimes of both hives: the user's wins only when it is newer than the machine's.
std::optional<FoundRuntime> pickUserOrMachine(const std::optional<FoundRuntime>& user,
                                              const std::optional<FoundRuntime>& machine);

// Vendor keys against located runtimes: the vendor's wins only when it is newer.
std::optional<FoundRuntime> pickVendorOrLocated(const std::optional<FoundRuntime>& vendor,
                                                const std::optional<FoundRuntime>& located);

// The vendor subkey whose "JavaHome" is read for a pair of keys (JDK first, JRE second):
// each "CurrentVersion" counts only when present and its name is in range, and the JDK's
// wins only when newer. Equal or both absent choose the JRE key, the latter with an empty
// version name. The result is "<key>\<version>".
std::string chosenVendorKey(const std::string& jdkKey, const std::optional<std::string>& jdkCurrent,
                            const std::string& jreKey, const std::optional<std::string>& jreCurrent,
                            const VersionBounds& bounds);
