#include "resource_tree.h"

#include <algorithm>
#include <map>

namespace {

constexpr uint32_t kSubdirectoryFlag = 0x80000000u;
constexpr uint32_t kNamedFlag = 0x80000000u;
constexpr uint32_t kDirectoryHeaderSize = 16;
constexpr uint32_t kDirectoryEntrySize = 8;
constexpr uint32_t kDataEntrySize = 16;
// Far more than any launcher carries; a bound on what a damaged tree can make us read.
constexpr size_t kMaximumEntries = 65536;

class TreeReader {
public:
    TreeReader(const std::vector<uint8_t>& image, const PeLayout& layout, uint64_t root, uint32_t size)
        : image_(image), layout_(layout), root_(root), size_(size) {}

    bool readLevel(uint32_t offset, int depth, ResourceEntry& path, std::vector<ResourceEntry>& out) {
        if (offset + uint64_t{kDirectoryHeaderSize} > size_) return fail("a resource directory lies outside the tree");
        // Directories may share children; counting visits bounds what a crafted tree can cost.
        if (++visited_ > kMaximumEntries) return fail("the resource tree has too many directories");
        const uint64_t at = root_ + offset;
        const uint32_t count = uint32_t{readLe16(image_, at + 12)} + readLe16(image_, at + 14);
        if (offset + kDirectoryHeaderSize + uint64_t{count} * kDirectoryEntrySize > size_)
            return fail("a resource directory's entries lie outside the tree");
        for (uint32_t i = 0; i < count; ++i) {
            const uint64_t entry = at + kDirectoryHeaderSize + uint64_t{i} * kDirectoryEntrySize;
            const uint32_t nameField = readLe32(image_, entry);
            const uint32_t target = readLe32(image_, entry + 4);
            ResourceKey key;
            if (nameField & kNamedFlag) {
                if (!readName(nameField & ~kNamedFlag, key.text)) return false;
            } else {
                key.id = nameField;
            }
            if (depth == 0) path.type = key;
            if (depth == 1) path.name = key;
            if (depth < 2) {
                if (!(target & kSubdirectoryFlag))
                    return fail("a resource type or name holds data instead of a directory");
                if (!readLevel(target & ~kSubdirectoryFlag, depth + 1, path, out)) return false;
                continue;
            }
            if (target & kSubdirectoryFlag) return fail("the resource tree is deeper than three levels");
            path.language = key.id;
            if (!readData(target, path, out)) return false;
        }
        return true;
    }

    const std::string& error() const { return error_; }

private:
    bool fail(const char* reason) {
        error_ = reason;
        return false;
    }

    bool readName(uint32_t offset, std::u16string& text) {
        if (offset + 2ull > size_) return fail("a resource name lies outside the tree");
        const uint32_t length = readLe16(image_, root_ + offset);
        if (offset + 2ull + 2ull * length > size_) return fail("a resource name lies outside the tree");
        for (uint32_t i = 0; i < length; ++i)
            text.push_back(static_cast<char16_t>(readLe16(image_, root_ + offset + 2 + 2 * i)));
        if (text.empty()) return fail("a resource has an empty name");
        return true;
    }

    bool readData(uint32_t offset, ResourceEntry& path, std::vector<ResourceEntry>& out) {
        if (offset + uint64_t{kDataEntrySize} > size_) return fail("a resource data entry lies outside the tree");
        if (out.size() >= kMaximumEntries) return fail("the resource tree has too many entries");
        const uint64_t at = root_ + offset;
        const uint32_t rva = readLe32(image_, at);
        const uint32_t length = readLe32(image_, at + 4);
        uint64_t data = 0;
        if (length != 0 && !layout_.offsetOf(rva, length, data))
            return fail("a resource's data lies outside the image");
        path.codePage = readLe32(image_, at + 8);
        path.data.assign(image_.begin() + static_cast<std::ptrdiff_t>(data),
                         image_.begin() + static_cast<std::ptrdiff_t>(data + length));
        out.push_back(path);
        return true;
    }

    const std::vector<uint8_t>& image_;
    const PeLayout& layout_;
    uint64_t root_;
    uint32_t size_;
    size_t visited_ = 0;
    std::string error_;
};

// Named keys first, ascending by their text; numbered keys after, ascending.
bool keyBefore(const ResourceKey& a, const ResourceKey& b) {
    const bool aNamed = !a.text.empty(), bNamed = !b.text.empty();
    if (aNamed != bNamed) return aNamed;
    return aNamed ? a.text < b.text : a.id < b.id;
}

struct KeyOrder {
    bool operator()(const ResourceKey& a, const ResourceKey& b) const { return keyBefore(a, b); }
};

using Languages = std::map<uint32_t, const ResourceEntry*>;
using Names = std::map<ResourceKey, Languages, KeyOrder>;
using Types = std::map<ResourceKey, Names, KeyOrder>;

void put16(std::vector<uint8_t>& out, uint64_t at, uint16_t v) { writeLe16(out, at, v); }
void put32(std::vector<uint8_t>& out, uint64_t at, uint32_t v) { writeLe32(out, at, v); }

uint32_t align(uint32_t value, uint32_t to) { return (value + to - 1) / to * to; }

class TreeWriter {
public:
    explicit TreeWriter(const Types& types) : types_(types) {}

