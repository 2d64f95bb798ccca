// How the registry kit judges the values it reads: which types and sizes count as a string or
// as a 32-bit number. The registry side (registry.h) reads raw values and lets these
// functions judge them, so a value of the wrong type or size counts as absent instead of
// being half used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// The registry's value types, as the registry reports them (REG_SZ, REG_EXPAND_SZ,
// REG_BINARY, REG_DWORD).
constexpr uint32_t kRegistryTypeString = 1;
constexpr uint32_t kRegistryTypeExpandString = 2;
constexpr uint32_t kRegistryTypeBinary = 3;
constexpr uint32_t kRegistryTypeDword = 4;

// The text of a string value whose first `size` bytes were returned: up to the first NUL or
// to `size` when none is stored. A plain string and a string with environment references
// (REG_EXPAND_SZ, still unexpanded here) are texts; any other type is none.
std::optional<std::string> registryText(uint32_t type, const char* data, size_t size);

// Whether the text of a value of `type` holds %NAME% references that readers expand, as
// Windows' own readers of such values do.
bool registryTextIsExpandable(uint32_t type);

// The byte count offered to the registry for a text read into `capacity` bytes: one byte
// stays free, so the terminator always fits after whatever the query returns, and a value
// that needs more room fails and is treated as absent. Held below the system's 32-bit limit.
uint32_t registryTextQuerySize(size_t capacity);

// Which values a 32-bit number read takes.
enum class DwordValueTypes {
    // Any type, as long as the value is exactly four bytes.
    AnyOfFourBytes,
    // Only a DWORD, or a binary value of exactly four bytes (what RegGetValue's RRF_RT_DWORD
    // restriction admits).
    DwordOrFourByteBinary,
};

// Whether a value of `type` with `size` bytes is a 32-bit number under `accepted`.
bool isDwordValue(uint32_t type, size_t size, DwordValueTypes accepted);
