// The project's version, as the build defines it once for every target (CMakeLists.txt); the
// prebuilt launchers carry the same text in their version information.
#pragma once

#ifndef RAVEL_PROJECT_VERSION
#error "RAVEL_PROJECT_VERSION is defined by the build (CMakeLists.txt)"
#endif

constexpr const char* kProjectVersion = RAVEL_PROJECT_VERSION;
