// The packer's reading of a TOML configuration, and the way back through `packer inspect`.
// No text may crash the reader or the parsing library under it; a refusal always names the
// file and line; and whatever the reader accepts, inspect prints as a configuration that the
// reader accepts again and that packs to the very same block.
#include "block_writer.h"
#include "default_texts.h"
#include "inspect.h"
#include "toml_config.h"

#include "support/log_capture.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    clearCapturedLog();
    std::string text(reinterpret_cast<const char*>(data), size);
    Description description;
    std::string error;
    // The sources of included files are looked up in a folder that does not exist.
    if (!parseTomlConfig(text, "fuzz.toml", "/nonexistent-fuzz-folder", description, error)) {
        if (error.rfind("fuzz.toml:", 0) != 0) __builtin_trap();
        return 0;
    }
    // As packing does: the texts the configuration leaves out are composed for the launcher's
    // bitness (either, by the input's length), and inspect leaves them to the next packing.
    const int launcherBits = size % 2 == 0 ? 64 : 32;
    addDefaultTexts(description, launcherBits);
    std::vector<uint8_t> block = buildBlock(description);
    PackedBlock parsed;
    if (!parseBlock(block, parsed, error)) __builtin_trap();
    parsed.launcherBits = launcherBits;
    InspectOutput output;
    // A message read from TOML is valid UTF-8, so it never holds a lone surrogate.
    if (!inspectBlock(parsed, "", output, error)) __builtin_trap();
    if (!output.notes.empty()) __builtin_trap();  // the packer's own blocks print exactly
    Description again;
    if (!parseTomlConfig(output.toml, "printed.toml", "/nonexistent-fuzz-folder", again, error)) __builtin_trap();
    addDefaultTexts(again, launcherBits);
    if (buildBlock(again) != block) __builtin_trap();
    return 0;
}
