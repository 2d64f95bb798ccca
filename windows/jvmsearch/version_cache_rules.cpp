#include "jvmsearch/version_cache_rules.h"

#include <cstring>

std::string versionCacheKey(const std::string& normalisedExe) {
    std::string key = kVersionCacheRoot;
    for (char c : normalisedExe) key += c == '\\' ? '/' : c;
    return key;
}

FileTimeBytes fileTimeBytes(uint32_t low, uint32_t high) {
    FileTimeBytes bytes{};
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<uint8_t>(low >> (8 * i));
        bytes[4 + i] = static_cast<uint8_t>(high >> (8 * i));
    }
    return bytes;
}

bool storedTimeMatches(uint32_t type, const uint8_t* data, size_t size, const FileTimeBytes& expected) {
    return type == kRegistryTypeBinary && size == expected.size() && data != nullptr &&
           memcmp(data, expected.data(), expected.size()) == 0;
}

bool isDiscardedCachedVersion(const std::string& text) { return text == "1.7." || text == "1.6." || text == "1.5."; }
