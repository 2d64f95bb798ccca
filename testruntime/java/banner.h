// The three lines a Java runtime writes for `-version`, in the two shapes real runtimes use:
// the old numbering (1.x) in the style of the commercial builds, the new one (9 and later)
// in the style of OpenJDK builds. Lines end with CR LF, as a Windows runtime writes them.
#pragma once

#include <string>

namespace standin {

struct BannerFacts {
    std::string version;         // JAVA_VERSION, the quoted text of the first line
    std::string runtimeVersion;  // the build text in parentheses; the version when empty
    std::string versionDate;     // appended to the first line of new-style banners when set
    bool sixtyFourBit = true;
};

std::string composeBanner(const BannerFacts& facts);

// True for the old numbering, in which the quoted version starts with "1.".
bool isOldNumbering(const std::string& version);

}  // namespace standin