    std::vector<uint8_t> write(uint32_t baseRva) {
        // First pass: where every directory, data entry, string and data blob goes.
        uint32_t directories = directorySize(types_.size());
        for (const auto& [type, names] : types_) {
            directories += directorySize(names.size());
            for (const auto& [name, languages] : names) directories += directorySize(languages.size());
        }
        uint32_t dataEntries = directories;
        uint32_t strings = dataEntries;
        for (const auto& [type, names] : types_)
            for (const auto& [name, languages] : names)
                strings += kDataEntrySize * static_cast<uint32_t>(languages.size());
        uint32_t blobs = strings;
        for (const auto& [type, names] : types_) {
            blobs += nameSize(type);
            for (const auto& [name, languages] : names) blobs += nameSize(name);
        }
        blobs = align(blobs, 8);
        uint32_t end = blobs;
        for (const auto& [type, names] : types_)
            for (const auto& [name, languages] : names)
                for (const auto& [language, entry] : languages)
                    end = align(end + static_cast<uint32_t>(entry->data.size()), 8);

        out_.assign(end, 0);
        nextDirectory_ = 0;
        nextDataEntry_ = dataEntries;
        nextString_ = strings;
        nextBlob_ = blobs;
        baseRva_ = baseRva;

        const uint32_t root = allocateDirectory(types_.size(), types_);
        uint32_t slot = root + kDirectoryHeaderSize;
        for (const auto& [type, names] : types_) {
            const uint32_t nameDirectory = allocateDirectory(names.size(), names);
            writeEntry(slot, type, nameDirectory | kSubdirectoryFlag);
            slot += kDirectoryEntrySize;
            uint32_t nameSlot = nameDirectory + kDirectoryHeaderSize;
            for (const auto& [name, languages] : names) {
                const uint32_t languageDirectory = allocateDirectory(languages.size(), languages);
                writeEntry(nameSlot, name, languageDirectory | kSubdirectoryFlag);
                nameSlot += kDirectoryEntrySize;
                uint32_t languageSlot = languageDirectory + kDirectoryHeaderSize;
                for (const auto& [language, entry] : languages) {
                    writeEntry(languageSlot, ResourceKey{language, {}}, writeData(*entry));
                    languageSlot += kDirectoryEntrySize;
                }
            }
        }
        return std::move(out_);
    }

private:
    static uint32_t directorySize(size_t entries) {
        return kDirectoryHeaderSize + kDirectoryEntrySize * static_cast<uint32_t>(entries);
    }
    static uint32_t nameSize(const ResourceKey& key) {
        return key.text.empty() ? 0 : 2 + 2 * static_cast<uint32_t>(key.text.size());
    }

    template <typename Map>
    uint32_t allocateDirectory(size_t count, const Map& children) {
        const uint32_t at = nextDirectory_;
        nextDirectory_ += directorySize(count);
        uint16_t named = 0;
        for (const auto& child : children) named += keyIsNamed(child.first) ? 1 : 0;
        put16(out_, at + 12, named);
        put16(out_, at + 14, static_cast<uint16_t>(count - named));
        return at;
    }
    static bool keyIsNamed(const ResourceKey& key) { return !key.text.empty(); }
    static bool keyIsNamed(uint32_t) { return false; }

    void writeEntry(uint32_t slot, const ResourceKey& key, uint32_t target) {
        if (key.text.empty()) {
            put32(out_, slot, key.id);
        } else {
            put32(out_, slot, nextString_ | kNamedFlag);
            put16(out_, nextString_, static_cast<uint16_t>(key.text.size()));
            for (size_t i = 0; i < key.text.size(); ++i) put16(out_, nextString_ + 2 + 2 * i, key.text[i]);
            nextString_ += nameSize(key);
        }
        put32(out_, slot + 4, target);
    }

    uint32_t writeData(const ResourceEntry& entry) {
        const uint32_t at = nextDataEntry_;
        nextDataEntry_ += kDataEntrySize;
        put32(out_, at, baseRva_ + nextBlob_);
        put32(out_, at + 4, static_cast<uint32_t>(entry.data.size()));
        put32(out_, at + 8, entry.codePage);
        std::copy(entry.data.begin(), entry.data.end(), out_.begin() + nextBlob_);
        nextBlob_ = align(nextBlob_ + static_cast<uint32_t>(entry.data.size()), 8);
        return at;
    }

    const Types& types_;
    std::vector<uint8_t> out_;
    uint32_t nextDirectory_ = 0, nextDataEntry_ = 0, nextString_ = 0, nextBlob_ = 0, baseRva_ = 0;
};

}  // namespace

bool readResourceTree(const std::vector<uint8_t>& image, const PeLayout& layout, DataDirectory directory,
                      std::vector<ResourceEntry>& entries, std::string& error) {
    entries.clear();
    if (directory.rva == 0 && directory.size == 0) return true;
    uint64_t root = 0;
    if (!layout.offsetOf(directory.rva, directory.size, root)) {
        error = "the resource directory lies outside the image";
        return false;
    }
    TreeReader reader(image, layout, root, directory.size);
    ResourceEntry path;
    if (!reader.readLevel(0, 0, path, entries)) {
        error = reader.error();
        return false;
    }
    return true;
}

std::vector<uint8_t> writeResourceTree(std::vector<ResourceEntry> entries, uint32_t baseRva) {
    Types types;
    // A later entry with the same type, name and language replaces an earlier one.
    for (const ResourceEntry& e : entries) types[e.type][e.name][e.language] = &e;
    return TreeWriter(types).write(baseRva);
}
