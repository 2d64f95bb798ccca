#include "core/registry_rules.h"

#include <climits>
#include <cstring>

namespace {

constexpr size_t kDwordSize = 4;

// The largest byte count offered for a text; half the 32-bit range, far above any value the
// launcher reads.
constexpr uint32_t kLargestTextQuery = UINT_MAX / 2;

}  // namespace

std::optional<std::string> registryText(uint32_t type, const char* data, size_t size) {
    if (type != kRegistryTypeString && type != kRegistryTypeExpandString) return std::nullopt;
    if (size == 0 || data == nullptr) return std::string();
    const void* nul = memchr(data, 0, size);
    size_t length = nul == nullptr ? size : static_cast<size_t>(static_cast<const char*>(nul) - data);
    return std::string(data, length);
}

bool registryTextIsExpandable(uint32_t type) { return type == kRegistryTypeExpandString; }

uint32_t registryTextQuerySize(size_t capacity) {
    if (capacity == 0) return 0;
    return capacity - 1 > kLargestTextQuery ? kLargestTextQuery : static_cast<uint32_t>(capacity - 1);
}

bool isDwordValue(uint32_t type, size_t size, DwordValueTypes accepted) {
    if (size != kDwordSize) return false;
    if (accepted == DwordValueTypes::AnyOfFourBytes) return true;
    return type == kRegistryTypeDword || type == kRegistryTypeBinary;
}
