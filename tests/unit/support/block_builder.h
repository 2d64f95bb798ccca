// Builds data blocks byte by byte for reader tests, including malformed ones the packer
// would never write.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class BlockBuilder {
public:
    BlockBuilder& u8(uint8_t v) {
        bytes.push_back(v);
        return *this;
    }
    BlockBuilder& i16(int16_t v) {
        for (int i = 0; i < 2; ++i) bytes.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v) >> (8 * i)));
        return *this;
    }
    BlockBuilder& i32(int32_t v) {
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
        return *this;
    }
    BlockBuilder& i64(int64_t v) {
        for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * i)));
        return *this;
    }
    BlockBuilder& str(const std::string& s) {
        i32(static_cast<int32_t>(s.size()));
        bytes.insert(bytes.end(), s.begin(), s.end());
        return *this;
    }
    BlockBuilder& wstr(const std::u16string& s) {
        i32(static_cast<int32_t>(s.size() * 2));
        for (char16_t c : s) {
            bytes.push_back(static_cast<uint8_t>(c));
            bytes.push_back(static_cast<uint8_t>(c >> 8));
        }
        return *this;
    }
    // Magic and the three header words the reader skips.
    BlockBuilder& header(uint32_t magic = 0xE8E413D5u) { return i32(static_cast<int32_t>(magic)).i32(7).i32(8).i64(9); }
    std::vector<uint8_t> bytes;
};
