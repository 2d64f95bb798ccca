// Writing the [executable] choices into a launcher image, portably: the resource tree is read,
// its icon, version information and manifest entries are replaced, and the new tree goes into
// a section of its own after the last section (the configuration block then follows that
// section). The subsystem is a field of the optional header.
//
// Packing is repeatable: the packer's section also records the image's resource directory
// and subsystem from before, and a packed launcher packed again starts from those, so packing
// twice gives the same bytes as packing once, and leaving [executable] out gives back the
// prebuilt launcher's own resources.
#pragma once

#include "executable_options.h"

#include <cstdint>
#include <string>
#include <vector>

// The name of the section the packer adds.
constexpr const char* kPackerSectionName = ".packres";

// The images of an .ico file; false with a reason when `bytes` is no icon file or an image
// lies outside it.
bool parseIconFile(const std::vector<uint8_t>& bytes, std::vector<IconImage>& images, std::string& reason);

// A version text of one to four numbers (0 to 65535) joined by ".", padded with zeros.
bool parseFileVersion(const std::string& text, uint16_t parts[4], std::string& reason);
// A language and code page as eight hexadecimal digits, "040904B0".
bool parseVersionLanguage(const std::string& text, uint16_t& language, uint16_t& codePage, std::string& reason);

// The VS_VERSIONINFO resource for the version keys of `options`.
std::vector<uint8_t> buildVersionInfo(const ExecutableOptions& options);
// Applies execution_level, dpi_awareness and long_path_aware to the manifest text `xml`.
bool editManifest(std::string& xml, const ExecutableOptions& options, std::string& error);

// Rewrites `image` (a launcher up to the end of its last section) for `options`. A signature
// (security directory) is dropped, with a note saying so; an earlier packing's section is
// replaced. False with a reason when the image's resources cannot be read or placed.
bool shipExecutable(std::vector<uint8_t>& image, const ExecutableOptions& options, std::vector<std::string>& notes,
                    std::string& error);

// The [executable] keys an earlier packing wrote into `image` (the whole packed file); empty
// when it wrote none.
bool readShippedOptions(const std::vector<uint8_t>& image, ExecutableOptions& options, std::string& error);
