#include "jvmsearch/version_cache.h"

#include "core/handles.h"
#include "jvmsearch/version_cache_rules.h"

#include <climits>
#include <cstring>
#include <string>
#include <vector>

static_assert(kRegistryTypeString == REG_SZ, "registry string type");
static_assert(kRegistryTypeBinary == REG_BINARY, "registry binary type");

namespace {

FileTimeBytes bytesOf(const FILETIME& time) { return fileTimeBytes(time.dwLowDateTime, time.dwHighDateTime); }

bool storedTimeIs(HKEY key, const FILETIME& lastWriteTime) {
    uint8_t data[8];
    DWORD size = sizeof data;
    DWORD type = 0;
    if (RegQueryValueExA(key, "LastWriteTime", nullptr, &type, data, &size) != ERROR_SUCCESS) return false;
    return storedTimeMatches(type, data, size, bytesOf(lastWriteTime));
}

}  // namespace

bool queryRegistryText(HKEY key, const char* name, char* out, size_t capacity) {
    if (capacity == 0) return false;
    out[0] = 0;
    // One byte stays free, so the terminator always fits after whatever the query returns; a
    // value that needs more room fails with ERROR_MORE_DATA and is treated as absent.
    DWORD size = capacity - 1 > UINT_MAX / 2 ? UINT_MAX / 2 : static_cast<DWORD>(capacity - 1);
    DWORD type = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(out), &size) != ERROR_SUCCESS) {
        out[0] = 0;
        return false;
    }
    std::optional<std::string> text = registryText(type, out, size < capacity ? size : capacity - 1);
    if (!text) {
        out[0] = 0;
        return false;
    }
    memcpy(out, text->c_str(), text->size() + 1);
    return true;
}

bool readCachedVersion(const char* exe, const FILETIME& lastWriteTime, char* version, size_t capacity) {
    if (capacity == 0) return false;
    version[0] = 0;
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, versionCacheKey(exe).c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return false;
    RegistryKey key(opened);
    if (!storedTimeIs(key.get(), lastWriteTime)) return false;
    if (!queryRegistryText(key.get(), "Version", version, capacity)) return false;
    return !isDiscardedCachedVersion(version);
}

void storeCachedVersion(const char* exe, const FILETIME& lastWriteTime, const char* version) {
    HKEY created = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, versionCacheKey(exe).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &created, nullptr) != ERROR_SUCCESS)
        return;
    RegistryKey key(created);
    FileTimeBytes time = bytesOf(lastWriteTime);
    RegSetValueExA(key.get(), "LastWriteTime", 0, REG_BINARY, time.data(), static_cast<DWORD>(time.size()));
    // The stored size is the text's length: no terminator is stored. The registry counts a
    // terminator anyway when the byte right after the data is NUL (a fix-up for callers that
    // forgot it), so the copy handed over ends in a byte that is not.
    size_t length = strlen(version);
    std::vector<char> data(version, version + length);
    data.push_back('?');
    RegSetValueExA(key.get(), "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(data.data()),
                   static_cast<DWORD>(length));
}
