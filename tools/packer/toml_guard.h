// Shapes of TOML text that the parsing library must never see. Its parser assumes that a
// table header begins with a name and that nothing outside strings and comments is a
// non-ASCII or control character; text that breaks these assumptions sends it into
// assertions or undefined behaviour instead of an error. Such text is invalid TOML in any
// case, so it is refused here, before parsing, with the line it is on.
#pragma once

#include <cstdint>
#include <string>

// True when `text` holds none of those shapes. Otherwise false, with `line` (1-based) and
// `reason` (completing "<file>:<line>: ") describing the first one.
bool checkTomlShapes(const std::string& text, uint32_t& line, std::string& reason);

// Whether `path` names a folder. A folder opens as an input stream on some systems and then
// fails at its first read with an exception the packer does not catch, so readers ask first.
bool namesAFolder(const std::string& path);
