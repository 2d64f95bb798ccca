// Text rules of the runtime search that need no system calls: the entries of the configured
// search sequence, which of them the version-blind fallback pass takes, the location files,
// and the message shown for how the last candidate was found.
#pragma once

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

// The configured message for a search that ended without a usable runtime.
struct FailureMessage {
    int id = 0;
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
