// The dependency list in the form the Service Control Manager expects, kept apart from the
// manager so its rules can be checked on their own.
#pragma once

#include <cstddef>
#include <string>

// The multi-string form of a comma-separated dependency setting: each non-empty piece
// followed by a NUL, and one more NUL at the end. Empty when the setting names nothing.
// Pieces keep their spaces. A list that would not fit `capacity` characters keeps the
// dependencies that fit whole, so no name is ever cut.
std::wstring dependencyMultiString(const std::wstring& setting, size_t capacity);
