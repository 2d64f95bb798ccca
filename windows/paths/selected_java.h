// The two facts about the chosen Java runtime that later stages read: its home, which the
// placeholders "%RAVEL_JVM_HOME%" and friends stand for, and its version text, which selects
// version-specific VM options. Written once per run by the JVM search (recordSelectedJava) on
// the main thread before the JVM thread starts; read-only afterwards.
#pragma once

#include "core/capacities.h"

#include <cstddef>

constexpr size_t kJvmHomeCapacity = kPathCapacity;

// The selected java executable's directory with ".." appended ("C:\Java\jre\bin\.."), not
// normalised; empty until a runtime has been chosen.
extern char jvmHome[kJvmHomeCapacity];

// Heap copy of the selected runtime's version text; nullptr until a runtime has been chosen.
extern const char* javaVersionText;

// Records `javaExePath` (an 8-bit path ending in "java.exe" or "javaw.exe") and its version.
// A home that would not fit jvmHome is cut there and the cut is logged.
void recordSelectedJava(const char* javaExePath, const char* versionText);
