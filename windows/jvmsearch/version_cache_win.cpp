#include "jvmsearch/version_cache.h"

#include "core/registry.h"
#include "jvmsearch/version_cache_rules.h"

#include <cstring>
#include <string>
#include <vector>

static_assert(kRegistryTypeString == REG_SZ, "registry string type");
static_assert(kRegistryTypeBinary == REG_BINARY, "registry binary type");
static_assert(kRegistryTypeDword == REG_DWORD, "registry number type");

namespace {

FileTimeBytes bytesOf(const FILETIME& time) { return fileTimeBytes(time.dwLowDateTime, time.dwHighDateTime); }

bool storedTimeIs(HKEY key, const FILETIME& lastWriteTime) {
    uint8_t data[8];
    std::optional<RegistryData> stored = readRegistryData(key, "LastWriteTime", data, sizeof data);
    return stored && storedTimeMatches(stored->type, data, stored->size, bytesOf(lastWriteTime));
}

}  // namespace

bool readCachedVersion(const char* exe, const FILETIME& lastWriteTime, char* version, size_t capacity) {
    if (capacity == 0) return false;
    version[0] = 0;
    RegistryKey key = openRegistryKey(HKEY_CURRENT_USER, versionCacheKey(exe).c_str(), KEY_READ, RegistryView::Default);
    if (!key.valid()) return false;
    if (!storedTimeIs(key.get(), lastWriteTime)) return false;
    if (!readRegistryText(key.get(), "Version", version, capacity)) return false;
    return !isDiscardedCachedVersion(version);
}

void storeCachedVersion(const char* exe, const FILETIME& lastWriteTime, const char* version) {
    RegistryKey key =
        createRegistryKey(HKEY_CURRENT_USER, versionCacheKey(exe).c_str(), KEY_ALL_ACCESS, RegistryView::Default);
    if (!key.valid()) return;
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
