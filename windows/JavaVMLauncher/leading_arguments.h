// The five leading arguments of the launcher class's main, read from the configuration.
// Portable: the expansion of the two path settings and their resolution against the launcher
// directory come in as functions, so the rules can be checked without a file system.
#pragma once

#include "JavaVMLauncher/main_arguments.h"

#include <functional>
#include <string>

// Setting `id` read (wide) and expanded with the launcher's wide placeholder forms.
using ExpandedSetting = std::function<std::wstring(int id)>;
// A path made absolute against the wide launcher directory, case kept.
using MakeAbsolute = std::function<std::wstring(const std::wstring& path)>;

// Application kind (setting 107 equal to 1), the main class (setting 122, with "/" in front
// in module mode, setting 133), the paths of settings 103 and 105 when settings 102 and 104
// enable them, and the flag of setting 106.
LeadingArguments leadingArgumentsFromConfiguration(const ExpandedSetting& expandedSetting,
                                                   const MakeAbsolute& makeAbsolute);

// A configured path argument after expansion: a text that still begins with "$" is an
// unresolved placeholder and is passed on unchanged; anything else is made absolute.
std::wstring resolveLeadingPath(const std::wstring& expanded, const MakeAbsolute& makeAbsolute);
