// The [executable] table of a TOML configuration: read and checked here (the icon file is
// read too), printed back by inspect.
#pragma once

#include "executable_options.h"
#include "toml_include.h"

#include <cstdint>
#include <string>
#include <vector>

struct ExecutableMistake {
    uint32_t line;
    std::string reason;
};

// Reads [executable] into `options`; `baseDirectory` resolves the icon path. Every key is
// checked, so one reading finds every mistake of the table: each is added to `mistakes` with
// its line (an unknown key with the nearest known name), and false is returned when there was
// any. A key with a mistake is left out of `options`.
bool readExecutableTable(const toml::table& values, const std::string& baseDirectory, ExecutableOptions& options,
                         std::vector<ExecutableMistake>& mistakes);

// The [executable] table for `options` as TOML, in the key table's order; empty when no key
// is given.
std::string executableTable(const ExecutableOptions& options);
