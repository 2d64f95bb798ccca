// The search for a Java runtime: every configured and well-known place in a fixed order,
// loading the first runtime whose JVM library loads.
#pragma once

#include "core/platform.h"
#include "jvmsearch/java_candidate.h"
#include "jvmsearch/jvm_search_rules.h"

#include <cstddef>

// True when a JVM library is loaded and JNI_CreateJavaVM resolved. Otherwise, when
// `reportFailures`, the message for how the last candidate was found has been shown; the
// caller ends the process.
bool LoadDLL(bool reportFailures);

// Walks the search order and returns the JVM library of the first candidate that loads, or
// nullptr. `found`, `kind` and `location` (capacity bytes) describe the last candidate;
// `kind` stays None only when no candidate was found at all.
HMODULE searchJvm(JavaCandidate& found, LocationKind& kind, char* location, size_t locationCapacity);

// The first line of a location file (".quillwork\pref_jre.cfg" or ".quillwork\inst_jre.cfg")
// below the application root directory, line ends removed; false when the file cannot be
// opened or holds no line. `buffer` holds `capacity` bytes.
bool readLocationFile(char* buffer, size_t capacity, const wchar_t* name);
