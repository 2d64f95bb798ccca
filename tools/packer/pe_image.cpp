#include "pe_image.h"

#include "config/block_format.h"

namespace {

uint32_t read32(const std::vector<uint8_t>& b, uint64_t at) {
    return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
           static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

uint16_t read16(const std::vector<uint8_t>& b, uint64_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }

}  // namespace

bool findEndOfImage(const std::vector<uint8_t>& image, uint64_t& end, std::string& error) {
    const uint64_t size = image.size();
    if (size < 0x40 || image[0] != 'M' || image[1] != 'Z') {
        error = "not a Windows executable (no MZ header)";
        return false;
    }
    uint64_t pe = read32(image, kPeOffsetField);
    if (pe + kSectionTableOffset > size || image[pe] != 'P' || image[pe + 1] != 'E' || image[pe + 2] != 0 ||
        image[pe + 3] != 0) {
        error = "not a PE executable (no PE signature)";
        return false;
    }
    uint16_t sections = read16(image, pe + kSectionCountOffset);
    uint16_t optionalHeaderSize = read16(image, pe + kOptionalHeaderSizeOffset);
    if (sections == 0) {
        error = "PE executable without sections";
        return false;
    }
    uint64_t lastHeader = pe + kSectionTableOffset + optionalHeaderSize + (sections - 1ull) * kSectionHeaderSize;
    if (lastHeader + kSectionHeaderSize > size) {
        error = "PE section table lies outside the file";
        return false;
    }
    uint64_t rawSize = read32(image, lastHeader + kRawDataSizeOffset);
    uint64_t rawPointer = read32(image, lastHeader + kRawDataPointerOffset);
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
