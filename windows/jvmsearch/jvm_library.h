// Loading the chosen runtime's JVM library into this process, with the PATH and DLL-directory
// changes that its dependencies need, and the environment preparations made at start.
#pragma once

#include "core/capacities.h"
#include "core/platform.h"
#include "jvmsearch/create_java_vm.h"

#include <cstddef>

// Directory (8-bit) from which jvm.dll was last loaded; empty before. Written by the search.
extern char jvmBinDirectory[kPathCapacity];

// JNI_CreateJavaVM of the loaded library, once resolved.
extern CreateJavaVMFunction createJavaVM;

// Loads jvm.dll for a checked java.exe (trying the JDK's inner JRE as well); nullptr when
// nothing loads, with PATH and DLL directories as they were before the attempt.
HMODULE loadJvmLibrary(const char* javaExe);

// One attempt of loadJvmLibrary: the executable's bin directory goes in front of PATH (and
// is registered as a DLL directory) and the JVM subdirectories are tried in order; when
// none loads, both changes are undone.
HMODULE loadJvmFromBinDir(const char* javaExe);

// Loads binDirectory\subdirectory\jvm.dll; on success jvmBinDirectory becomes binDirectory.
HMODULE tryJvmDll(const char* binDirectory, const char* subdirectory);

// Before Windows 8.1 (6.4 as the system reports it) a runtime's own ucrtbase.dll is loaded
// first, so that the JVM does not pick up an older universal C runtime.
void preloadUcrtbase(const char* binDirectory);

// Registers a directory for dependent DLLs when setting 154 asks for it and the system has
// AddDllDirectory; the cookie (nullptr when nothing was registered) undoes it.
using DllDirectoryCookie = void*;
DllDirectoryCookie addDllDirectory(const char* directory);
void removeDllDirectory(DllDirectoryCookie cookie);

// Looks up JNI_CreateJavaVM in the module and keeps it in createJavaVM.
bool resolveCreateJavaVM(HMODULE module);

// Puts the configured native library directories (setting 10004) in front of PATH.
void setNativeLibraryPath();

// Reduces PATH to the entries under the Windows directory when setting 10010 asks for it.
void reducePath();

// Removes the Java options environment variables so the JVM created later sees none.
void clearJavaOptionsEnv();
