#include "jvmsearch/unpack_jre_rules.h"

#include "core/text_helpers.h"

namespace {

constexpr char kPackedEnding[] = ".jar.pack";
constexpr size_t kPackedEndingLength = sizeof kPackedEnding - 1;
constexpr size_t kPackSuffixLength = 5;  // ".pack"

// A name before the ending is required: ".jar.pack" alone names no archive.
bool endsWithPackedEnding(const std::string& name) {
    return name.size() > kPackedEndingLength && endsWithIgnoringAsciiCase(name, kPackedEnding);
}

}  // namespace

std::optional<std::string> jarNameForPackedFile(const std::string& fileName) {
    if (!endsWithPackedEnding(fileName)) return std::nullopt;
    return fileName.substr(0, fileName.size() - kPackSuffixLength);
}

std::string unpack200CommandLine(const std::string& packedPath, const std::string& jarPath) {
    return "-r \"" + packedPath + "\" \"" + jarPath + "\"";
}
