// The packer's reading of a launcher image it is asked to pack or inspect: PE headers, the
// resource tree and the record of an earlier packing, whatever the file holds. Besides memory
// safety under the sanitizers, every image the packer accepts and rewrites must read back as
// a PE image carrying what was written, and rewriting it again must give the same bytes.
#include "executable_resources.h"
#include "pe_image.h"
#include "resource_tree.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

ExecutableOptions fuzzOptions() {
    ExecutableOptions options;
    options.given["file_version"] = "1.2.3";
    options.given["product_name"] = "Fuzz";
    options.given["subsystem"] = "gui";
    options.given["execution_level"] = "highestAvailable";
    return options;
}

void readEverything(const std::vector<uint8_t>& image) {
    uint64_t end = 0;
    std::string error;
    findEndOfImage(image, end, error);
    PeLayout layout;
    if (layout.read(image, error)) {
        std::vector<ResourceEntry> entries;
        readResourceTree(image, layout, layout.dataDirectory(image, kResourceDirectory), entries, error);
    }
    ExecutableOptions shipped;
    readShippedOptions(image, shipped, error);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> input(data, data + size);
    readEverything(input);

    // As the packer does: the image up to the end of its last section is rewritten. Whether
    // it is one of our launchers is left unchecked, so that every image reaches the rewriting.
    uint64_t end = 0;
    std::string error;
    if (!findEndOfImage(input, end, error)) return 0;
    std::vector<uint8_t> image(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(end));
    PeLayout layout;
    if (!layout.read(image, error)) return 0;
    isOurLauncher(image, layout, error);
    std::vector<std::string> notes;
    const ExecutableOptions options = fuzzOptions();
    if (!shipExecutable(image, options, notes, error)) return 0;

    if (!layout.read(image, error)) __builtin_trap();
    if (layout.subsystem(image) != kSubsystemGui) __builtin_trap();
    ExecutableOptions readBack;
    if (!readShippedOptions(image, readBack, error) || readBack.given != options.given) __builtin_trap();

    std::vector<uint8_t> again = image;
    if (!shipExecutable(again, options, notes, error) || again != image) __builtin_trap();
    return 0;
}
