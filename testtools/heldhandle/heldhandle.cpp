// heldhandle: runs a command line while holding an inheritable handle that no child of it is
// meant to have, and says afterwards whether a descendant used it. The handle is a
// manual-reset event, created signalled; its value is put in the variable HELD_HANDLE
// (decimal), and a descendant that inherited it can reset the event through that value
// (the stand-in java.exe tries). The command line comes from HELDHANDLE_COMMAND_LINE,
// exactly as it stands, and is started with handle inheritance on, so the program it names
// holds the event as an inheritable handle of its own.
//
// Prints "held handle signalled" or "held handle reset" and returns the program's exit
// code (125/126 for its own failures).

#include <windows.h>

#include <cwchar>

int wmain() {
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE event = CreateEventW(&inheritable, TRUE, TRUE, nullptr);
    if (event == nullptr) {
        fwprintf(stderr, L"heldhandle: cannot create the event (error %lu)\n", GetLastError());
        return 125;
    }
    wchar_t value[32];
    swprintf(value, 32, L"%llu", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(event)));
    SetEnvironmentVariableW(L"HELD_HANDLE", value);

    static wchar_t commandLine[32768];
    DWORD length = GetEnvironmentVariableW(L"HELDHANDLE_COMMAND_LINE", commandLine, 32768);
    if (length == 0 || length >= 32768) {
        fwprintf(stderr, L"heldhandle: HELDHANDLE_COMMAND_LINE is not set\n");
        return 125;
    }
    SetEnvironmentVariableW(L"HELDHANDLE_COMMAND_LINE", nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, commandLine, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        fwprintf(stderr, L"heldhandle: cannot start %ls (error %lu)\n", commandLine, GetLastError());
        return 126;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    bool signalled = WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
    wprintf(L"held handle %ls\n", signalled ? L"signalled" : L"reset");
    return static_cast<int>(code);
}
