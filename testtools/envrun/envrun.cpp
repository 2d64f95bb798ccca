// envrun: runs a program with extra environment variables, for tests under Wine, where the
// Unix environment cannot set variables such as TEMP or TMP (Wine takes them from its
// registry). Standard handles are inherited and the program's exit code is returned.
//
//   envrun.exe NAME=VALUE ... --
//
// The command line to run is taken from the variable ENVRUN_COMMAND_LINE, exactly as it
// stands, so a test controls every character of it (quotes included), which Wine's own
// conversion of Unix arguments would not allow. "NAME=" with nothing after it removes the
// variable. ENVRUN_START=no-handles starts the program with null standard handles;
// ENVRUN_START=detached also keeps it off envrun's console, as a console program starts a
// GUI program that it gives neither its console nor its handles.

#include <windows.h>

#include <cwchar>

namespace {

// Returns the position after the argument that starts at `p` (quotes group, as the system's
// own parser does for these simple test arguments) and copies it into `out`.
const wchar_t* takeArgument(const wchar_t* p, wchar_t* out, size_t capacity) {
    while (*p == L' ' || *p == L'\t') ++p;
    bool quoted = false;
    size_t n = 0;
    for (; *p != 0; ++p) {
        if (*p == L'"') {
            quoted = !quoted;
            continue;
        }
        if (!quoted && (*p == L' ' || *p == L'\t')) break;
        if (n + 1 < capacity) out[n++] = *p;
    }
    out[n] = 0;
    return p;
}

}  // namespace

int wmain() {
    const wchar_t* p = GetCommandLineW();
    static wchar_t arg[32768];
    p = takeArgument(p, arg, 32768);  // our own path
    for (;;) {
        while (*p == L' ' || *p == L'\t') ++p;
        if (*p == 0) {
            fwprintf(stderr, L"envrun: missing \"--\"\n");
            return 125;
        }
        p = takeArgument(p, arg, 32768);
        if (wcscmp(arg, L"--") == 0) break;
        wchar_t* equals = wcschr(arg, L'=');
        if (equals == nullptr) {
            fwprintf(stderr, L"envrun: expected NAME=VALUE, got %ls\n", arg);
            return 125;
        }
        *equals = 0;
        SetEnvironmentVariableW(arg, equals[1] != 0 ? equals + 1 : nullptr);
    }
    static wchar_t commandLine[32768];
    DWORD length = GetEnvironmentVariableW(L"ENVRUN_COMMAND_LINE", commandLine, 32768);
    if (length == 0 || length >= 32768) {
        fwprintf(stderr, L"envrun: ENVRUN_COMMAND_LINE is not set\n");
        return 125;
    }
    SetEnvironmentVariableW(L"ENVRUN_COMMAND_LINE", nullptr);
    wchar_t start[16] = {};
    DWORD startLength = GetEnvironmentVariableW(L"ENVRUN_START", start, 16);
    SetEnvironmentVariableW(L"ENVRUN_START", nullptr);
    bool detached = startLength < 16 && wcscmp(start, L"detached") == 0;
    bool noHandles = detached || (startLength < 16 && wcscmp(start, L"no-handles") == 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    if (noHandles) startup.dwFlags = STARTF_USESTDHANDLES;  // every standard handle null
    DWORD flags = detached ? DETACHED_PROCESS : 0;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, commandLine, nullptr, nullptr, TRUE, flags, nullptr, nullptr, &startup, &process)) {
        fwprintf(stderr, L"envrun: cannot start %ls (error %lu)\n", commandLine, GetLastError());
        return 126;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}
