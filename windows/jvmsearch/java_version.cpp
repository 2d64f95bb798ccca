#include "jvmsearch/java_version.h"

#include "core/log.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

bool isSeparator(char c) { return c == '.' || c == '_' || c == '-' || c == '+'; }

// atol on one piece: leading digits give the value (saturating rather than overflowing).
int32_t leadingNumber(const std::string& piece) {
    int64_t value = 0;
    for (char c : piece) {
        if (c < '0' || c > '9') break;
        value = value * 10 + (c - '0');
        if (value > INT32_MAX) value = INT32_MAX;
    }
    return static_cast<int32_t>(value);
}

enum class Side { Lower, Upper };

bool boundTest(const JavaVersion& version, const JavaVersion& bound, Side side, bool shortPasses) {
    for (size_t i = 0; i < bound.size(); ++i) {
        int32_t v = 0;
        if (i < version.size())
            v = version[i];
        else if (shortPasses)
            return true;
        if (v == bound[i]) continue;
        return side == Side::Lower ? v > bound[i] : v < bound[i];
    }
    return true;
}

// A "*" matches a run, so once the pattern up to a later "*" has matched, an earlier "*"
// never needs to take another length: any way the later one could continue, it can also
// continue from where it stands. Only the last "*" is ever widened, one character at a time.
template <typename Char>
bool matchFromLastStar(const Char* pattern, const Char* text) {
    const Char* afterStar = nullptr;  // the pattern just after the last "*" run seen
    const Char* starText = nullptr;   // where the text stood when that run matched nothing more
    while (*text != 0) {
        if (*pattern == '*') {
            while (*pattern == '*') ++pattern;
            if (*pattern == 0) return true;
            afterStar = pattern;
            starText = text;
        } else if (*pattern != 0 && (*pattern == '?' || *pattern == *text)) {
            ++pattern;
            ++text;
        } else if (afterStar != nullptr) {
            pattern = afterStar;
            text = ++starText;
        } else {
            return false;
        }
    }
    while (*pattern == '*') ++pattern;
    return *pattern == 0;
}

}  // namespace

bool matchVersionWildcard(const char* pattern, const char* text) { return matchFromLastStar(pattern, text); }

bool matchVersionWildcard(const wchar_t* pattern, const wchar_t* text) { return matchFromLastStar(pattern, text); }

JavaVersion parseVersion(const std::string& text) {
    JavaVersion version;
    std::string piece;
    for (size_t i = 0; i <= text.size(); ++i) {
        char c = i < text.size() ? text[i] : '\0';
        if (c == '\0' || isSeparator(c)) {
            if (!piece.empty()) version.push_back(leadingNumber(piece));
            piece.clear();
            if (c == '\0') break;
        } else {
            piece.push_back(c);
        }
    }
    return version;
}

bool versionKeyInRange(const std::string& text, const JavaVersion& minimum, const JavaVersion& maximum) {
    JavaVersion version = parseVersion(text);
    return boundTest(version, minimum, Side::Lower, true) && boundTest(version, maximum, Side::Upper, true);
}

bool checkVersion(const std::string& text, const JavaVersion& minimum, const JavaVersion& maximum, bool allowPreRelease,
                  bool preReleaseSetting) {
    if (!allowPreRelease && !preReleaseSetting &&
        (text.find("beta") != std::string::npos || text.find("-ea") != std::string::npos ||
         text.find("-rc") != std::string::npos)) {
        logLine(L"beta vm not allowed");
        return false;
    }
    JavaVersion version = parseVersion(text);
    return boundTest(version, minimum, Side::Lower, false) && boundTest(version, maximum, Side::Upper, false);
}

bool isNewerVersion(const std::string& a, const std::string& b) {
    JavaVersion va = parseVersion(a);
    JavaVersion vb = parseVersion(b);
    for (size_t i = 0; i < va.size(); ++i) {
        if (i >= vb.size()) return true;
        if (va[i] != vb[i]) return va[i] > vb[i];
    }
    return false;
}

bool parseVersionBanner(const std::string& output, std::string& version) {
    static const char kMarker[] = " version \"";
    bool found = false;
    size_t start = 0;
    while (start <= output.size()) {
        size_t end = output.find('\n', start);
        std::string line = output.substr(start, end == std::string::npos ? std::string::npos : end - start);
        size_t at = line.find(kMarker);
        if (at != std::string::npos) {
            size_t from = at + strlen(kMarker);
            size_t quote = line.find('"', from);
            if (quote != std::string::npos) {
                version = line.substr(from, quote - from);
            } else {
                // No closing quote: the rest less its last two characters, never less than nothing.
                size_t rest = line.size() - from;
                version = line.substr(from, rest >= 2 ? rest - 2 : 0);
            }
            found = true;
        }
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return found;
}

std::vector<std::string> vendorKeyTryOrder(std::vector<std::string> names) {
    // std::string compares as unsigned bytes, which is the byte-wise order wanted here.
    std::sort(names.begin(), names.end());
    std::reverse(names.begin(), names.end());
    return names;
}
