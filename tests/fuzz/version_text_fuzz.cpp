// Version texts, version-condition wildcards and the java -version banner: the texts come
// from runtimes on the machine and from the configuration. Besides memory safety it checks
// that the wildcard matcher agrees with a plain table-filling matcher, that a version lies
// within the range it bounds on both sides, that "newer" is never true both ways, and that a
// version read from a banner is a piece of that banner.
#include "jvmsearch/java_version.h"
#include "support/log_capture.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

// matches[i][j]: the first i pattern characters match the first j text characters.
bool tableMatch(const std::string& pattern, const std::string& text) {
    std::vector<std::vector<bool>> matches(pattern.size() + 1, std::vector<bool>(text.size() + 1, false));
    matches[0][0] = true;
    for (size_t i = 1; i <= pattern.size(); ++i) {
        char p = pattern[i - 1];
        matches[i][0] = p == '*' && matches[i - 1][0];
        for (size_t j = 1; j <= text.size(); ++j) {
            if (p == '*')
                matches[i][j] = matches[i - 1][j] || matches[i][j - 1];
            else
                matches[i][j] = matches[i - 1][j - 1] && (p == '?' || p == text[j - 1]);
        }
    }
    return matches[pattern.size()][text.size()];
}

std::string upToNul(const std::string& text) { return text.substr(0, text.find('\0')); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    clearCapturedLog();
    std::string input(reinterpret_cast<const char*>(data), size);
    size_t cut = input.find('\n');
    std::string first = input.substr(0, cut);
    std::string second = cut == std::string::npos ? "" : input.substr(cut + 1);

    // The pattern is kept short enough for the table to stay small.
    std::string pattern = upToNul(first).substr(0, 256), text = upToNul(second).substr(0, 256);
    if (matchVersionWildcard(pattern.c_str(), text.c_str()) != tableMatch(pattern, text)) __builtin_trap();

    JavaVersion version = parseVersion(first);
    if (version.size() > first.size()) __builtin_trap();
    for (int32_t component : version)
        if (component < 0) __builtin_trap();
    if (!checkVersion(first, version, version, true, true)) __builtin_trap();
    if (!versionKeyInRange(first, version, version)) __builtin_trap();
    if (isNewerVersion(first, second) && isNewerVersion(second, first)) __builtin_trap();

    std::string banner;
    if (parseVersionBanner(input, banner) && input.find(banner) == std::string::npos) __builtin_trap();
    return 0;
}
