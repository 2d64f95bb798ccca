#include "jvmsearch/java_check.h"

#include "config/config_store.h"
#include "core/log.h"
#include "core/text_helpers.h"
#include "jvmsearch/java_check_rules.h"

#include <string>
#include <vector>

namespace {

// Every executable whose JVM library could not be loaded in this process. Written by the
// search on the main thread (addNonWorkingJava), read by checkJavaExe on the same thread.
std::vector<std::string>& nonWorkingJavas() {
    static std::vector<std::string> list;
    return list;
}

// The search retries the registry lookups once per failed runtime; this many failures end
// the retries.
constexpr size_t kNonWorkingLimit = 50;

}  // namespace

std::optional<std::string> javawPathFor(const std::string& javaExe) {
    if (!endsWithIgnoringAsciiCase(javaExe, ".exe")) return std::nullopt;
    return javaExe.substr(0, javaExe.size() - 4) + "w.exe";
}

bool isNonWorkingJava(const char* exe) {
    if (exe == nullptr) return false;
    for (const std::string& entry : nonWorkingJavas())
        if (entry == exe) return true;
    return false;
}

void forgetNonWorkingJavasForTest() { nonWorkingJavas().clear(); }

bool addNonWorkingJava(const char* exe) {
    if (exe == nullptr) exe = "";
    logLine(L"add non-working java %S", exe);
    nonWorkingJavas().push_back(exe);
    return nonWorkingJavas().size() < kNonWorkingLimit;
}

bool preReleasesAllowedBySetting() { return getSettingInt(SettingId::AllowPrerelease) != 0; }

std::optional<std::string> versionRangeRefusal(const std::string& version, const VersionBounds& bounds) {
    // Pre-releases are allowed here: their refusal has its own line.
    if (!checkVersion(version, bounds.minimum, {}, true, true))
        return "version " + version + " is below the minimum " + bounds.minimumText;
    if (!checkVersion(version, {}, bounds.maximum, true, true))
        return "version " + version + " is above the maximum " + bounds.maximumText;
    return std::nullopt;
}

std::string runtimeRefusedLine(const std::string& exe, const std::string& reason) {
    return "runtime " + exe + " refused: " + reason;
}
