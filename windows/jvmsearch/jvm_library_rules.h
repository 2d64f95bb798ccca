// Text rules of loading a runtime's JVM library that need no system calls: where a java
// executable's libraries are, which subdirectories are tried, and the PATH values composed
// around a load and at start-up.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// Every PATH value the launcher composes holds at most this many characters, terminator
// included. A composition that would need more is refused or shortened as each function
// below states; nothing is ever written past it.
constexpr size_t kPathValueCapacity = 48000;

// Setting 152 is read into this many bytes.
constexpr size_t kJvmTypeCapacity = 200;

// The directory of a java.exe or javaw.exe path, without the file name and the backslash
// before it ("javaw.exe" is recognised in any ASCII case; any other name is taken to be as
// long as "java.exe"). Empty when the path is not longer than that.
std::string binDirectoryOf(const std::string& javaExe);

// For a JDK's bin\java.exe, the java.exe of the JRE inside the JDK: the path's directory,
// its backslash kept, followed by "..\jre\bin\java.exe". Empty when the path is not longer
// than its file name.
std::string innerJreJavaExe(const std::string& javaExe);

// The JVM subdirectories of a bin directory in the order they are tried: the configured
// one when it is not empty, then client, server, j9vm, hotspot and jrockit. A configured
// name that is one of those five is therefore tried twice when it fails the first time.
std::vector<std::string> jvmSubdirectoryOrder(const std::string& configured);

// Why no JVM library could be loaded from a runtime whose folders hold none: "no jvm.dll
// below c:\jre\bin in client, server, j9vm, hotspot or jrockit" (with every bin directory
// that was looked in, joined by " or below ").
std::string missingJvmLibraryReason(const std::vector<std::string>& binDirectories,
                                    const std::vector<std::string>& subdirectories);

// Why a JVM library that the system refused as a bad image is passed over: it is built for
// the other bitness.
std::string bitnessReason(int launcherBits);

// "binDir\subdirectory\jvm.dll".
std::string jvmLibraryPath(const std::string& binDirectory, const std::string& subdirectory);

// "directory;path" when it fits `capacity` (terminator included); none otherwise, so the
// caller leaves PATH as it is rather than setting a cut value.
std::optional<std::wstring> prependToPath(const std::wstring& directory, const std::wstring& path, size_t capacity);

// The entries of `path` (";"-separated) that begin with `windowsDirectory`, compared without
// regard to ASCII case over the directory's length, in their order, joined by ";". Empty
// entries and entries shorter than the directory are dropped.
std::wstring reducePathToWindowsDirectory(const std::wstring& path, const std::wstring& windowsDirectory);

// PATH with the application's native library directories in front.
struct NativeLibraryPath {
    std::wstring value;
    // How many of the given directories fitted; the first that did not ends the list.
    size_t directoriesKept = 0;
    // False when the current PATH did not fit the space the directories left: it is then
    // missing from `value` entirely (never cut in the middle of an entry).
    bool pathAppended = true;
};

// The directories joined by ";", a ";" after them unless there are none, then
// `currentPath`; the whole value within `capacity` characters, terminator included.
NativeLibraryPath composeNativeLibraryPath(const std::vector<std::wstring>& directories,
                                           const std::wstring& currentPath, size_t capacity);

// Whether the system version (as GetVersionEx reports it) is older than 6.4, where a
// runtime's own ucrtbase.dll is preloaded.
bool needsUcrtbasePreload(unsigned long major, unsigned long minor);
