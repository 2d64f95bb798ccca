// The [executable] table of a TOML configuration: read and checked here (the icon file is
// read too), printed back by inspect.
#pragma once

#include "executable_options.h"
#include "toml_include.h"

#include <cstdint>
#include <string>

// Reads [executable] into `options`; `baseDirectory` resolves the icon path. On a mistake
// `line` and `reason` say where and what, and false is returned.
bool readExecutableTable(const toml::table& values, const std::string& baseDirectory, ExecutableOptions& options,
                         uint32_t& line, std::string& reason);

// The [executable] table for `options` as TOML, in the key table's order; empty when no key
// is given.
std::string executableTable(const ExecutableOptions& options);
