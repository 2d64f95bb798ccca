// The per-user registry cache of java.exe versions, keyed by the executable's normalised path
// and trusted only while the executable's last-write time is unchanged.
#pragma once

#include "core/platform.h"

#include <cstddef>

// The cached version of `exe` into `version` (`capacity` bytes). False when there is no entry,
// the stored time differs from `lastWriteTime`, a value has the wrong type or size, the text
// does not fit, or the text is one of the discarded short forms ("1.7.", "1.6.", "1.5.").
bool readCachedVersion(const char* exe, const FILETIME& lastWriteTime, char* version, size_t capacity);

// Stores `version` for `exe`; failures are ignored (the next run probes again).
void storeCachedVersion(const char* exe, const FILETIME& lastWriteTime, const char* version);
