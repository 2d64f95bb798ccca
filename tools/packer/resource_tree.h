// The resource tree of a PE image (type, name, language, data), read from and written to the
// documented .rsrc layout: directory tables, data entries, name strings, then the data.
#pragma once

#include "pe_image.h"

#include <cstdint>
#include <string>
#include <vector>

// A type or name: a string when `text` is not empty, otherwise the number `id`.
struct ResourceKey {
    uint32_t id = 0;
    std::u16string text;
    bool operator==(const ResourceKey& o) const { return id == o.id && text == o.text; }
};

struct ResourceEntry {
    ResourceKey type;
    ResourceKey name;
    uint32_t language = 0;
    uint32_t codePage = 0;
    std::vector<uint8_t> data;
};

// Resource types the packer writes.
constexpr uint32_t kResourceIcon = 3;
constexpr uint32_t kResourceData = 10;
constexpr uint32_t kResourceGroupIcon = 14;
constexpr uint32_t kResourceVersion = 16;
constexpr uint32_t kResourceManifest = 24;

// Reads the tree whose root directory lies at `directory` (an RVA) of `image`. Every offset is
// checked; a tree deeper than three levels, or pointing outside the image, is refused.
bool readResourceTree(const std::vector<uint8_t>& image, const PeLayout& layout, DataDirectory directory,
                      std::vector<ResourceEntry>& entries, std::string& error);

// The bytes of a resource section holding `entries` whose first byte will lie at `baseRva`.
// The order is canonical (named keys before numbered ones, each ascending), so the same
// entries give the same bytes whatever order they come in.
std::vector<uint8_t> writeResourceTree(std::vector<ResourceEntry> entries, uint32_t baseRva);
