#include "jvmsearch/unpack_jre_rules.h"

namespace {

constexpr char kPackedEnding[] = ".jar.pack";
constexpr size_t kPackedEndingLength = sizeof kPackedEnding - 1;
constexpr size_t kPackSuffixLength = 5;  // ".pack"

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool endsWithPackedEnding(const std::string& name) {
    if (name.size() <= kPackedEndingLength) return false;
    size_t offset = name.size() - kPackedEndingLength;
    for (size_t i = 0; i < kPackedEndingLength; ++i)
        if (asciiLower(name[offset + i]) != kPackedEnding[i]) return false;
    return true;
}

}  // namespace

std::optional<std::string> jarNameForPackedFile(const std::string& fileName) {
    if (!endsWithPackedEnding(fileName)) return std::nullopt;
    return fileName.substr(0, fileName.size() - kPackSuffixLength);
}

std::string unpack200CommandLine(const std::string& packedPath, const std::string& jarPath) {
    return "-r \"" + packedPath + "\" \"" + jarPath + "\"";
}
