#include "banner.h"

namespace standin {

bool isOldNumbering(const std::string& version) { return version.compare(0, 2, "1.") == 0; }

std::string composeBanner(const BannerFacts& facts) {
    const std::string& build = facts.runtimeVersion.empty() ? facts.version : facts.runtimeVersion;
    const char* vmWidth = facts.sixtyFourBit ? "64-Bit " : "";
    std::string text;
    if (isOldNumbering(facts.version)) {
        text += "java version \"" + facts.version + "\"\r\n";
        text += "Java(TM) SE Runtime Environment (build " + build + ")\r\n";
        text += std::string("Java HotSpot(TM) ") + vmWidth + "Server VM (build " + build + ", mixed mode)\r\n";
    } else {
        text += "openjdk version \"" + facts.version + "\"";
        if (!facts.versionDate.empty()) text += " " + facts.versionDate;
        text += "\r\n";
        text += "OpenJDK Runtime Environment (build " + build + ")\r\n";
        text += std::string("OpenJDK ") + vmWidth + "Server VM (build " + build + ", mixed mode, sharing)\r\n";
    }
    return text;
}

}  // namespace standin
