#include "executable_resources.h"

#include "description.h"
#include "pe_image.h"
#include "resource_tree.h"

#include <algorithm>

namespace {

// The packer's section begins with this record of the image as it was before, then the tree.
constexpr char kSectionMagic[8] = {'R', 'A', 'V', 'E', 'L', 'R', 'S', 'C'};
constexpr uint32_t kSectionPrefixSize = 24;                // magic, resource RVA and size, subsystem, padding
constexpr uint32_t kSectionCharacteristics = 0x40000040u;  // initialized data, readable

// Where the packer keeps the [executable] keys it applied, for inspect.
const std::u16string kRecordName = u"RAVEL_EXECUTABLE";

constexpr uint16_t kDefaultLanguage = 0x0409;  // U.S. English
constexpr uint16_t kDefaultCodePage = 0x04B0;  // Unicode (UTF-16)
constexpr size_t kIconDirectorySize = 6;
constexpr size_t kIconEntrySize = 16;
constexpr size_t kMaximumIconImages = 256;

// The version string each key fills, in the order they are written.
constexpr const char* kVersionStrings[][2] = {
    {"company", "CompanyName"},        {"description", "FileDescription"},    {"file_version", "FileVersion"},
    {"internal_name", "InternalName"}, {"copyright", "LegalCopyright"},       {"original_filename", "OriginalFilename"},
    {"product_name", "ProductName"},   {"product_version", "ProductVersion"},
};

bool hasVersionKey(const ExecutableOptions& options) {
    if (options.has("version_language")) return true;
    for (const auto& pair : kVersionStrings)
        if (options.has(pair[0])) return true;
    return false;
}

bool hasManifestKey(const ExecutableOptions& options) {
    return options.has("execution_level") || options.has("dpi_awareness") || options.has("long_path_aware");
}

std::u16string widen(const std::string& utf8) {
    std::u16string wide;
    utf8ToUtf16(utf8, wide);  // the TOML reader hands over valid UTF-8 only
    return wide;
}

// Version resource nodes: length, value length, type, key, padding, value, children; every
// node starts on a 4-byte boundary and its length covers its children but not the padding
// after it.
class VersionWriter {
public:
    size_t begin(const std::u16string& key, uint16_t valueLength, uint16_t type) {
        pad();
        const size_t start = out.size();
        put16(0);
        put16(valueLength);
        put16(type);
        for (char16_t c : key) put16(c);
        put16(0);
        pad();
        return start;
    }
    void end(size_t start) { writeLe16(out, start, static_cast<uint16_t>(out.size() - start)); }
    void put16(uint16_t v) {
        out.push_back(static_cast<uint8_t>(v));
        out.push_back(static_cast<uint8_t>(v >> 8));
    }
    void put32(uint32_t v) {
        put16(static_cast<uint16_t>(v));
        put16(static_cast<uint16_t>(v >> 16));
    }
    void pad() {
        while (out.size() % 4 != 0) out.push_back(0);
    }
    std::vector<uint8_t> out;
};

void versionNumbers(const ExecutableOptions& options, const char* key, uint32_t& high, uint32_t& low) {
    uint16_t parts[4] = {0, 0, 0, 0};
    std::string unused;
    if (options.has(key)) parseFileVersion(options.value(key), parts, unused);
    high = uint32_t{parts[0]} << 16 | parts[1];
    low = uint32_t{parts[2]} << 16 | parts[3];
}

void languageOf(const ExecutableOptions& options, uint16_t& language, uint16_t& codePage) {
    language = kDefaultLanguage;
    codePage = kDefaultCodePage;
    std::string unused;
    if (options.has("version_language"))
        parseVersionLanguage(options.value("version_language"), language, codePage, unused);
}

std::string hex4(uint16_t v) {
    const char* digits = "0123456789ABCDEF";
    std::string text;
    for (int shift = 12; shift >= 0; shift -= 4) text.push_back(digits[(v >> shift) & 0xF]);
    return text;
}

void replaceAll(std::vector<ResourceEntry>& entries, uint32_t type, std::vector<ResourceEntry> replacement) {
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [type](const ResourceEntry& e) { return e.type.text.empty() && e.type.id == type; }),
                  entries.end());
    entries.insert(entries.end(), replacement.begin(), replacement.end());
}

ResourceEntry numbered(uint32_t type, uint32_t id, uint32_t language, std::vector<uint8_t> data) {
    ResourceEntry e;
    e.type.id = type;
    e.name.id = id;
    e.language = language;
    e.data = std::move(data);
    return e;
}

