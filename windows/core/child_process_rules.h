// The decisions of starting a child, apart from Win32: which program a command line names,
// and which handles a child is given.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The program a command line starts, read as the system reads the first word: up to the
// closing quote when it begins with one, else up to the first space or tab. Empty for a
// command line without a first word or with an unclosed quote.
std::wstring programOfCommandLine(const std::wstring& commandLine);
std::string programOfCommandLine(const std::string& commandLine);

// Whether `path` names a file without the current directory: "C:\..." or "\\server\...".
// Only such a program is started; any other name would be looked for in places a child
// must not come from.
bool isFullProgramPath(const std::wstring& path);
bool isFullProgramPath(const std::string& path);

// The handles a child inherits: the given ones without empty (0) values and without
// repeats, in their first order. The system refuses a list that names a handle twice.
std::vector<uintptr_t> handlesToInherit(const std::vector<uintptr_t>& handles);
