#include "pe_image.h"

#include "config/block_format.h"

#include <algorithm>

namespace {

// Offsets in the optional header, the same for PE32 and PE32+ up to the data directories.
constexpr uint32_t kMagicPe32 = 0x10b;
constexpr uint32_t kMagicPe32Plus = 0x20b;
constexpr uint32_t kInitializedDataField = 8;
constexpr uint32_t kSectionAlignmentField = 32;
constexpr uint32_t kFileAlignmentField = 36;
constexpr uint32_t kSizeOfImageField = 56;
constexpr uint32_t kSizeOfHeadersField = 60;
constexpr uint32_t kSubsystemField = 68;
constexpr uint32_t kDirectoryCountField32 = 92;
constexpr uint32_t kDirectoryCountField64 = 108;

// The window-border export every launcher has, in both bitnesses (decorated on 32-bit).
constexpr const char* kLauncherExport =
    "Java_com_quillwork_runtime_flatlaf_FlatWindowsNativeWindowBorder_registryGetIntValue";

uint64_t alignUp(uint64_t value, uint64_t alignment) {
    return alignment == 0 ? value : (value + alignment - 1) / alignment * alignment;
}

// The documented bounds: a file alignment that is a power of two from 512 to 64 KiB, and a
// section alignment that is a power of two no smaller. A damaged image with other values
// would have a section appended at an absurd offset (gigabytes of padding).
bool validAlignments(uint32_t file, uint32_t section) {
    auto powerOfTwo = [](uint32_t v) { return v != 0 && (v & (v - 1)) == 0; };
    return powerOfTwo(file) && file >= 512 && file <= 65536 && powerOfTwo(section) && section >= file;
}

}  // namespace

uint16_t readLe16(const std::vector<uint8_t>& b, uint64_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }

