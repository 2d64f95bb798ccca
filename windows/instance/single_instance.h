// The single-instance guard: a named semaphore derived from the launcher's path tells
// whether another instance of the same executable runs.
#pragma once

#include <cstddef>

constexpr size_t kSemaphoreNameCapacity = 6000;

// The final semaphore name, handed to the application as a system property; empty until
// the guard ran. Written once by singleInstanceGuard on the main thread.
extern char semaphoreName[kSemaphoreNameCapacity];

// Returns when this instance may run. In single-instance mode, when another instance holds
// the name, brings its windows forward (when configured) and ends the process with 0.
void singleInstanceGuard();