void applyIcon(std::vector<ResourceEntry>& entries, const std::vector<IconImage>& images) {
    std::vector<ResourceEntry> icons;
    VersionWriter group;  // plain little-endian output suffices for the group directory
    group.put16(0);
    group.put16(1);
    group.put16(static_cast<uint16_t>(images.size()));
    for (size_t i = 0; i < images.size(); ++i) {
        const IconImage& image = images[i];
        const uint16_t id = static_cast<uint16_t>(i + 1);
        group.out.push_back(image.width);
        group.out.push_back(image.height);
        group.out.push_back(image.colorCount);
        group.out.push_back(0);
        group.put16(image.planes);
        group.put16(image.bitCount);
        group.put32(static_cast<uint32_t>(image.data.size()));
        group.put16(id);
        icons.push_back(numbered(kResourceIcon, id, 0, image.data));
    }
    replaceAll(entries, kResourceIcon, icons);
    replaceAll(entries, kResourceGroupIcon, {numbered(kResourceGroupIcon, 1, 0, group.out)});
}

bool applyManifest(std::vector<ResourceEntry>& entries, const ExecutableOptions& options, std::string& error) {
    for (ResourceEntry& e : entries) {
        if (!e.type.text.empty() || e.type.id != kResourceManifest) continue;
        std::string xml(e.data.begin(), e.data.end());
        if (!editManifest(xml, options, error)) return false;
        e.data.assign(xml.begin(), xml.end());
        return true;
    }
    error = "the launcher has no manifest resource to change";
    return false;
}

ResourceEntry record(const ExecutableOptions& options) {
    ResourceEntry e;
    e.type.id = kResourceData;
    e.name.text = kRecordName;
    for (const auto& [key, value] : options.given) {
        e.data.insert(e.data.end(), key.begin(), key.end());
        e.data.push_back(0);
        e.data.insert(e.data.end(), value.begin(), value.end());
        e.data.push_back(0);
    }
    return e;
}

// Undoes an earlier packing: the resource directory and subsystem it recorded are put back and
// its section is removed. False when the section is ours by name but its record is damaged.
bool restorePrebuilt(std::vector<uint8_t>& image, PeLayout& layout, std::string& error) {
    if (layout.sections().empty() || layout.sections().back().name != kPackerSectionName) return true;
    const SectionHeader& section = layout.sections().back();
    if (section.rawSize < kSectionPrefixSize ||
        !std::equal(std::begin(kSectionMagic), std::end(kSectionMagic), image.begin() + section.rawPointer)) {
        error = "the section " + std::string(kPackerSectionName) + " does not hold what the packer writes there";
        return false;
    }
    const uint64_t at = section.rawPointer;
    layout.setDataDirectory(image, kResourceDirectory, {readLe32(image, at + 8), readLe32(image, at + 12)});
    layout.setSubsystem(image, readLe16(image, at + 16));
    layout.removeLastSection(image);
    return true;
}

}  // namespace

bool parseIconFile(const std::vector<uint8_t>& bytes, std::vector<IconImage>& images, std::string& reason) {
    images.clear();
    if (bytes.size() < kIconDirectorySize || readLe16(bytes, 0) != 0 || readLe16(bytes, 2) != 1) {
        reason = "is not an icon file (no icon directory at its start)";
        return false;
    }
    const size_t count = readLe16(bytes, 4);
    if (count == 0 || count > kMaximumIconImages) {
        reason = "holds " + std::to_string(count) + " images (an icon file holds 1 to 256)";
        return false;
    }
    if (kIconDirectorySize + count * kIconEntrySize > bytes.size()) {
        reason = "is cut short: its icon directory lists more images than it holds";
        return false;
    }
    for (size_t i = 0; i < count; ++i) {
        const size_t entry = kIconDirectorySize + i * kIconEntrySize;
        IconImage image;
        image.width = bytes[entry];
        image.height = bytes[entry + 1];
        image.colorCount = bytes[entry + 2];
        image.planes = readLe16(bytes, entry + 4);
        image.bitCount = readLe16(bytes, entry + 6);
        const uint64_t size = readLe32(bytes, entry + 8);
        const uint64_t offset = readLe32(bytes, entry + 12);
        if (size == 0 || offset < kIconDirectorySize + count * kIconEntrySize || offset + size > bytes.size()) {
            reason = "is damaged: image " + std::to_string(i + 1) + " lies outside the file";
            return false;
        }
        image.data.assign(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                          bytes.begin() + static_cast<std::ptrdiff_t>(offset + size));
        images.push_back(std::move(image));
    }
    return true;
}

