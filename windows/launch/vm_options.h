// The option sources that share the VM-options line syntax: the VM-options file beside the
// launcher and the files it includes, the configured option strings (setting 123 and the
// version-specific entries), the locale options, and Java argument files ("@file").
#pragma once

#include "core/command_line.h"
#include "launch/option_rules.h"

#include <cstdio>
#include <string>
#include <vector>

// The ordered 8-bit JVM options, in the file-system code page.
using OptionList = std::vector<std::string>;

// Opens the first VM-options file beside the launcher that exists (app.vmoptions before
// app.exe.vmoptions, for the long path and then the module path); nullptr when none does.
FILE* openDefaultVmOptionsFile();

// Reads an opened file to its end and closes it. `fileName` is the file's full path, or
// nullptr for the default file (relative includes then resolve against the launcher
// directory). A file that is already being read (an include cycle) is not read again.
void readVmOptionsFile(const wchar_t* fileName, FILE* file, OptionList& options, ClassPathOverrides& overrides);

// One option line (already trimmed and expanded).
void processOptionLine(const wchar_t* fileName, const std::wstring& line, OptionList& options,
                       ClassPathOverrides& overrides);

// Each element of a split option string as a line, "-include-options" joined with its operand.
void processOptionList(const ArgumentList& list, OptionList& options, ClassPathOverrides& overrides);

// Setting 123, then the first matching version-specific entry, then the locale options
// derived from the launcher arguments.
void addConfiguredOptions(const ArgumentList& launcherArgs, OptionList& options, ClassPathOverrides& overrides);

// Expands "@file" options through the runtime's jli.dll; the list is left as it is when the
// library or one of its functions is missing.
void expandArgumentFiles(OptionList& options);
