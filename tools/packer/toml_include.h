// toml++ as the packer uses it: header-only and without exceptions, so that the same sources
// build natively and with MinGW, and parse errors come back as values.
#pragma once

#define TOML_HEADER_ONLY 1
#define TOML_EXCEPTIONS 0
#define TOML_ENABLE_FORMATTERS 0
#include <toml++/toml.h>
