// The runtime search without system calls: the whole order in which places are tried (the
// sequence below, over the lookups it is handed), the entries of the configured search
// sequence, which of them the version-blind fallback pass takes, the location files, and the
// message shown for how the last candidate was found.
#pragma once

#include "config/config_ids.h"
#include "core/capacities.h"
#include "jvmsearch/java_candidate.h"

#include <cstddef>
#include <string>
#include <vector>

// How the current candidate was found; it selects the failure message.
enum class LocationKind { None = 0, Path = 1, Directory = 2, Environment = 3, Registry = 4 };

// One entry of the search sequence (setting 128): its type letter and the rest of the entry.
struct SearchEntry {
    char letter = 0;
    std::string value;
};

// The entries of the ";"-separated sequence in order, each kept as its own copy; empty
// entries carry no letter and are left out. Letters are kept as they stand (unknown ones
// are skipped by the search, not here).
std::vector<SearchEntry> parseSearchSequence(const std::string& sequence);

// A, B and R name runtime homes.
bool isDirectoryEntry(char letter);

// The fallback pass's notion of an absolute value: longer than one character and either a
// drive form (second character ':') or a network form (two leading backslashes). Unlike the
// path helpers' test, "C:" and "C:jre" count as absolute here.
bool isAbsoluteLocation(const std::string& value);

// Whether an entry takes part in the fallback pass: B always, A and R only when relative,
// nothing else.
bool takesPartInFallbackPass(const SearchEntry& entry);

// The warning logged when the fallback pass takes a runtime whatever its version says:
// "warning: no runtime passed the checks; using <exe> (version <version>) whatever its
// version"; "version unknown" when none could be learned.
std::string fallbackWarning(const std::string& exe, const std::string& version);

// The configured message for a search that ended without a usable runtime.
struct FailureMessage {
    MessageId id{};
    bool hasArgument = false;
    std::string argument;
};

// No candidate at all, or the last one from the system search path: 1016 with the
// launcher's bitness; a directory: 1019 with it; an environment variable: 1017 with its
// name; the registry or an earlier installation: 1005 without argument.
FailureMessage failureMessageFor(LocationKind kind, const std::string& location, int launcherBits);

// Location file names below the application root directory.
extern const wchar_t kPreferredLocationFile[];
extern const wchar_t kInstallerLocationFile[];

// The location file's path: the root directory and the name (which begins with a backslash)
// without doubling the backslash when the root already ends with one.
std::wstring locationFilePath(const std::wstring& rootDirectory, const std::wstring& name);

// Removes every trailing carriage return and line feed.
void stripLineEnd(std::string& line);

// Capacity of every text the search handles in a fixed buffer: the version bounds, the
// search sequence, a location file's line and an entry's expanded value.
constexpr size_t kSearchTextCapacity = kPathCapacity;

// Which registry hive an earlier installation of the application is looked up in.
enum class InstallationScope { User, Machine };

// Everything the search order needs from the system. Each lookup that succeeds leaves its
// runtime in `found`; `bounds` is the configured version range. The launcher's implementation
// forwards to the lookups of runtime_lookup.h, java_check.h and jvm_library.h; tests use a
// recording fake. Settings are read from the configuration store directly and every line is
// logged through core/log.h, so both interleave with what the lookups log themselves.
struct SearchLookups {
    virtual ~SearchLookups() = default;

    // The first line of a location file (kPreferredLocationFile or kInstallerLocationFile)
    // below the application root, without its line end, in `line` of `capacity` bytes; false
    // when the file cannot be opened or holds no line.
    virtual bool readLocationFile(const wchar_t* name, char* line, size_t capacity) = 0;
    // Placeholders and environment variables of `text` (a buffer of `capacity` bytes)
    // expanded in place; false when the result had to be cut. The launcher's expansion does
    // not return when no temp directory can be found (message 1015).
    virtual bool expand(char* text, size_t capacity) = 0;

    virtual bool checkJavaHome(const char* home, JavaCandidate& found, const VersionBounds& bounds,
                               bool allowPreRelease, bool acceptAnyway) = 0;
    virtual bool checkEnvJavaHome(const char* variable, JavaCandidate& found, const VersionBounds& bounds) = 0;
    virtual bool checkJavaOnPath(JavaCandidate& found, const VersionBounds& bounds) = 0;
    virtual bool findSharedRuntime(JavaCandidate& found, const VersionBounds& bounds) = 0;
    virtual bool findRegistryRuntime(JavaCandidate& found, const VersionBounds& bounds) = 0;
    virtual bool findPreviousInstallation(InstallationScope scope, JavaCandidate& found,
                                          const VersionBounds& bounds) = 0;
    // Puts `exe` on the non-working list, which the checks refuse from then on; false once
    // the list is full.
    virtual bool addNonWorkingJava(const char* exe) = 0;
    virtual bool pathExists(const char* path) = 0;
    // Loads the JVM library of the checked executable; the implementation keeps the module.
    virtual bool load(const char* javaExe) = 0;
};

// How a search ended. `kind` and `location` describe the last candidate that was handed to
// `load` (kind None: no candidate at all); a registry candidate or an earlier installation
// leaves `location` as the one before had it, since its message takes no argument.
struct SearchOutcome {
    bool loaded = false;
    LocationKind kind = LocationKind::None;
    std::string location;
};

// The search order. The preferred location file, then the main pass over the configured
// sequence (setting 128, expanded), the installer location file, the fallback pass (raw
// values, any version, the executable must exist), earlier installations of the user, then
// of the machine, and after "Search sequence finished" the homes named by RAVEL_JAVA_HOME
// and then QUILLWORK_JAVA_HOME. The first library that loads ends the search. A registry
// runtime whose library does not load goes on the non-working list and the same lookup is
// asked again while the list has room; a failed load anywhere else simply moves on.
SearchOutcome searchJvm(SearchLookups& lookups, JavaCandidate& found);
