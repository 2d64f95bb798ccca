// Names and the command line of restoring a packed runtime, apart from the file system.
#pragma once

#include <optional>
#include <string>

// The JAR a packed file belongs to: "rt.jar.pack" gives "rt.jar". None for a name that does
// not end in ".jar.pack" (any case) or is nothing but that ending: the file search may match
// more than was asked for, and such a name has no JAR to restore.
std::optional<std::string> jarNameForPackedFile(const std::string& fileName);

// The arguments handed to unpack200.exe (its own path is given separately):
// -r "<packed>" "<jar>".
std::string unpack200CommandLine(const std::string& packedPath, const std::string& jarPath);
