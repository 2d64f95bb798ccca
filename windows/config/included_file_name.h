// The names an included file's path may not use, one rule for the packer that writes the
// path and the launcher that extracts it. The check is on one component of the path (the
// text between backslashes) as 8-bit text.
#pragma once

#include <string>

enum class IncludedNameProblem {
    None,
    // Only dots and spaces ("." "..", "...", " "): once Windows trims trailing dots and
    // spaces, it names the directory itself or its parent, never a file inside.
    DotsOrSpaces,
    // A device name (CON, PRN, AUX, NUL, COM0-9, LPT0-9, also COM and LPT with a superscript
    // digit 1-3), in any case, with or without an extension and trailing dots or spaces:
    // Windows opens the device instead of a file in the directory.
    DeviceName,
};

// An empty component is no problem of its name; the path checks decide about empty parts.
IncludedNameProblem checkIncludedFileName(const std::string& component);
