// The single-instance guard: a named semaphore derived from the launcher's path tells
// whether another instance of the same executable runs.
#pragma once

#include "core/capacities.h"

#include <cstddef>

constexpr size_t kSemaphoreNameCapacity = kPathCapacity;

// The final semaphore name, handed to the application as a system property; empty until
// the guard ran. Written once by singleInstanceGuard on the main thread.
extern char semaphoreName[kSemaphoreNameCapacity];

// Returns when this instance may run. In single-instance mode, when another instance holds
// the name, brings its windows forward (when configured) and ends the process with 0.
void singleInstanceGuard();

// The launcher's path as the guard names it: the 8-bit launcher path made absolute, as a
// full path, lower-cased and with backslash runs collapsed. Empty when it cannot be had.
// Computed on first use and kept.
const char* canonicalLauncherPath();

// The process id of the instance holding the single-instance name, kept in the registry
// under HKEY_CURRENT_USER "SOFTWARE\brightmoor-labs\ravel\pids\" in the value named by the
// canonical launcher path. Writing fails silently; reading gives 0 when the value is missing
// or not exactly four bytes long.
void storeInstancePid();
unsigned long readInstancePid();

// Restores (when minimized) and brings to the front every visible top-level window of
// process `pid`, in the system's enumeration order.
void raiseInstanceWindows(unsigned long pid);
