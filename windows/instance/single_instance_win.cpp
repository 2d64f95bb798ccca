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

#include <aclapi.h>
#include <sddl.h>

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

const std::string& ownAccountSid();

// The security of the semaphores this launcher creates: full access for its own account,
// LocalSystem and the Administrators, nothing for anyone else. Stating it, rather than taking
// the token's default, also records this account as the owner where the system would leave
// an object without one (Wine does), which is what a later instance reads to know the name is
// an instance's. Null (the default security) when the account's SID cannot be had.
SECURITY_ATTRIBUTES* semaphoreSecurity() {
    static SECURITY_ATTRIBUTES attributes = {sizeof attributes, nullptr, FALSE};
    static const bool built = [] {
        const std::string& sid = ownAccountSid();
        if (sid.empty()) return false;
        std::string sddl = "O:" + sid + "D:(A;;GA;;;" + sid + ")(A;;GA;;;SY)(A;;GA;;;BA)";
        // Kept for the life of the process: every creation uses it.
        return ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1,
                                                                    &attributes.lpSecurityDescriptor, nullptr) != FALSE;
    }();
    return built ? &attributes : nullptr;
}

SemaphoreCreation createNamedSemaphore(const std::string& name) {
    SECURITY_ATTRIBUTES* security = semaphoreSecurity();
    // A creation that makes a new object need not touch the last error; clearing it first
    // makes the logged code 0 for a new name.
    SetLastError(ERROR_SUCCESS);
    HANDLE handle = CreateSemaphoreA(security, 1, 1, name.c_str());
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

// A SID in its string form; empty when it cannot be converted.
std::string sidText(PSID sid) {
    char* text = nullptr;
    if (sid == nullptr || !ConvertSidToStringSidA(sid, &text)) return std::string();
    std::string result = text;
    LocalFree(text);
    return result;
}

// The SID of the account this process runs as; empty when it cannot be read.
const std::string& ownAccountSid() {
    static const std::string sid = [] {
        HANDLE raw = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return std::string();
        TokenHandle token(raw);
        DWORD needed = 0;
        GetTokenInformation(token.get(), TokenUser, nullptr, 0, &needed);
        if (needed == 0) return std::string();
        std::vector<DWORD> buffer(needed / sizeof(DWORD) + 1);
        if (!GetTokenInformation(token.get(), TokenUser, buffer.data(),
                                 static_cast<DWORD>(buffer.size() * sizeof(DWORD)), &needed))
            return std::string();
        return sidText(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid);
    }();
    return sid;
}

// The owner of the object behind `handle`, as a SID text; empty when it cannot be read.
std::string objectOwnerSid(HANDLE handle) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(handle, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                        &descriptor) != ERROR_SUCCESS)
        return std::string();
    std::string text = sidText(owner);
    LocalFree(descriptor);
    return text;
}

// Creates the single-instance semaphore under `name` and judges what it found. The handle
// stays open unless another instance runs or another account holds the name.
NameVerdict createAndJudge(const std::string& name) {
    SemaphoreCreation creation = createNamedSemaphore(name);
    logSemaphore(name, creation);
    std::string owner;
    if (creation.error == ERROR_ALREADY_EXISTS) owner = objectOwnerSid(creation.handle);
    NameVerdict verdict = judgeSingleName(creation.error, classifyNameOwner(owner, ownAccountSid()));
    if (verdict == NameVerdict::FirstInstance) return verdict;
    closeSemaphore(creation.handle);
    if (verdict == NameVerdict::HeldByAnotherAccount)
        logLine(L"semaphore %S is held by another account (owner %S, code %d), not by an instance of this one",
                name.c_str(), owner.empty() ? "unknown" : owner.c_str(), static_cast<int>(creation.error));
    return verdict;
}

// Single instance: the first instance keeps the name (and records its id); a second one
// brings the first one's windows forward when configured and ends here.
//
// Another account cannot keep this one from starting by creating the name first: a name that
// exists but was not made by this account (or LocalSystem, or the Administrators) does not
// count as a running instance. This account then uses a name of its own, the shared name
// followed by its SID, so that its own instances still find each other there; when that one
// is held by another account too, the instance runs unguarded, with no name for the Java
// side rather than a name that another account controls.
void takeSingleName(bool global, const char* canonical) {
    logLine(L"single instance mode");
    std::string name;
    if (!buildSemaphoreName(global, canonical, -1, kSemaphoreNameCapacity, name)) {
        logUnguarded(canonical);
        return;
    }
    NameVerdict verdict = createAndJudge(name);
    if (verdict == NameVerdict::HeldByAnotherAccount) {
        name = accountSemaphoreName(name, ownAccountSid(), kSemaphoreNameCapacity);
        verdict = name.empty() ? NameVerdict::HeldByAnotherAccount : createAndJudge(name);
        if (verdict == NameVerdict::HeldByAnotherAccount) {
            logError(L"no single-instance name of this account's own, instances are not guarded");
            return;
        }
    }
    copyBounded(semaphoreName, kSemaphoreNameCapacity, name.c_str());
    if (verdict == NameVerdict::FirstInstance) {
        // Also when the creation failed for another reason: the run goes on as the first
        // instance, with the failure logged above.
        storeInstancePid();
        return;
    }
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
