// The places a Java runtime can be found: a home directory, an environment variable, the
// system search path, the vendor's and the packager's registry keys, earlier installations.
// Each lookup derives candidate executables, checks them (java_check.h) and on success
// leaves the winner in `found`.
#pragma once

#include "core/platform.h"
#include "jvmsearch/java_candidate.h"

// The executable of one home: jre\bin\java.exe when present (or, with a JDK required,
// whether lib\tools.jar exists), else bin\java.exe. No version check.
bool javaExeForHome(const char* home, char* exe, size_t capacity);

// One home directory: normalised, packed archives unpacked, executable derived and checked.
// With `acceptAnyway` the lookup succeeds even when the check fails.
bool checkJavaHome(const char* home, JavaCandidate& found, const VersionBounds& bounds, bool allowPreRelease,
                   bool acceptAnyway);

// The home named by an environment variable (forward slashes accepted).
bool checkEnvJavaHome(const char* variable, JavaCandidate& found, const VersionBounds& bounds);

// java.exe found through the system search path.
bool checkJavaOnPath(JavaCandidate& found, const VersionBounds& bounds);

// Earlier installations of this application (setting 160) in `hive`.
bool findPreviousInstallation(HKEY hive, JavaCandidate& found, const VersionBounds& bounds);

// Runtimes shared between applications under the sharing key (setting 167).
bool findSharedRuntime(JavaCandidate& found, const VersionBounds& bounds);

// The vendor's registry keys and the located runtimes; the newer wins.
bool findRegistryRuntime(JavaCandidate& found, const VersionBounds& bounds);
