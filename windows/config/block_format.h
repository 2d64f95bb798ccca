// Constants of the data block that the packer appends to the launcher and the launcher
// reads back from its own file. Shared by both sides so they cannot drift apart.
#pragma once

#include "config/config_ids.h"

#include <cstdint>

constexpr uint32_t kBlockMagic = 0xE8E413D5u;
// Included-file content is stored with every byte XORed with this value.
constexpr uint8_t kIncludedFileXor = 0x97;

// Setting ids the packer itself fills in for included files.
constexpr int kSettingIncludedFileCount = idNumber(SettingId::IncludedFileCount);
constexpr int kSettingIncludedFilePaths = idNumber(SettingId::IncludedFilePaths);

// PE header offsets used to find the end of the last section's raw data.
constexpr uint32_t kPeOffsetField = 0x3C;           // e_lfanew
constexpr uint32_t kSectionCountOffset = 6;         // from the PE signature
constexpr uint32_t kOptionalHeaderSizeOffset = 20;  // from the PE signature
constexpr uint32_t kSectionTableOffset = 24;        // signature + file header
constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint32_t kRawDataSizeOffset = 16;     // within a section header
constexpr uint32_t kRawDataPointerOffset = 20;  // within a section header
