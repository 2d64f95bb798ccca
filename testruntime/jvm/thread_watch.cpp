#include "thread_watch.h"

#include <tlhelp32.h>

#include <cstring>

namespace standin {

namespace {

using CreateThreadFunction = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD,
                                             LPDWORD);

struct Request {
    DWORD threadId;
    SIZE_T size;
    DWORD flags;
};

// The requests seen so far (a ring: a launcher makes a handful of threads) and the import
// slot that was redirected. Written by watchThreadCreation and the wrapper, under requestLock.
constexpr size_t kRemembered = 64;
CRITICAL_SECTION requestLock;
Request requests[kRemembered];
size_t requestCount = 0;
CreateThreadFunction originalCreateThread = nullptr;
void** patchedSlot = nullptr;

HANDLE WINAPI watchedCreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T size, LPTHREAD_START_ROUTINE start,
                                  LPVOID parameter, DWORD flags, LPDWORD id) {
    DWORD threadId = 0;
    HANDLE thread = originalCreateThread(security, size, start, parameter, flags | CREATE_SUSPENDED, &threadId);
    if (thread == nullptr) return nullptr;
    DWORD error = GetLastError();
    EnterCriticalSection(&requestLock);
    requests[requestCount % kRemembered] = Request{threadId, size, flags};
    ++requestCount;
    LeaveCriticalSection(&requestLock);
    if (id != nullptr) *id = threadId;
    if ((flags & CREATE_SUSPENDED) == 0) ResumeThread(thread);
    SetLastError(error);
    return thread;
}

bool writeSlot(void** slot, void* value) {
    DWORD protection = 0;
    if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection)) return false;
    *slot = value;
    DWORD ignored = 0;
    VirtualProtect(slot, sizeof *slot, protection, &ignored);
    return true;
}

// The import address slot of kernel32's CreateThread in the host executable, or nullptr.
void** createThreadImportSlot() {
    auto* base = reinterpret_cast<unsigned char*>(GetModuleHandleW(nullptr));
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    if (base == nullptr || dos->e_magic != IMAGE_DOS_SIGNATURE) return nullptr;
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress == 0) return nullptr;
    auto* descriptor = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
    for (; descriptor->Name != 0; ++descriptor) {
        if (_stricmp(reinterpret_cast<const char*>(base + descriptor->Name), "kernel32.dll") != 0) continue;
        if (descriptor->OriginalFirstThunk == 0) continue;  // names unknown: leave it alone
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (strcmp(reinterpret_cast<const char*>(byName->Name), "CreateThread") == 0)
                return reinterpret_cast<void**>(&slots->u1.Function);
        }
    }
    return nullptr;
}

unsigned long long measuredReservation() {
    using Limits = VOID(WINAPI*)(PULONG_PTR, PULONG_PTR);
    auto limits = reinterpret_cast<Limits>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetCurrentThreadStackLimits")));
    if (limits != nullptr) {
        ULONG_PTR low = 0, high = 0;
        limits(&low, &high);
        return high - low;
    }
    // Before Windows 8: the stack is one reservation; add up its regions.
    MEMORY_BASIC_INFORMATION region;
    if (VirtualQuery(&region, &region, sizeof region) == 0) return 0;
    auto* base = static_cast<unsigned char*>(region.AllocationBase);
    unsigned char* position = base;
    unsigned long long total = 0;
    while (VirtualQuery(position, &region, sizeof region) != 0 && region.AllocationBase == base) {
        total += region.RegionSize;
        position += region.RegionSize;
    }
    return total;
}

}  // namespace

void watchThreadCreation() {
    InitializeCriticalSection(&requestLock);
    void** slot = createThreadImportSlot();
    if (slot == nullptr) return;
    originalCreateThread = reinterpret_cast<CreateThreadFunction>(*slot);
    if (writeSlot(slot, reinterpret_cast<void*>(&watchedCreateThread))) patchedSlot = slot;
}

void stopWatchingThreadCreation() {
    if (patchedSlot != nullptr) writeSlot(patchedSlot, reinterpret_cast<void*>(originalCreateThread));
    patchedSlot = nullptr;
}

StackFacts currentStackFacts() {
    StackFacts facts;
    facts.reservation = measuredReservation();
    DWORD self = GetCurrentThreadId();
    EnterCriticalSection(&requestLock);
    size_t kept = requestCount < kRemembered ? requestCount : kRemembered;
    for (size_t i = 0; i < kept; ++i) {
        // Newest first: a thread id can be reused after an earlier thread ended.
        const Request& request = requests[(requestCount - 1 - i) % kRemembered];
        if (request.threadId == self) {
            facts.requestKnown = true;
            facts.requestedSize = request.size;
            facts.requestedFlags = request.flags;
            break;
        }
    }
    LeaveCriticalSection(&requestLock);
    return facts;
}

DWORD processMainThreadId() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    DWORD process = GetCurrentProcessId();
    DWORD earliestId = 0;
    ULONGLONG earliest = ~0ULL;
    THREADENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != process) continue;
        HANDLE thread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ThreadID);
        if (thread == nullptr) continue;
        FILETIME created, exited, kernel, user;
        if (GetThreadTimes(thread, &created, &exited, &kernel, &user)) {
            ULONGLONG time = (static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
            if (time < earliest) {
                earliest = time;
                earliestId = entry.th32ThreadID;
            }
        }
        CloseHandle(thread);
    }
    CloseHandle(snapshot);
    return earliestId;
}

}  // namespace standin
