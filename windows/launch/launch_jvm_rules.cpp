#include "launch/launch_jvm_rules.h"

#include "core/text_helpers.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

int64_t parseMemorySize(const std::string& text) {
    const char* p = text.c_str();
    errno = 0;
    char* end = nullptr;
    long long number = strtoll(p, &end, 10);
    if (end == p || errno == ERANGE) return -1;
    // The suffix is what follows the leading digits of the text, so a sign or white space in
    // front leaves more than one character and the text is refused.
    const char* suffix = p;
    while (*suffix >= '0' && *suffix <= '9') ++suffix;
    size_t rest = strlen(suffix);
    if (rest == 0) return number;
    if (rest > 1) return -1;
    int64_t factor = 0;
    switch (*suffix) {
    case 'k':
    case 'K':
        factor = 1024;
        break;
    case 'm':
    case 'M':
        factor = 1048576;
        break;
    case 'g':
    case 'G':
        factor = 1073741824;
        break;
    case 't':
    case 'T':
        factor = 1099511627776LL;
        break;
    default:
        return -1;
    }
    // A size that would not fit 64 bits is no size at all.
    if (number > INT64_MAX / factor || number < INT64_MIN / factor) return -1;
    return number * factor;
}

uint32_t stackSizeFromOptions(const std::vector<std::string>& options) {
    uint32_t size = 0;
    for (const std::string& option : options) {
        if (!startsWith(option, "-Xss")) continue;
        int64_t parsed = parseMemorySize(option.substr(4));
        if (parsed > 0) size = static_cast<uint32_t>(parsed);
    }
    if (size >= 1 && size <= 65535) size = 65536;
    return size;
}
