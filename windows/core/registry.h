// The registry, read and written the one way the launcher does it: keys come back as owners,
// the registry view is always the caller's explicit choice, and values are judged by
// registry_rules.h before anything uses them. Key and value names come in the 8-bit form
// (the ANSI code page) and, where a caller needs names outside it, in UTF-16.
#pragma once

#include "core/handles.h"
#include "core/registry_rules.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// Which view of the registry a key is opened in on a 64-bit system. Default is the view of
// the launcher's own bitness (a 32-bit launcher sees the redirected 32-bit keys). Each value
// is the access bit it adds, so a view can be logged as the number the registry sees.
enum class RegistryView : REGSAM {
    Default = 0,
    Only32Bit = KEY_WOW64_32KEY,
    Only64Bit = KEY_WOW64_64KEY,
};

// Opens `path` below `parent` with `access` in `view`. Not valid when it cannot be opened;
// the registry's answer is then in *status when a status is asked for.
RegistryKey openRegistryKey(HKEY parent, const char* path, REGSAM access, RegistryView view, LONG* status = nullptr);
RegistryKey openRegistryKey(HKEY parent, const wchar_t* path, REGSAM access, RegistryView view, LONG* status = nullptr);

// Opens `path` below `parent`, creating it (and its missing parents) as a non-volatile key
// when absent. Not valid when neither works.
RegistryKey createRegistryKey(HKEY parent, const char* path, REGSAM access, RegistryView view);
// The same for a UTF-16 path; the registry's answer is then in *status when one is asked for.
RegistryKey createRegistryKey(HKEY parent, const wchar_t* path, REGSAM access, RegistryView view,
                              LONG* status = nullptr);

// Writes `text` as value `name` of an open key, with `type` REG_SZ or REG_EXPAND_SZ. Returns
// the registry's answer (ERROR_SUCCESS when written).
LONG writeRegistryText(HKEY key, const wchar_t* name, const std::wstring& text, DWORD type);
// Writes `value` as the REG_DWORD `name` of an open key; the registry's answer.
LONG writeRegistryDword(HKEY key, const wchar_t* name, DWORD value);
// Deletes the key `path` below `parent` in `view`; it must have no subkeys. The registry's
// answer (ERROR_FILE_NOT_FOUND when there was no such key).
LONG deleteRegistryKey(HKEY parent, const wchar_t* path, RegistryView view);

// The type and byte count of a value read raw into `out` (`capacity` bytes). None when the
// value is absent or larger than `capacity`.
struct RegistryData {
    DWORD type;
    DWORD size;
};
std::optional<RegistryData> readRegistryData(HKEY key, const char* name, void* out, DWORD capacity);

// String value `name` of an open key into `out` (`capacity` bytes, always terminated), in the
// ANSI code page. A REG_EXPAND_SZ value counts as a string and comes back with its %NAME%
// references expanded (ExpandEnvironmentStringsW; a reference to an unset variable stays as
// written). False when the value is absent, not a string, cannot be expanded, holds after
// expansion a character the ANSI code page lacks, or is longer than capacity - 1 bytes: a
// text that does not fit is refused, never cut, since the launcher's texts name paths and
// versions.
bool readRegistryText(HKEY key, const char* name, char* out, size_t capacity);

// The same for a key opened for reading just for this one value.
bool readRegistryText(HKEY parent, const char* path, const char* name, char* out, size_t capacity, RegistryView view);

// A 32-bit number: value `name` of an open key, when its type and size pass `accepted`.
std::optional<DWORD> readRegistryDword(HKEY key, const char* name, DwordValueTypes accepted);
std::optional<DWORD> readRegistryDword(HKEY key, const wchar_t* name, DwordValueTypes accepted);

// The names of all subkeys of an open key, in enumeration order. Enumeration ends at the
// first index the registry does not answer for (normally: no more items); a name longer
// than the name buffer ends it too.
std::vector<std::string> registrySubkeyNames(HKEY key);
