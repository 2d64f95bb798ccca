// The packer's readable configuration format: a TOML file whose tables and keys are named in
// key_table.cpp (see docs/configuration.md, generated from that table).
//
// The block it gives is canonical, whatever the order of the file: settings in ascending id,
// base messages in ascending id, locale sections ordered by name byte-wise (so "de" comes
// before "de_AT" and a more specific section overrides a more general one), their overrides
// in ascending id, and the included files in the order of [[files]]. Settings 2002 and 2003
// are derived from [[files]] unless [raw.settings] gives them.
#pragma once

#include "description.h"

#include <string>

// Parses `text` (the contents of the file `name`); `baseDirectory` resolves the sources of
// included files, which are read here. On mistakes `error` holds one "<name>:<line>: <reason>"
// line for each (joined with "\n", in line order), false is returned and `description` must
// not be used. A syntax error stops the reading, so it is reported alone.
bool parseTomlConfig(const std::string& text, const std::string& name, const std::string& baseDirectory,
                     Description& description, std::string& error);

// Whether a configuration file is TOML rather than the line format: by the extension ".toml",
// otherwise by its first meaningful line (a "[table]" header or a "key = value" pair whose key
// is none of the line format's keywords).
bool looksLikeToml(const std::string& fileName, const std::string& text);

// An included file's path as the launcher can extract it: relative, backslash-separated, at
// most one directory level, no "." or ".." parts, no ";". On failure `reason` completes
// "files.path \"...\" <reason>".
bool checkIncludedFilePath(const std::string& path, std::string& reason);
// Whether two names denote the same file on Windows (ASCII letters compared without case).
bool sameWindowsName(const std::string& a, const std::string& b);
