// Reading a packed launcher's block back and printing it as a TOML configuration that packs
// to the same block.
//
// Every setting and message is printed under its readable name when its value has the form
// the TOML reader writes for that name (a flag "1"/"0", a canonical decimal, a valid version,
// list entries that pass their checks); anything else goes to [raw.settings] / [raw.messages]
// as it is, so no value is ever changed on the way. Included files are written out to a
// folder and named by [[files]] source entries.
//
// The TOML form cannot hold everything a block can: a block whose entries are not in the
// packer's canonical order (see toml_config.h), that repeats an id or a locale, whose header
// words differ from the packer's, or that has bytes after its last included file packs to a
// block with the same meaning but other bytes; each such difference is reported as a note.
#pragma once

#include "description.h"

#include <cstdint>
#include <string>
#include <vector>

struct PackedBlock {
    uint32_t headerWords[2] = {0, 0};  // the two 32-bit words after the magic
    uint64_t headerLong = 0;           // the 64-bit word after them
    Description description;
    uint64_t trailingBytes = 0;               // bytes after the last complete included-file record
    std::vector<std::string> negativeCounts;  // "setting count -2", ...: read as none, packed as 0
    // The bitness of the launcher the block was appended to (launcherBitsOfImage): message
    // texts equal to the defaults the packer composes for it are left out of the printed form.
    int launcherBits = 0;
};

// Parses the block at the start of `bytes` (everything from the end of the executable's last
// section on). Included-file records are read while complete ones remain.
bool parseBlock(const std::vector<uint8_t>& bytes, PackedBlock& block, std::string& error);

struct InspectOutput {
    std::string toml;
    // Files to write: the name below the files folder ("/"-separated) and the content.
    std::vector<std::pair<std::string, std::vector<uint8_t>>> files;
    // Where the printed form would pack to other bytes than the block's.
    std::vector<std::string> notes;
};

// Prints `block`. `filesFolder` is the folder text written before each included file's name in
// its source entry ("" when the block has no included files, or none are to be written).
// A message text the packer composed as a default is left out (removeDefaultTexts), so that
// packing the printed form composes it again from the settings as they are then. Fails only
// for a message that TOML cannot hold (UTF-16 with a lone surrogate). With `effective`, every
// named setting the block leaves out is shown as a "# default: key = value" comment with what
// the launcher does without it, and every left-out message text as a "# default:" comment;
// comments leave the packed block as it was.
bool inspectBlock(const PackedBlock& block, const std::string& filesFolder, InspectOutput& output, std::string& error,
                  bool effective = false);

// The text as a TOML string: a literal string when that needs no escapes and the text holds
// a backslash (Windows paths stay readable), a basic string with escapes otherwise.
std::string tomlString(const std::string& utf8);
// The name as a TOML key: bare when it can be, quoted otherwise.
std::string tomlKey(const std::string& utf8);
