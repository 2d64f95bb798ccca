// The launcher's own file as a byte source for the block reader: the configuration and
// the included files are both read through it.
#pragma once

#include "config/block_reader.h"
#include "core/handles.h"

class LauncherFileSource : public ByteSource {
public:
    explicit LauncherFileSource(FileHandle file);

    bool read(void* buffer, uint32_t count, uint32_t& got, uint32_t& error) override;
    // Offsets beyond the end of the file are refused, so that a damaged header value ends
    // in a short read instead of reading from wherever the pointer stood before.
    bool seek(uint64_t offset) override;
    uint64_t position() const override { return position_; }
    uint64_t size() const override { return size_; }

private:
    FileHandle file_;
    uint64_t size_ = 0;
    uint64_t position_ = 0;
};
