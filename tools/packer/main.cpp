// packer: writes a configured launcher from a prebuilt launcher and a configuration, and reads
// the configuration of a packed launcher back.
//
//   packer <prebuilt launcher.exe> <config.toml | description> <output.exe>
//   packer inspect <packed.exe> [--effective] [--files <dir>] [-o <config.toml>]
//   packer --reference | --help | --version
//
// The block goes right after the last section's raw data; anything that followed it in the
// input (a symbol table, the block of an earlier packing) is left out, so packing a packed
// launcher replaces its configuration. The [executable] table changes the image itself
// (executable_resources.h); a signature of the input is dropped, since a signature covers the
// whole file: pack first, then sign. The PE checksum is written for the finished file. The
// input file is never written, and nothing is written at all when the configuration has a
// mistake.

#include "block_writer.h"
#include "default_texts.h"
#include "description.h"
#include "executable_config.h"
#include "executable_resources.h"
#include "inspect.h"
#include "pe_image.h"
#include "reference.h"
#include "toml_config.h"
#include "version.h"

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace fs = std::filesystem;

namespace {

const char kUsage[] =
    "usage: packer <prebuilt launcher.exe> <config.toml | description> <output.exe>\n"
    "       packer inspect <packed.exe> [--effective] [--files <dir>] [-o <config.toml>]\n"
    "       packer --reference | --help | --version\n";

const char kHelp[] =
    "\n"
    "Writes <output.exe>: the prebuilt launcher with the configuration appended (and the\n"
    "[executable] table applied to the image). Nothing is written when the configuration has a\n"
    "mistake; every mistake is reported as <file>:<line>: <reason>.\n"
    "\n"
    "inspect       prints the configuration of a packed launcher as TOML\n"
    "  --effective   also shows, as comments, the value the launcher uses for each setting\n"
    "                the configuration leaves out, and the default message texts\n"
    "  --files <dir> writes the included files into <dir> and names them as sources\n"
    "  -o <file>     writes the configuration to <file> instead of standard output\n"
    "--reference   prints the reference of every configuration key (docs/configuration.md)\n"
    "--help        prints this text\n"
    "--version     prints the packer's version\n";

int usage() {
    fputs(kUsage, stderr);
    return 2;
}

void clearSystemError() {
    errno = 0;
#ifdef _WIN32
    _doserrno = 0;
#endif
}

// The system's reason for the last failed C library call. On Windows the C library keeps the
// system's own error code beside errno, and its text is the Windows message; elsewhere, and
// when the failure did not come from the system, it is the C library's text for errno.
std::string lastReason() {
#ifdef _WIN32
    if (_doserrno != 0) return std::system_category().message(static_cast<int>(_doserrno));
#endif
    return std::generic_category().message(errno);
}

bool readAll(const std::string& path, std::string& text, std::string& reason) {
    // A folder opens as a stream but fails at its first read; it is no file to read.
    std::error_code folder;
    if (std::filesystem::is_directory(path, folder)) return (reason = "it is a folder, not a file", false);
    clearSystemError();
    std::ifstream in(path, std::ios::binary);
    if (!in) return (reason = lastReason(), false);
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) return (reason = lastReason(), false);
    return true;
}

// Written next to the target and renamed over it, so a failed write never leaves a
// half-written file behind. `permissionsFrom` names a file whose permissions the result gets.
// On failure `reason` is the system's reason.
bool writeReplacing(const std::string& path, const char* data1, size_t size1, const char* data2, size_t size2,
                    const std::string& permissionsFrom, std::string& reason) {
    std::error_code ec;
    std::string temporary = path + ".packing";
    clearSystemError();
    FILE* out = fopen(temporary.c_str(), "wb");
    if (out == nullptr) return (reason = lastReason(), false);
    bool written = fwrite(data1, 1, size1, out) == size1 && fwrite(data2, 1, size2, out) == size2;
    if (!written) reason = lastReason();
    if (fclose(out) != 0 && written) {
        written = false;
        reason = lastReason();
    }
    if (!written) {
        fs::remove(temporary, ec);
        return false;
    }
    if (!permissionsFrom.empty()) {
        fs::file_status status = fs::status(permissionsFrom, ec);
        if (!ec) fs::permissions(temporary, status.permissions(), ec);
    }
    fs::rename(temporary, path, ec);
    if (ec) {
        reason = ec.message();
        fs::remove(temporary, ec);
        return false;
    }
    return true;
}

