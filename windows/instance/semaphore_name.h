// Names of the single-instance semaphore: a kernel-object namespace prefix, the launcher's
// canonical path made a valid object name, and (for instances that run side by side) a
// counter.
#pragma once

#include <cstddef>
#include <string>

// Every backslash and space becomes an underscore; other characters stay.
std::string sanitizeInstancePath(const std::string& canonicalPath);

// "Global\" or "Local\" + sanitised path + counter (none when counter < 0). False when the
// name would not fit `capacity` bytes with its terminator: such a name is refused, never cut,
// since a cut name could collide with another executable's.
bool buildSemaphoreName(bool global, const std::string& canonicalPath, long counter, size_t capacity,
                        std::string& name);
