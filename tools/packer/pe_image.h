// Finding where a PE executable's own data ends, so a configuration block can be appended
// there: the end of the last section's raw data in the section table, which is where the
// launcher looks for its block.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The offset just past the last section's raw data, or an error text when `image` is not a
// PE executable whose headers and last section lie inside it.
bool findEndOfImage(const std::vector<uint8_t>& image, uint64_t& end, std::string& error);