bool parseFileVersion(const std::string& text, uint16_t parts[4], std::string& reason) {
    reason = "is not a version of one to four numbers from 0 to 65535 joined by \".\", e.g. \"1.2.0\"";
    size_t count = 0;
    size_t at = 0;
    for (int i = 0; i < 4; ++i) parts[i] = 0;
    while (true) {
        size_t dot = text.find('.', at);
        std::string piece = text.substr(at, dot == std::string::npos ? std::string::npos : dot - at);
        if (piece.empty() || piece.size() > 5 || count == 4) return false;
        uint32_t value = 0;
        for (char c : piece) {
            if (c < '0' || c > '9') return false;
            value = value * 10 + static_cast<uint32_t>(c - '0');
        }
        if (value > 65535) return false;
        parts[count++] = static_cast<uint16_t>(value);
        if (dot == std::string::npos) return true;
        at = dot + 1;
    }
}

bool parseVersionLanguage(const std::string& text, uint16_t& language, uint16_t& codePage, std::string& reason) {
    reason = "is not a language and code page as eight hexadecimal digits, e.g. \"040904B0\"";
    if (text.size() != 8) return false;
    uint32_t value = 0;
    for (char c : text) {
        int digit = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                           : -1;
        if (digit < 0) return false;
        value = value << 4 | static_cast<uint32_t>(digit);
    }
    language = static_cast<uint16_t>(value >> 16);
    codePage = static_cast<uint16_t>(value);
    return true;
}

std::vector<uint8_t> buildVersionInfo(const ExecutableOptions& options) {
    uint16_t language = 0, codePage = 0;
    languageOf(options, language, codePage);
    uint32_t fileHigh = 0, fileLow = 0, productHigh = 0, productLow = 0;
    versionNumbers(options, "file_version", fileHigh, fileLow);
    versionNumbers(options, "product_version", productHigh, productLow);

    VersionWriter w;
    const size_t root = w.begin(u"VS_VERSION_INFO", 52, 0);
    // VS_FIXEDFILEINFO: signature, structure version, file and product versions, flags mask,
    // flags, OS (32-bit Windows NT), type (application), subtype, date.
    for (uint32_t v :
         {0xFEEF04BDu, 0x00010000u, fileHigh, fileLow, productHigh, productLow, 0x3Fu, 0u, 0x00040004u, 1u, 0u, 0u, 0u})
        w.put32(v);
    const size_t stringInfo = w.begin(u"StringFileInfo", 0, 1);
    const size_t table = w.begin(widen(hex4(language) + hex4(codePage)), 0, 1);
    for (const auto& pair : kVersionStrings) {
        if (!options.has(pair[0])) continue;
        const std::u16string value = widen(options.value(pair[0]));
        const size_t node = w.begin(widen(pair[1]), static_cast<uint16_t>(value.size() + 1), 1);
        for (char16_t c : value) w.put16(c);
        w.put16(0);
        w.end(node);
    }
    w.end(table);
    w.end(stringInfo);
    const size_t varInfo = w.begin(u"VarFileInfo", 0, 1);
    const size_t translation = w.begin(u"Translation", 4, 0);
    w.put16(language);
    w.put16(codePage);
    w.end(translation);
    w.end(varInfo);
    w.end(root);
    return std::move(w.out);
}

bool editManifest(std::string& xml, const ExecutableOptions& options, std::string& error) {
    if (options.has("execution_level")) {
        size_t element = xml.find("<requestedExecutionLevel");
        size_t attribute = element == std::string::npos ? element : xml.find("level=\"", element);
        size_t close = attribute == std::string::npos ? attribute : xml.find('"', attribute + 7);
        if (close == std::string::npos) {
            error = "the launcher's manifest has no requestedExecutionLevel to change";
            return false;
        }
        xml.replace(attribute + 7, close - attribute - 7, options.value("execution_level"));
    }
    if (!options.has("dpi_awareness") && !options.has("long_path_aware")) return true;
    size_t end = xml.rfind("</assembly>");
    if (end == std::string::npos || xml.find("<windowsSettings") != std::string::npos) {
        error = "the launcher's manifest cannot take windowsSettings (no </assembly>, or it has them already)";
        return false;
    }
    const std::string settings2005 = " xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\"";
    const std::string settings2016 = " xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\"";
    std::string block = "  <application xmlns=\"urn:schemas-microsoft-com:asm.v3\">\n    <windowsSettings>\n";
    const std::string dpi = options.value("dpi_awareness");
    if (dpi == "unaware" || dpi == "system")
        block += "      <dpiAware" + settings2005 + ">" + (dpi == "system" ? "true" : "false") + "</dpiAware>\n";
    if (dpi == "per-monitor-v2") {
        // dpiAware for systems before Windows 10 1607, which do not know dpiAwareness.
        block += "      <dpiAware" + settings2005 + ">true/pm</dpiAware>\n";
        block += "      <dpiAwareness" + settings2016 + ">PerMonitorV2, PerMonitor</dpiAwareness>\n";
    }
    if (options.has("long_path_aware"))
        block += "      <longPathAware" + settings2016 + ">" + options.value("long_path_aware") + "</longPathAware>\n";
    block += "    </windowsSettings>\n  </application>\n";
    xml.insert(end, block);
    return true;
}