bool readImage(const std::string& path, std::string& image, uint64_t& end) {
    std::string reason;
    if (!readAll(path, image, reason)) {
        fprintf(stderr, "packer: cannot read %s: %s\n", path.c_str(), reason.c_str());
        return false;
    }
    std::vector<uint8_t> bytes(image.begin(), image.end());
    std::string error;
    if (!findEndOfImage(bytes, end, error)) {
        fprintf(stderr, "packer: %s: %s\n", path.c_str(), error.c_str());
        return false;
    }
    return true;
}

// `toml` tells which format the file was read in.
bool readConfiguration(const std::string& path, Description& description, bool& toml) {
    std::string text, reason;
    if (!readAll(path, text, reason)) {
        fprintf(stderr, "packer: cannot read %s: %s\n", path.c_str(), reason.c_str());
        return false;
    }
    std::string base = fs::path(path).parent_path().string();
    if (base.empty()) base = ".";
    std::string error;
    toml = looksLikeToml(path, text);
    bool ok = toml ? parseTomlConfig(text, path, base, description, error)
                   : parseDescription(text, path, base, description, error);
    // One line for each mistake, each with the packer's prefix.
    if (!ok) {
        std::istringstream lines(error);
        for (std::string line; std::getline(lines, line);) fprintf(stderr, "packer: %s\n", line.c_str());
    }
    return ok;
}

int pack(const std::string& launcherPath, const std::string& configPath, const std::string& outputPath) {
    std::error_code ec;
    if (fs::exists(outputPath, ec) && fs::equivalent(launcherPath, outputPath, ec)) {
        fprintf(stderr, "packer: the output must not be the input launcher %s\n", launcherPath.c_str());
        return 1;
    }
    std::string image;
    uint64_t end = 0;
    Description description;
    bool toml = false;
    if (!readImage(launcherPath, image, end) || !readConfiguration(configPath, description, toml)) return 1;
    // A TOML configuration gets a text for every message it leaves out; the line format
    // writes exactly the ids it lists.
    std::vector<uint8_t> output(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(end));
    if (toml) addDefaultTexts(description, launcherBitsOfImage(output));
    PeLayout layout;
    std::string error;
    std::vector<std::string> notes;
    if (!layout.read(output, error) || !isOurLauncher(output, layout, error) ||
        !shipExecutable(output, description.executable, notes, error)) {
        fprintf(stderr, "packer: %s: %s\n", launcherPath.c_str(), error.c_str());
        return 1;
    }
    for (const std::string& note : notes) fprintf(stderr, "packer: note: %s\n", note.c_str());
    std::vector<uint8_t> block = buildBlock(description);
    output.insert(output.end(), block.begin(), block.end());
    writePeChecksum(output, layout);
    std::string reason;
    if (!writeReplacing(outputPath, reinterpret_cast<const char*>(output.data()), output.size(), "", 0, launcherPath,
                        reason)) {
        fprintf(stderr, "packer: cannot write %s: %s\n", outputPath.c_str(), reason.c_str());
        return 1;
    }
    return 0;
}

// The folder text for source entries: relative to the folder of the written configuration,
// or absolute when the configuration goes to standard output and could be saved anywhere.
std::string sourceFolder(const std::string& filesDirectory, const std::string& outputPath) {
    std::error_code ec;
    fs::path files = fs::absolute(filesDirectory, ec);
    if (outputPath.empty()) return files.lexically_normal().generic_string();
    fs::path configFolder = fs::absolute(outputPath, ec).parent_path();
    fs::path relative = files.lexically_normal().lexically_relative(configFolder.lexically_normal());
    return relative.empty() ? files.generic_string() : relative.generic_string();
}

