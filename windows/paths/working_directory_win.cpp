#include "paths/working_directory.h"

#include "config/config_store.h"
#include "core/log.h"
#include "core/platform.h"
#include "paths/expand_variables.h"
#include "paths/path_helpers.h"

namespace {
constexpr size_t kCapacity = 6000;
}

void applyConfiguredWorkingDirectory() {
    wchar_t configured[kCapacity];
    getSettingWide(SettingId::WorkingDirectory, configured, kCapacity);
    if (configured[0] == 0) {
        logLine(L"working directory unchanged");
        return;
    }
    // The 8-bit-derived launcher directory, as in every text that may become a JVM option:
    // a directory the code page cannot hold is then entered through its short form.
    expandVariables(configured, kCapacity, true);
    wchar_t directory[kCapacity];
    if (makeAbsolutePath(directory, kCapacity, configured, true, true)) SetCurrentDirectoryW(directory);
    logLine(L"change working directory to %s", directory);
}
