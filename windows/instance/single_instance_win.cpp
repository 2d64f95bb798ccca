#include "instance/single_instance.h"

#include "config/config_store.h"
#include "core/capacities.h"
#include "core/fatal.h"
#include "core/handles.h"
#include "core/log.h"
#include "core/platform.h"
#include "core/registry.h"
#include "core/text_format.h"
#include "instance/semaphore_name.h"
#include "instance/single_instance_rules.h"
#include "paths/launcher_path.h"
#include "paths/path_helpers.h"

#include <string>
#include <vector>

namespace {

const char kPidKey[] = "SOFTWARE\\brightmoor-labs\\ravel\\pids\\";

// The process whose windows raiseIfTarget brings forward. Written by raiseInstanceWindows
// right before the enumeration and read by its callback, both on the guard's thread.
DWORD targetWindowPid = 0;

std::string computeCanonicalLauncherPath() {
    const char* launcher = getLauncherPath();
    if (launcher[0] == 0) return std::string();
    char absolute[kPathCapacity];
    if (!makeAbsolutePath(absolute, sizeof absolute, launcher, true)) return std::string();
    char full[kPathCapacity];
    DWORD length = GetFullPathNameA(absolute, kPathCapacity, full, nullptr);
    // The absolute form is already a full path; the system's answer only normalises it
    // further, so without one the absolute form serves.
    if (length == 0 || length >= kPathCapacity) copyBounded(full, sizeof full, absolute);
    // Lower-casing and collapsing run on the wide form, where a double-byte character whose
    // second byte looks like a backslash or a capital letter stays intact.
    std::wstring wide = fromMultiByte(full);
    if (wide.empty()) return std::string();
    bool lossy = false;
    return toMultiByte(collapsedBackslashes(lowerCase(wide)).c_str(), lossy);
}

SemaphoreCreation createNamedSemaphore(const std::string& name) {
    // A creation that makes a new object need not touch the last error; clearing it first
    // makes the logged code 0 for a new name.
    SetLastError(ERROR_SUCCESS);
    HANDLE handle = CreateSemaphoreA(nullptr, 1, 1, name.c_str());
    DWORD error = GetLastError();
    return SemaphoreCreation{handle, error};
}

void closeSemaphore(void* handle) {
    if (handle != nullptr) CloseHandle(handle);
}

void logSemaphore(const std::string& name, const SemaphoreCreation& creation) {
    logLine(L"semaphore name %S, code %d, value %p", name.c_str(), static_cast<int>(creation.error), creation.handle);
}

void logUnguarded(const char* canonical) {
    logError(L"semaphore name for %S does not fit %d bytes, instances are not guarded", canonical,
             static_cast<int>(kSemaphoreNameCapacity - 1));
}

// Side by side: every instance takes the lowest free counter. The handle stays open until
// the process ends, which is what keeps the name taken while this instance runs.
void takeNumberedName(bool global, const char* canonical) {
    NumberedSemaphore taken =
        createNumberedSemaphore(global, canonical, kSemaphoreNameCapacity, createNamedSemaphore, closeSemaphore);
    if (!taken.named) {
        logUnguarded(canonical);
        return;
    }
    copyBounded(semaphoreName, kSemaphoreNameCapacity, taken.name.c_str());
    logSemaphore(taken.name, taken.creation);
}

// Single instance: the first instance keeps the name (and records its id); a second one
// brings the first one's windows forward when configured and ends here.
void takeSingleName(bool global, const char* canonical) {
    logLine(L"single instance mode");
    std::string name;
    if (!buildSemaphoreName(global, canonical, -1, kSemaphoreNameCapacity, name)) {
        logUnguarded(canonical);
        return;
    }
    copyBounded(semaphoreName, kSemaphoreNameCapacity, name.c_str());
    SemaphoreCreation creation = createNamedSemaphore(name);
    logSemaphore(name, creation);
    if (creation.error != ERROR_ALREADY_EXISTS) {
        // Also when the creation failed for another reason: the run goes on as the first
        // instance, with the failure logged above.
        storeInstancePid();
        return;
    }
    closeSemaphore(creation.handle);
    // The first instance may not have written its id yet.
    unsigned long pid = waitForInstancePid(readInstancePid, [](unsigned milliseconds) { Sleep(milliseconds); });
    logLine(L"other pid %d", static_cast<int>(pid));
    if (pid != 0 && getSettingInt(SettingId::BringToFront) != 0) raiseInstanceWindows(pid);
    logLine(L"exiting");
    exitLauncher(0);
}

BOOL CALLBACK raiseIfTarget(HWND window, LPARAM) {
    if (!IsWindowVisible(window)) return TRUE;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != targetWindowPid) return TRUE;
    logLine(L"found window %p", static_cast<void*>(window));
    if (IsIconic(window)) {
        logLine(L"restore");
        ShowWindow(window, SW_RESTORE);
    }
    logLine(L"foreground");
    SetForegroundWindow(window);
    logLine(L"popup");
    SetForegroundWindow(GetLastActivePopup(window));
    logLine(L"done");
    return TRUE;  // every window of the process is treated
}

}  // namespace

const char* canonicalLauncherPath() {
    // Computed on the main thread during the guard and kept for the process's life.
    static const std::string path = computeCanonicalLauncherPath();
    return path.c_str();
}

void singleInstanceGuard() {
    semaphoreName[0] = 0;
    const char* canonical = canonicalLauncherPath();
    if (canonical[0] == 0) {
        // Without a path every executable would share one name; better no guard at all.
        logError(L"no canonical launcher path, instances are not guarded");
        return;
    }
    bool global = getSettingInt(SettingId::SingleInstanceGlobal) != 0;
    if (getSettingInt(SettingId::SingleInstance) == 0)
        takeNumberedName(global, canonical);
    else
        takeSingleName(global, canonical);
}

void storeInstancePid() {
    RegistryKey key = createRegistryKey(HKEY_CURRENT_USER, kPidKey, KEY_ALL_ACCESS, RegistryView::Default);
    if (!key.valid()) return;
    DWORD pid = GetCurrentProcessId();
    RegSetValueExA(key.get(), canonicalLauncherPath(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&pid), sizeof pid);
}

// The id the running instance stored; 0 when there is none. Only the size is checked, not
// the type: any four-byte value counts.
unsigned long readInstancePid() {
    RegistryKey key = openRegistryKey(HKEY_CURRENT_USER, kPidKey, KEY_READ, RegistryView::Default);
    if (!key.valid()) return 0;
    return readRegistryDword(key.get(), canonicalLauncherPath(), DwordValueTypes::AnyOfFourBytes).value_or(0);
}

void raiseInstanceWindows(unsigned long pid) {
    targetWindowPid = pid;
    EnumWindows(raiseIfTarget, 0);
}
