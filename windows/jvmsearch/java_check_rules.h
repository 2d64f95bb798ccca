// The portable half of the candidate gate: the javaw.exe form of an executable and the list
// of executables whose JVM library did not load.
#pragma once

#include "jvmsearch/java_candidate.h"

#include <optional>
#include <string>

// The windowed twin of `javaExe`: its ".exe" ending (any case) replaced by "w.exe", so that
// ...\java.exe becomes ...\javaw.exe. None for a path that does not end in ".exe", where no
// twin can be named.
std::optional<std::string> javawPathFor(const std::string& javaExe);

// Whether `exe` was given to addNonWorkingJava (exact, case-sensitive comparison).
bool isNonWorkingJava(const char* exe);

// Empties the list. Only tests call this: the launcher never forgets a failed runtime.
void forgetNonWorkingJavasForTest();

// Why a runtime whose version is outside the bounds is refused, in words a user can act on:
// "version 1.8.0_202 is below the minimum 11" or "version 21.0.1 is above the maximum 17".
// None for a version within the bounds (the range test of checkVersion).
std::optional<std::string> versionRangeRefusal(const std::string& version, const VersionBounds& bounds);

// The log line of a refused runtime: "runtime <exe> refused: <reason>".
std::string runtimeRefusedLine(const std::string& exe, const std::string& reason);
