// Feeds arbitrary bytes to the launcher's reading of its own file: first as a whole file
// (PE headers followed to the block), then as a block on its own. The file is untrusted, so
// no input may crash, overrun, or make the reader allocate beyond what the input holds.
#include "config/block_reader.h"
#include "support/log_capture.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    clearCapturedLog();  // the reader logs; keep memory flat across runs
    {
        MemorySource source(data, size);
        BlockReader reader(source);
        if (locateDataBlock(reader)) {
            ConfigStore store;
            BlockContents contents;
            parseConfigBlock(
                reader, store, [] { return std::string("de_DE"); }, contents);
        }
    }
    {
        MemorySource source(data, size);
        BlockReader reader(source);
        ConfigStore store;
        BlockContents contents;
        BlockError error = parseConfigBlock(
            reader, store, [] { return std::string("en"); }, contents);
        if (error == BlockError::None && contents.includedFilesPosition > size) __builtin_trap();
    }
    return 0;
}
