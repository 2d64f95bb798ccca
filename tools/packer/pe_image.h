// Reading and adjusting the PE headers of a launcher image without any Windows API, so the
// Linux and the Windows packer write the same bytes: where the image's own data ends (the
// launcher looks for its block there), its section table and data directories, whether it is
// one of our launchers, and the checksum.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The offset just past the last section's raw data, or an error text when `image` is not a
// PE executable whose headers and last section lie inside it.
bool findEndOfImage(const std::vector<uint8_t>& image, uint64_t& end, std::string& error);

struct SectionHeader {
    std::string name;  // up to 8 bytes, without the padding
    uint32_t virtualSize = 0;
    uint32_t virtualAddress = 0;
    uint32_t rawSize = 0;
    uint32_t rawPointer = 0;
    uint32_t characteristics = 0;
};

struct DataDirectory {
    uint32_t rva = 0;
    uint32_t size = 0;
};

// Data directory slots the packer uses.
constexpr unsigned kExportDirectory = 0;
constexpr unsigned kResourceDirectory = 2;
constexpr unsigned kSecurityDirectory = 4;  // its "rva" is a file offset

constexpr uint16_t kSubsystemGui = 2;
constexpr uint16_t kSubsystemConsole = 3;

// The headers of a PE image, read once and checked against the image's size; the setters
// write straight into the image, so a layout stays valid only while its image is edited
// through it.
class PeLayout {
public:
    // False with a reason when `image` is no PE executable or a header lies outside it.
    bool read(const std::vector<uint8_t>& image, std::string& error);

    const std::vector<SectionHeader>& sections() const { return sections_; }
    uint32_t fileAlignment() const { return fileAlignment_; }
    uint32_t sectionAlignment() const { return sectionAlignment_; }
    uint64_t checksumOffset() const { return optionalHeader_ + 64; }

    DataDirectory dataDirectory(const std::vector<uint8_t>& image, unsigned index) const;
    void setDataDirectory(std::vector<uint8_t>& image, unsigned index, DataDirectory value) const;
    uint16_t subsystem(const std::vector<uint8_t>& image) const;
    void setSubsystem(std::vector<uint8_t>& image, uint16_t value) const;

    // The file offset of `length` bytes at `rva`, when they lie in one section's raw data.
    bool offsetOf(uint32_t rva, uint32_t length, uint64_t& offset) const;

    // Where a section appended now would begin in memory.
    uint32_t nextVirtualAddress() const;
    // Appends a section after the last one: its raw data at the end of the file (padded to
    // the file alignment), its addresses after the last section's, SizeOfImage and
    // SizeOfInitializedData grown to match. The image must end where the last section's raw
    // data ends. False when the headers have no room for one more section entry.
    bool appendSection(std::vector<uint8_t>& image, const std::string& name, const std::vector<uint8_t>& data,
                       uint32_t characteristics, std::string& error);
    // Removes the last section (its entry and its raw data, which must end the image) and
    // shrinks SizeOfImage and SizeOfInitializedData back.
    void removeLastSection(std::vector<uint8_t>& image);

private:
    uint64_t nextVirtualAddress64() const;
    void writeSection(std::vector<uint8_t>& image, size_t index) const;
    void updateImageSize(std::vector<uint8_t>& image) const;

    uint64_t peOffset_ = 0;
    uint64_t optionalHeader_ = 0;
    uint64_t sectionTable_ = 0;
    uint64_t dataDirectories_ = 0;
    uint32_t dataDirectoryCount_ = 0;
    uint32_t fileAlignment_ = 0;
    uint32_t sectionAlignment_ = 0;
    uint32_t sizeOfHeaders_ = 0;
    uint32_t firstRawData_ = 0;
    std::vector<SectionHeader> sections_;
};

// Whether `image` is one of this project's launchers: it exports the window-border functions
// (plain JNI names on 64-bit, decorated ones on 32-bit). Otherwise `error` says why not.
// The bitness of the launcher in `image` from its PE machine field: 32 (i386), 64 (x86-64),
// or 0 when the image is neither (the default texts then speak of "the launcher's bitness").
int launcherBitsOfImage(const std::vector<uint8_t>& image);

bool isOurLauncher(const std::vector<uint8_t>& image, const PeLayout& layout, std::string& error);

// The PE checksum of `file` (the whole file, its checksum field counted as zero): the 16-bit
// one's-complement sum of its words plus the file length, as the image loader checks it.
uint32_t peChecksum(const std::vector<uint8_t>& file, uint64_t checksumOffset);
void writePeChecksum(std::vector<uint8_t>& file, const PeLayout& layout);

// Little-endian access, checked by the callers against the image size.
uint16_t readLe16(const std::vector<uint8_t>& b, uint64_t at);
uint32_t readLe32(const std::vector<uint8_t>& b, uint64_t at);
void writeLe16(std::vector<uint8_t>& b, uint64_t at, uint16_t v);
void writeLe32(std::vector<uint8_t>& b, uint64_t at, uint32_t v);
