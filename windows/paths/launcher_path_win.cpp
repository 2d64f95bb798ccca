#include "paths/launcher_path.h"

#include "core/platform.h"

namespace {
wchar_t launcherLongPath[6000];
}

const wchar_t* getLauncherPathWide() {
    if (launcherLongPath[0] == 0) {
        wchar_t moduleName[6000];
        DWORD length = GetModuleFileNameW(nullptr, moduleName, 6000);
        if (length == 0 || length >= 6000) moduleName[0] = 0;
        DWORD longLength = GetLongPathNameW(moduleName, launcherLongPath, 6000);
        if (longLength == 0 || longLength >= 6000) lstrcpynW(launcherLongPath, moduleName, 6000);
    }
    return launcherLongPath;
}
