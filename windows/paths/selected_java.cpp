#include "paths/selected_java.h"

#include "core/log.h"
#include "core/text_format.h"
#include "core/text_helpers.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

char jvmHome[kJvmHomeCapacity];
const char* javaVersionText = nullptr;

namespace {

// Every version text ever recorded stays allocated, so a pointer read from javaVersionText
// before a later record stays valid until the process ends.
std::vector<std::unique_ptr<char[]>>& recordedVersions() {
    static std::vector<std::unique_ptr<char[]>> versions;
    return versions;
}

const char* keepCopy(const char* text) {
    size_t length = strlen(text);
    std::unique_ptr<char[]> copy(new char[length + 1]);
    memcpy(copy.get(), text, length + 1);
    recordedVersions().push_back(std::move(copy));
    return recordedVersions().back().get();
}

}  // namespace

void recordSelectedJava(const char* javaExePath, const char* versionText) {
    std::string home = javaExePath == nullptr ? std::string() : javaExePath;
    // The caller hands a path ending in the executable's name; a text shorter than that
    // name leaves only "..", rather than a cut that starts before the text.
    size_t nameLength = endsWith(home, "javaw.exe") ? 9 : 8;
    home.resize(home.size() >= nameLength ? home.size() - nameLength : 0);
    home += "..";
    if (!copyBounded(jvmHome, kJvmHomeCapacity, home.c_str()))
        logError(L"java home cut to %d characters: %S", static_cast<int>(kJvmHomeCapacity - 1), home.c_str());
    javaVersionText = keepCopy(versionText == nullptr ? "" : versionText);
}
