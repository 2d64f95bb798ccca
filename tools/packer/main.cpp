// packer: writes a configured launcher from a prebuilt launcher and a description.
//
//   packer <prebuilt launcher.exe> <description> <output.exe>
//
// The block goes right after the last section's raw data; anything that followed it in the
// input (a symbol table, the block of an earlier packing) is left out, so packing a packed
// launcher replaces its configuration. The input file is never written.

#include "block_writer.h"
#include "description.h"
#include "pe_image.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace fs = std::filesystem;

namespace {

int usage() {
    fprintf(stderr, "usage: packer <prebuilt launcher.exe> <description> <output.exe>\n");
    return 2;
}

bool readAll(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) return usage();
    const std::string launcherPath = argv[1];
    const std::string descriptionPath = argv[2];
    const std::string outputPath = argv[3];

    std::error_code ec;
    if (fs::exists(outputPath, ec) && fs::equivalent(launcherPath, outputPath, ec)) {
        fprintf(stderr, "packer: the output must not be the input launcher %s\n", launcherPath.c_str());
        return 1;
    }

    std::string image;
    if (!readAll(launcherPath, image)) {
        fprintf(stderr, "packer: cannot read %s\n", launcherPath.c_str());
        return 1;
    }
    std::vector<uint8_t> bytes(image.begin(), image.end());
    uint64_t end = 0;
    std::string error;
    if (!findEndOfImage(bytes, end, error)) {
        fprintf(stderr, "packer: %s: %s\n", launcherPath.c_str(), error.c_str());
        return 1;
    }

    std::string text;
    if (!readAll(descriptionPath, text)) {
        fprintf(stderr, "packer: cannot read %s\n", descriptionPath.c_str());
        return 1;
    }
    Description description;
    std::string base = fs::path(descriptionPath).parent_path().string();
    if (!parseDescription(text, descriptionPath, base.empty() ? "." : base, description, error)) {
        fprintf(stderr, "packer: %s\n", error.c_str());
        return 1;
    }
    std::vector<uint8_t> block = buildBlock(description);

    // Written next to the output and renamed over it, so a failed write never leaves a
    // half-written launcher behind.
    std::string temporary = outputPath + ".packing";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(image.data(), static_cast<std::streamsize>(end));
        out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size()));
        out.close();
        if (!out) {
            fs::remove(temporary, ec);
            fprintf(stderr, "packer: cannot write %s\n", outputPath.c_str());
            return 1;
        }
    }
    fs::permissions(temporary, fs::status(launcherPath).permissions(), ec);
    fs::rename(temporary, outputPath, ec);
    if (ec) {
        fs::remove(temporary, ec);
        fprintf(stderr, "packer: cannot write %s\n", outputPath.c_str());
        return 1;
    }
    return 0;
}
