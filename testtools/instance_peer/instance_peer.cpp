// instance_peer: plays the already running instance in the Wine tests of the launcher's
// single-instance guard, and looks at its windows afterwards.
//
//   instance_peer.exe [--semaphore NAME] [--security SDDL] [--pid-value NAME] [--window TITLE]
//                     [--minimized] [--hidden-window]
//       Creates the named semaphore (count 1, maximum 1) owned by this process's account, as
//       the launcher creates it (with --security under that security descriptor instead,
//       which may name another owner or deny every access), writes this process's id as a
//       REG_DWORD into HKCU\SOFTWARE\brightmoor-labs\ravel\pids\ under the value NAME, and
//       creates a visible top-level window (shown minimized with --minimized; with
//       --hidden-window also a second, never shown window). Prints "code=", "pid=",
//       "window=", "hidden=" lines and then "ready", and runs until it is killed.
//   instance_peer.exe --query TITLE
//       Prints "found=", "window=", "iconic=", "visible=", "foreground=" for the top-level
//       window with that title.
#include <windows.h>

#include <sddl.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char kPidKey[] = "SOFTWARE\\brightmoor-labs\\ravel\\pids\\";

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND createWindow(const char* title) {
    static bool registered = false;
    if (!registered) {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = windowProcedure;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "InstancePeerWindow";
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        RegisterClassA(&windowClass);
        registered = true;
    }
    return CreateWindowExA(0, "InstancePeerWindow", title, WS_OVERLAPPEDWINDOW, 50, 50, 300, 200, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

bool writePid(const char* valueName) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kPidKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    DWORD pid = GetCurrentProcessId();
    LONG result = RegSetValueExA(key, valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&pid), sizeof pid);
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

int query(const char* title) {
    HWND window = FindWindowA("InstancePeerWindow", title);
    printf("found=%d\n", window != nullptr ? 1 : 0);
    if (window != nullptr) {
        printf("window=%llu\n", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window)));
        printf("iconic=%d\n", IsIconic(window) ? 1 : 0);
        printf("visible=%d\n", IsWindowVisible(window) ? 1 : 0);
        printf("foreground=%d\n", GetForegroundWindow() == window ? 1 : 0);
    }
    fflush(stdout);
    return window != nullptr ? 0 : 1;
}

void printHandle(const char* key, const void* handle) {
    printf("%s=%llu\n", key, static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(handle)));
}

}  // namespace

// "O:<sid>D:(A;;GA;;;<sid>)" for the account of this process, or empty.
std::string ownAccountSecurity() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return std::string();
    char buffer[512];
    DWORD needed = 0;
    BOOL ok = GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &needed);
    CloseHandle(token);
    char* sid = nullptr;
    if (!ok || !ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &sid)) return std::string();
    std::string security = std::string("O:") + sid + "D:(A;;GA;;;" + sid + ")";
    LocalFree(sid);
    return security;
}

int main(int argc, char** argv) {
    const char* semaphore = nullptr;
    const char* security = nullptr;
    const char* pidValue = nullptr;
    const char* title = nullptr;
    bool minimized = false;
    bool hiddenWindow = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--query" && i + 1 < argc) return query(argv[i + 1]);
        if (arg == "--semaphore" && i + 1 < argc)
            semaphore = argv[++i];
        else if (arg == "--security" && i + 1 < argc)
            security = argv[++i];
        else if (arg == "--pid-value" && i + 1 < argc)
            pidValue = argv[++i];
        else if (arg == "--window" && i + 1 < argc)
            title = argv[++i];
        else if (arg == "--minimized")
            minimized = true;
        else if (arg == "--hidden-window")
            hiddenWindow = true;
        else {
            fprintf(stderr, "instance_peer: unknown argument %s\n", argv[i]);
            return 2;
        }
    }
    std::string ownSecurity = ownAccountSecurity();
    if (security == nullptr && !ownSecurity.empty()) security = ownSecurity.c_str();
    if (semaphore != nullptr) {
        SECURITY_ATTRIBUTES attributes = {sizeof attributes, nullptr, FALSE};
        if (security != nullptr && !ConvertStringSecurityDescriptorToSecurityDescriptorA(
                                       security, SDDL_REVISION_1, &attributes.lpSecurityDescriptor, nullptr))
            return 6;
        SetLastError(ERROR_SUCCESS);
        HANDLE handle = CreateSemaphoreA(security != nullptr ? &attributes : nullptr, 1, 1, semaphore);
        printf("code=%lu\n", GetLastError());
        if (handle == nullptr) return 3;
    }
    printf("pid=%lu\n", GetCurrentProcessId());
    if (pidValue != nullptr && !writePid(pidValue)) return 4;
    if (title != nullptr) {
        HWND window = createWindow(title);
        if (window == nullptr) return 5;
        ShowWindow(window, minimized ? SW_SHOWMINIMIZED : SW_SHOWNORMAL);
        UpdateWindow(window);
        printHandle("window", window);
        if (hiddenWindow) printHandle("hidden", createWindow("instance peer hidden"));
    }
    printf("ready\n");
    fflush(stdout);
    if (title == nullptr) {
        Sleep(INFINITE);
        return 0;
    }
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
