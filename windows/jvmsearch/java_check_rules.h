// The portable half of the candidate gate: the javaw.exe form of an executable and the list
// of executables whose JVM library did not load.
#pragma once

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
