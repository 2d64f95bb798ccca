#include "core/registry.h"

#include "core/capacities.h"
#include "core/code_page.h"

#include <cstring>

namespace {

// Subkey and class names are read into buffers of this many characters each.
constexpr DWORD kRegistryNameCapacity = kPathCapacity;

LONG openKey(HKEY parent, const char* path, REGSAM access, HKEY* opened) {
    return RegOpenKeyExA(parent, path, 0, access, opened);
}
LONG openKey(HKEY parent, const wchar_t* path, REGSAM access, HKEY* opened) {
    return RegOpenKeyExW(parent, path, 0, access, opened);
}
LONG queryValue(HKEY key, const char* name, DWORD* type, void* out, DWORD* size) {
    return RegQueryValueExA(key, name, nullptr, type, static_cast<BYTE*>(out), size);
}
LONG queryValue(HKEY key, const wchar_t* name, DWORD* type, void* out, DWORD* size) {
    return RegQueryValueExW(key, name, nullptr, type, static_cast<BYTE*>(out), size);
}

// `text` (ANSI code page) with its %NAME% references expanded in UTF-16 and brought back into
// the ANSI code page, as RegQueryValueExA hands out every string. None when the system cannot
// expand it or the result holds a character the code page lacks: a path with "?" in place of
// a character would name some other folder.
std::optional<std::string> expandedRegistryText(const std::string& text) {
    if (text.empty()) return text;
    std::wstring wide = widenFromCodePage(text, CP_ACP);
    if (wide.empty()) return std::nullopt;
    DWORD needed = ExpandEnvironmentStringsW(wide.c_str(), nullptr, 0);
    if (needed == 0) return std::nullopt;
    std::wstring expanded(needed, L'\0');
    DWORD written = ExpandEnvironmentStringsW(wide.c_str(), expanded.data(), needed);
    // The count includes the terminator; a variable that grew in between makes it larger.
    if (written == 0 || written > needed) return std::nullopt;
    expanded.resize(written - 1);
    return narrowToCodePageExactly(expanded, CP_ACP);
}

REGSAM withView(REGSAM access, RegistryView view) { return access | static_cast<REGSAM>(view); }

template <typename Char>
RegistryKey openIn(HKEY parent, const Char* path, REGSAM access, RegistryView view, LONG* status) {
    RegistryKey key;
    LONG result = openKey(parent, path, withView(access, view), key.put());
    if (status != nullptr) *status = result;
    // A failed open may leave anything in the out-parameter; it is not a key.
    if (result != ERROR_SUCCESS) (void)key.release();
    return key;
}

template <typename Char>
std::optional<RegistryData> readRaw(HKEY key, const Char* name, void* out, DWORD capacity) {
    RegistryData data{0, capacity};
    if (queryValue(key, name, &data.type, out, &data.size) != ERROR_SUCCESS) return std::nullopt;
    return data;
}

template <typename Char>
std::optional<DWORD> readDword(HKEY key, const Char* name, DwordValueTypes accepted) {
    DWORD value = 0;
    std::optional<RegistryData> data = readRaw(key, name, &value, sizeof value);
    if (!data || !isDwordValue(data->type, data->size, accepted)) return std::nullopt;
    return value;
}

}  // namespace

RegistryKey openRegistryKey(HKEY parent, const char* path, REGSAM access, RegistryView view, LONG* status) {
    return openIn(parent, path, access, view, status);
}

RegistryKey openRegistryKey(HKEY parent, const wchar_t* path, REGSAM access, RegistryView view, LONG* status) {
    return openIn(parent, path, access, view, status);
}

RegistryKey createRegistryKey(HKEY parent, const char* path, REGSAM access, RegistryView view) {
    RegistryKey key;
    if (RegCreateKeyExA(parent, path, 0, nullptr, REG_OPTION_NON_VOLATILE, withView(access, view), nullptr, key.put(),
                        nullptr) != ERROR_SUCCESS)
        (void)key.release();
    return key;
}

RegistryKey createRegistryKey(HKEY parent, const wchar_t* path, REGSAM access, RegistryView view, LONG* status) {
    RegistryKey key;
    LONG result = RegCreateKeyExW(parent, path, 0, nullptr, REG_OPTION_NON_VOLATILE, withView(access, view), nullptr,
                                  key.put(), nullptr);
    if (status != nullptr) *status = result;
    if (result != ERROR_SUCCESS) (void)key.release();
    return key;
}

LONG writeRegistryText(HKEY key, const wchar_t* name, const std::wstring& text, DWORD type) {
    // The stored size counts the terminator, as readers of string values expect.
    DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()), bytes);
}

LONG writeRegistryDword(HKEY key, const wchar_t* name, DWORD value) {
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

LONG deleteRegistryKey(HKEY parent, const wchar_t* path, RegistryView view) {
    return RegDeleteKeyExW(parent, path, static_cast<REGSAM>(view), 0);
}

std::optional<RegistryData> readRegistryData(HKEY key, const char* name, void* out, DWORD capacity) {
    return readRaw(key, name, out, capacity);
}

bool readRegistryText(HKEY key, const char* name, char* out, size_t capacity) {
    if (capacity == 0) return false;
    out[0] = 0;
    std::optional<RegistryData> data = readRaw(key, name, out, registryTextQuerySize(capacity));
    if (!data) {
        out[0] = 0;
        return false;
    }
    std::optional<std::string> text = registryText(data->type, out, data->size < capacity ? data->size : capacity - 1);
    if (text && registryTextIsExpandable(data->type)) text = expandedRegistryText(*text);
    if (!text || text->size() >= capacity) {
        out[0] = 0;
        return false;
    }
    memcpy(out, text->c_str(), text->size() + 1);
    return true;
}

bool readRegistryText(HKEY parent, const char* path, const char* name, char* out, size_t capacity, RegistryView view) {
    if (capacity > 0) out[0] = 0;
    RegistryKey key = openRegistryKey(parent, path, KEY_READ, view);
    return key.valid() && readRegistryText(key.get(), name, out, capacity);
}

std::optional<DWORD> readRegistryDword(HKEY key, const char* name, DwordValueTypes accepted) {
    return readDword(key, name, accepted);
}

std::optional<DWORD> readRegistryDword(HKEY key, const wchar_t* name, DwordValueTypes accepted) {
    return readDword(key, name, accepted);
}

std::vector<std::string> registrySubkeyNames(HKEY key) {
    std::vector<std::string> names;
    std::vector<char> name(kRegistryNameCapacity);
    std::vector<char> className(kRegistryNameCapacity);
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD classLength = static_cast<DWORD>(className.size());
        if (RegEnumKeyExA(key, index, name.data(), &nameLength, nullptr, className.data(), &classLength, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.emplace_back(name.data(), nameLength);
    }
    return names;
}