bool shipExecutable(std::vector<uint8_t>& image, const ExecutableOptions& options, std::vector<std::string>& notes,
                    std::string& error) {
    PeLayout layout;
    if (!layout.read(image, error)) return false;
    if (layout.dataDirectory(image, kSecurityDirectory).size != 0) {
        layout.setDataDirectory(image, kSecurityDirectory, {});
        notes.push_back(
            "the input launcher is signed; the packed launcher is not (a signature covers the whole "
            "file): sign it after packing");
    }
    if (!restorePrebuilt(image, layout, error)) return false;
    if (options.empty()) return true;

    const DataDirectory prebuiltResources = layout.dataDirectory(image, kResourceDirectory);
    const uint16_t prebuiltSubsystem = layout.subsystem(image);
    std::vector<ResourceEntry> entries;
    if (!readResourceTree(image, layout, prebuiltResources, entries, error)) return false;
    if (options.has("icon")) applyIcon(entries, options.iconImages);
    if (hasVersionKey(options)) {
        uint16_t language = 0, codePage = 0;
        languageOf(options, language, codePage);
        replaceAll(entries, kResourceVersion, {numbered(kResourceVersion, 1, language, buildVersionInfo(options))});
    }
    if (hasManifestKey(options) && !applyManifest(entries, options, error)) return false;
    // Only the record written now: an image that carried one of that name already (no
    // launcher of ours does) would otherwise be read back with its keys mixed in.
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [](const ResourceEntry& e) {
                                     return e.type.id == kResourceData && e.type.text.empty() &&
                                            e.name.text == kRecordName;
                                 }),
                  entries.end());
    entries.push_back(record(options));
    if (options.has("subsystem"))
        layout.setSubsystem(image, options.value("subsystem") == "gui" ? kSubsystemGui : kSubsystemConsole);

    std::vector<uint8_t> section(kSectionPrefixSize, 0);
    std::copy(std::begin(kSectionMagic), std::end(kSectionMagic), section.begin());
    writeLe32(section, 8, prebuiltResources.rva);
    writeLe32(section, 12, prebuiltResources.size);
    writeLe16(section, 16, prebuiltSubsystem);
    const uint32_t treeRva = layout.nextVirtualAddress() + kSectionPrefixSize;
    std::vector<uint8_t> tree = writeResourceTree(std::move(entries), treeRva);
    section.insert(section.end(), tree.begin(), tree.end());
    if (!layout.appendSection(image, kPackerSectionName, section, kSectionCharacteristics, error)) return false;
    layout.setDataDirectory(image, kResourceDirectory, {treeRva, static_cast<uint32_t>(tree.size())});
    return true;
}

bool readShippedOptions(const std::vector<uint8_t>& image, ExecutableOptions& options, std::string& error) {
    options = ExecutableOptions();
    PeLayout layout;
    // Headers the packer could not have written hold no record of ours: nothing to show.
    std::string ignored;
    if (!layout.read(image, ignored)) return true;
    if (layout.sections().empty() || layout.sections().back().name != kPackerSectionName) return true;
    std::vector<ResourceEntry> entries;
    if (!readResourceTree(image, layout, layout.dataDirectory(image, kResourceDirectory), entries, error)) return false;
    for (const ResourceEntry& e : entries) {
        if (e.type.id != kResourceData || !e.type.text.empty() || e.name.text != kRecordName) continue;
        // Pairs of NUL-terminated key and value; a cut-off last pair is ignored.
        size_t at = 0;
        while (at < e.data.size()) {
            auto keyEnd = std::find(e.data.begin() + static_cast<std::ptrdiff_t>(at), e.data.end(), 0);
            if (keyEnd == e.data.end()) break;
            auto valueEnd = std::find(keyEnd + 1, e.data.end(), 0);
            if (valueEnd == e.data.end()) break;
            options.given[std::string(e.data.begin() + static_cast<std::ptrdiff_t>(at), keyEnd)] =
                std::string(keyEnd + 1, valueEnd);
            at = static_cast<size_t>(valueEnd - e.data.begin()) + 1;
        }
    }
    return true;
}
