#include "paths/working_directory.h"

#include "config/config_store.h"
#include "core/capacities.h"
#include "core/log.h"
#include "core/platform.h"
#include "paths/expand_variables.h"
#include "paths/path_helpers.h"

void applyConfiguredWorkingDirectory() {
    wchar_t configured[kPathCapacity];
    getSettingWide(SettingId::WorkingDirectory, configured, kPathCapacity);
    if (configured[0] == 0) {
        logLine(L"working directory unchanged");
        return;
    }
    // The 8-bit-derived launcher directory, as in every text that may become a JVM option:
    // a directory the code page cannot hold is then entered through its short form.
    expandVariables(configured, kPathCapacity, true);
    wchar_t directory[kPathCapacity];
    if (makeAbsolutePath(directory, kPathCapacity, configured, true, true)) SetCurrentDirectoryW(directory);
    logLine(L"change working directory to %s", directory);
}