uint32_t readLe32(const std::vector<uint8_t>& b, uint64_t at) {
    return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
           static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

void writeLe16(std::vector<uint8_t>& b, uint64_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void writeLe32(std::vector<uint8_t>& b, uint64_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

bool findEndOfImage(const std::vector<uint8_t>& image, uint64_t& end, std::string& error) {
    const uint64_t size = image.size();
    if (size < 0x40 || image[0] != 'M' || image[1] != 'Z') {
        error = "not a Windows executable (no MZ header)";
        return false;
    }
    uint64_t pe = readLe32(image, kPeOffsetField);
    if (pe + kSectionTableOffset > size || image[pe] != 'P' || image[pe + 1] != 'E' || image[pe + 2] != 0 ||
        image[pe + 3] != 0) {
        error = "not a PE executable (no PE signature)";
        return false;
    }
    uint16_t sections = readLe16(image, pe + kSectionCountOffset);
    uint16_t optionalHeaderSize = readLe16(image, pe + kOptionalHeaderSizeOffset);
    if (sections == 0) {
        error = "PE executable without sections";
        return false;
    }
    uint64_t lastHeader = pe + kSectionTableOffset + optionalHeaderSize + (sections - 1ull) * kSectionHeaderSize;
    if (lastHeader + kSectionHeaderSize > size) {
        error = "PE section table lies outside the file";
        return false;
    }
    uint64_t rawSize = readLe32(image, lastHeader + kRawDataSizeOffset);
    uint64_t rawPointer = readLe32(image, lastHeader + kRawDataPointerOffset);
    end = rawPointer + rawSize;
    if (end > size) {
        error = "the last PE section lies outside the file";
        return false;
    }
    if (end > UINT32_MAX) {
        error = "the executable is too large for a 32-bit block offset";
        return false;
    }
    return true;
}

bool PeLayout::read(const std::vector<uint8_t>& image, std::string& error) {
    uint64_t end = 0;
    if (!findEndOfImage(image, end, error)) return false;
    peOffset_ = readLe32(image, kPeOffsetField);
    optionalHeader_ = peOffset_ + kSectionTableOffset;
    const uint16_t optionalSize = readLe16(image, peOffset_ + kOptionalHeaderSizeOffset);
    if (optionalHeader_ + optionalSize > image.size() || optionalSize < kDirectoryCountField32 + 4) {
        error = "the PE optional header lies outside the file";
        return false;
    }
    const uint16_t magic = readLe16(image, optionalHeader_);
    if (magic != kMagicPe32 && magic != kMagicPe32Plus) {
        error = "the PE optional header has an unknown magic number";
        return false;
    }
    const uint32_t countField = magic == kMagicPe32Plus ? kDirectoryCountField64 : kDirectoryCountField32;
    if (countField + 4 > optionalSize) {
        error = "the PE optional header is too short";
        return false;
    }
    dataDirectories_ = optionalHeader_ + countField + 4;
    dataDirectoryCount_ = readLe32(image, optionalHeader_ + countField);
    dataDirectoryCount_ =
        std::min<uint32_t>(dataDirectoryCount_, static_cast<uint32_t>((optionalSize - countField - 4) / 8));
    sectionAlignment_ = readLe32(image, optionalHeader_ + kSectionAlignmentField);
    fileAlignment_ = readLe32(image, optionalHeader_ + kFileAlignmentField);
    sizeOfHeaders_ = readLe32(image, optionalHeader_ + kSizeOfHeadersField);
    if (!validAlignments(fileAlignment_, sectionAlignment_)) {
        error = "the PE optional header's file and section alignments are not valid";
        return false;
    }
    sectionTable_ = optionalHeader_ + optionalSize;

    const uint16_t count = readLe16(image, peOffset_ + kSectionCountOffset);
    sections_.clear();
    firstRawData_ = UINT32_MAX;
    for (uint16_t i = 0; i < count; ++i) {
        const uint64_t at = sectionTable_ + uint64_t{i} * kSectionHeaderSize;
        SectionHeader s;
        for (int k = 0; k < 8 && image[at + k] != 0; ++k) s.name.push_back(static_cast<char>(image[at + k]));
        s.virtualSize = readLe32(image, at + 8);
        s.virtualAddress = readLe32(image, at + 12);
        s.rawSize = readLe32(image, at + kRawDataSizeOffset);
        s.rawPointer = readLe32(image, at + kRawDataPointerOffset);
        s.characteristics = readLe32(image, at + 36);
        if (s.rawSize != 0) firstRawData_ = std::min(firstRawData_, s.rawPointer);
        if (uint64_t{s.rawPointer} + s.rawSize > image.size()) {
            error = "PE section " + s.name + " lies outside the file";
            return false;
        }
        sections_.push_back(s);
    }
    return true;
}

DataDirectory PeLayout::dataDirectory(const std::vector<uint8_t>& image, unsigned index) const {
    if (index >= dataDirectoryCount_) return {};
    return {readLe32(image, dataDirectories_ + 8ull * index), readLe32(image, dataDirectories_ + 8ull * index + 4)};
}

void PeLayout::setDataDirectory(std::vector<uint8_t>& image, unsigned index, DataDirectory value) const {
    if (index >= dataDirectoryCount_) return;
    writeLe32(image, dataDirectories_ + 8ull * index, value.rva);
    writeLe32(image, dataDirectories_ + 8ull * index + 4, value.size);
}

uint16_t PeLayout::subsystem(const std::vector<uint8_t>& image) const {
    return readLe16(image, optionalHeader_ + kSubsystemField);
}

void PeLayout::setSubsystem(std::vector<uint8_t>& image, uint16_t value) const {
    writeLe16(image, optionalHeader_ + kSubsystemField, value);
}

bool PeLayout::offsetOf(uint32_t rva, uint32_t length, uint64_t& offset) const {
    for (const SectionHeader& s : sections_) {
        if (rva < s.virtualAddress) continue;
        const uint64_t inside = rva - s.virtualAddress;
        if (inside + length > s.rawSize) continue;
        offset = s.rawPointer + inside;
        return true;
    }
    return false;
}

void PeLayout::writeSection(std::vector<uint8_t>& image, size_t index) const {
    const SectionHeader& s = sections_[index];
    const uint64_t at = sectionTable_ + index * kSectionHeaderSize;
    std::fill(image.begin() + static_cast<std::ptrdiff_t>(at),
              image.begin() + static_cast<std::ptrdiff_t>(at + kSectionHeaderSize), 0);
    for (size_t k = 0; k < s.name.size() && k < 8; ++k) image[at + k] = static_cast<uint8_t>(s.name[k]);
    writeLe32(image, at + 8, s.virtualSize);
    writeLe32(image, at + 12, s.virtualAddress);
    writeLe32(image, at + kRawDataSizeOffset, s.rawSize);
    writeLe32(image, at + kRawDataPointerOffset, s.rawPointer);
    writeLe32(image, at + 36, s.characteristics);
    writeLe16(image, peOffset_ + kSectionCountOffset, static_cast<uint16_t>(sections_.size()));
}

void PeLayout::updateImageSize(std::vector<uint8_t>& image) const {
    writeLe32(image, optionalHeader_ + kSizeOfImageField, nextVirtualAddress());
}

uint64_t PeLayout::nextVirtualAddress64() const {
    uint64_t end = alignUp(sizeOfHeaders_, sectionAlignment_);
    for (const SectionHeader& s : sections_)
        end = std::max<uint64_t>(end, s.virtualAddress + uint64_t{std::max(s.virtualSize, s.rawSize)});
    return alignUp(end, sectionAlignment_);
}

uint32_t PeLayout::nextVirtualAddress() const { return static_cast<uint32_t>(nextVirtualAddress64()); }

bool PeLayout::appendSection(std::vector<uint8_t>& image, const std::string& name, const std::vector<uint8_t>& data,
                             uint32_t characteristics, std::string& error) {
    const uint64_t entryEnd = sectionTable_ + (sections_.size() + 1) * kSectionHeaderSize;
    if (entryEnd > sizeOfHeaders_ || entryEnd > firstRawData_) {
        error = "the PE headers have no room for another section";
        return false;
    }
    // A damaged image whose sections reach the top of the 32-bit address space leaves no
    // room: the new section's addresses would wrap round onto the others'.
    if (nextVirtualAddress64() + alignUp(data.size(), sectionAlignment_) > UINT32_MAX) {
        error = "the PE sections leave no address room for another section";
        return false;
    }
    SectionHeader s;
    s.name = name;
    s.virtualSize = static_cast<uint32_t>(data.size());
    s.virtualAddress = nextVirtualAddress();
    s.rawPointer = static_cast<uint32_t>(alignUp(image.size(), fileAlignment_));
    s.rawSize = static_cast<uint32_t>(alignUp(data.size(), fileAlignment_));
    s.characteristics = characteristics;
    image.resize(s.rawPointer, 0);
    image.insert(image.end(), data.begin(), data.end());
    image.resize(uint64_t{s.rawPointer} + s.rawSize, 0);
    sections_.push_back(s);
    writeSection(image, sections_.size() - 1);
    updateImageSize(image);
    const uint64_t initialized = optionalHeader_ + kInitializedDataField;
    writeLe32(image, initialized, readLe32(image, initialized) + s.rawSize);
    return true;
}

void PeLayout::removeLastSection(std::vector<uint8_t>& image) {
    const SectionHeader last = sections_.back();
    const uint64_t at = sectionTable_ + (sections_.size() - 1) * kSectionHeaderSize;
    std::fill(image.begin() + static_cast<std::ptrdiff_t>(at),
              image.begin() + static_cast<std::ptrdiff_t>(at + kSectionHeaderSize), 0);
    sections_.pop_back();
    writeLe16(image, peOffset_ + kSectionCountOffset, static_cast<uint16_t>(sections_.size()));
    if (last.rawSize != 0) image.resize(last.rawPointer);
    updateImageSize(image);
    // The exact inverse of the addition in appendSection, wrapping as it does, so that a
    // nonsensical field in a damaged image still comes back as it was.
    const uint64_t initialized = optionalHeader_ + kInitializedDataField;
    writeLe32(image, initialized, readLe32(image, initialized) - last.rawSize);
}

int launcherBitsOfImage(const std::vector<uint8_t>& image) {
    constexpr uint16_t kMachineI386 = 0x014C;
    constexpr uint16_t kMachineAmd64 = 0x8664;
    if (image.size() < kPeOffsetField + 4 || image[0] != 'M' || image[1] != 'Z') return 0;
    const uint64_t pe = readLe32(image, kPeOffsetField);
    if (pe + 6 > image.size() || readLe32(image, pe) != 0x00004550) return 0;  // "PE\0\0"
    const uint16_t machine = readLe16(image, pe + 4);
    return machine == kMachineAmd64 ? 64 : machine == kMachineI386 ? 32 : 0;
}

bool isOurLauncher(const std::vector<uint8_t>& image, const PeLayout& layout, std::string& error) {
    error = "not a launcher of this project (it does not export the launcher's window-border functions)";
    const DataDirectory exports = layout.dataDirectory(image, kExportDirectory);
    uint64_t table = 0;
    if (exports.size < 40 || !layout.offsetOf(exports.rva, 40, table)) return false;
    const uint32_t names = readLe32(image, table + 24);
    uint64_t nameArray = 0;
    if (names > 4096 || !layout.offsetOf(readLe32(image, table + 32), names * 4, nameArray)) return false;
    const std::string wanted = kLauncherExport;
    for (uint32_t i = 0; i < names; ++i) {
        uint64_t at = 0;
        const uint32_t rva = readLe32(image, nameArray + 4ull * i);
        if (!layout.offsetOf(rva, 1, at)) continue;
        std::string name;
        while (at < image.size() && image[at] != 0 && name.size() < 512) name.push_back(static_cast<char>(image[at++]));
        // 32-bit: "_" + name + "@16"; 64-bit: the name itself.
        if (name == wanted || name.rfind("_" + wanted + "@", 0) == 0) return true;
    }
    return false;
}

uint32_t peChecksum(const std::vector<uint8_t>& file, uint64_t checksumOffset) {
    uint64_t sum = 0;
    for (uint64_t at = 0; at < file.size(); at += 2) {
        if (at >= checksumOffset && at < checksumOffset + 4) continue;
        uint32_t word = file[at];
        if (at + 1 < file.size()) word |= static_cast<uint32_t>(file[at + 1]) << 8;
        sum += word;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint32_t>(sum + file.size());
}

void writePeChecksum(std::vector<uint8_t>& file, const PeLayout& layout) {
    writeLe32(file, layout.checksumOffset(), peChecksum(file, layout.checksumOffset()));
}
