// Process-wide state of the launcher core. Written on the main thread by the entry point and
// the start-up preparation before any other thread exists (the service main overrides
// serviceName from the name the Service Control Manager passes); read anywhere afterwards.
#pragma once

#include "core/capacities.h"

#include <cstddef>

constexpr size_t kServiceNameCapacity = kPathCapacity;

// Name under which the service is installed, controlled and dispatched.
extern wchar_t serviceName[kServiceNameCapacity];
// True unless the user asked for a direct run; a service run adds -Xrs and ravel.isService.
extern bool serviceMode;
// Set by /run: the Java side must not redirect the application's output.
extern bool noRedirect;
// First character of setting 2001: 'i' selects the quillwork runtime class names.
extern char generatorKind;
