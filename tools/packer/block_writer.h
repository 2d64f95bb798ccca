// Writing the configuration block the launcher reads from its own file.
#pragma once

#include "description.h"

#include <cstdint>
#include <vector>

// The block for `description`: header, settings, messages, locale sections, then one record
// per included file. Settings 2002 and 2003 (count and paths of the included files) are
// added from the file list unless the description sets them itself.
std::vector<uint8_t> buildBlock(const Description& description);