bool writeIncludedFiles(const std::string& directory, const InspectOutput& output) {
    for (const auto& [name, content] : output.files) {
        fs::path target = fs::path(directory) / fs::path(name);
        std::error_code ec;
        fs::create_directories(target.parent_path(), ec);
        clearSystemError();
        FILE* out = fopen(target.string().c_str(), "wb");
        bool written = out != nullptr && fwrite(content.data(), 1, content.size(), out) == content.size();
        std::string reason = written ? "" : lastReason();
        if (out != nullptr && fclose(out) != 0 && written) {
            written = false;
            reason = lastReason();
        }
        if (!written) {
            fprintf(stderr, "packer: cannot write %s: %s\n", target.string().c_str(), reason.c_str());
            return false;
        }
    }
    return true;
}

int inspect(int argc, char** argv) {
    std::string packedPath, filesDirectory, outputPath;
    bool effective = false;
    for (int i = 2; i < argc; ++i) {
        if (strcmp(argv[i], "--effective") == 0)
            effective = true;
        else if (strcmp(argv[i], "--files") == 0 && i + 1 < argc)
            filesDirectory = argv[++i];
        else if (strcmp(argv[i], "-o") == 0 && i + 1 < argc)
            outputPath = argv[++i];
        else if (packedPath.empty() && argv[i][0] != '-')
            packedPath = argv[i];
        else
            return usage();
    }
    if (packedPath.empty()) return usage();

    std::string image;
    uint64_t end = 0;
    if (!readImage(packedPath, image, end)) return 1;
    std::vector<uint8_t> bytes(image.begin() + static_cast<std::ptrdiff_t>(end), image.end());
    const std::vector<uint8_t> whole(image.begin(), image.end());
    PackedBlock block;
    block.launcherBits = launcherBitsOfImage(whole);
    InspectOutput output;
    std::string error;
    std::string folder = filesDirectory.empty() ? "" : sourceFolder(filesDirectory, outputPath);
    if (!parseBlock(bytes, block, error) || !inspectBlock(block, folder, output, error, effective)) {
        fprintf(stderr, "packer: %s: %s\n", packedPath.c_str(), error.c_str());
        return 1;
    }
    ExecutableOptions shipped;
    if (!readShippedOptions(whole, shipped, error)) {
        fprintf(stderr, "packer: %s: %s\n", packedPath.c_str(), error.c_str());
        return 1;
    }
    output.toml += executableTable(shipped);
    for (const std::string& note : output.notes) fprintf(stderr, "packer: note: %s\n", note.c_str());
    if (!filesDirectory.empty() && !writeIncludedFiles(filesDirectory, output)) return 1;
    if (outputPath.empty()) {
        fwrite(output.toml.data(), 1, output.toml.size(), stdout);
        return fflush(stdout) == 0 ? 0 : 1;
    }
    std::string reason;
    if (!writeReplacing(outputPath, output.toml.data(), output.toml.size(), "", 0, "", reason)) {
        fprintf(stderr, "packer: cannot write %s: %s\n", outputPath.c_str(), reason.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // The printed configuration is the same bytes on every platform: no CR before LF.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    if (argc == 2 && strcmp(argv[1], "--reference") == 0) {
        std::string text = configurationReference();
        fwrite(text.data(), 1, text.size(), stdout);
        return fflush(stdout) == 0 ? 0 : 1;
    }
    if (argc == 2 && strcmp(argv[1], "--help") == 0) {
        fputs(kUsage, stdout);
        fputs(kHelp, stdout);
        return fflush(stdout) == 0 ? 0 : 1;
    }
    if (argc == 2 && strcmp(argv[1], "--version") == 0) {
        printf("packer %s\n", kProjectVersion);
        return fflush(stdout) == 0 ? 0 : 1;
    }
    if (argc >= 2 && strcmp(argv[1], "inspect") == 0) return inspect(argc, argv);
    if (argc != 4) return usage();
    return pack(argv[1], argv[2], argv[3]);
}
