// servicerace: starts a service and sends it a stop request timed into its start, many times
// over, and reports what the Service Control Manager showed after each stop was accepted.
//
//   servicerace <service name> <cycles> <delays>
//
// <delays> is a comma-separated list of microseconds; cycle i uses entry i modulo its length.
// Each cycle: StartService; poll the status without pause until the service reports running
// (its first report); wait the cycle's delay, busy, so that the stop lands at a chosen moment
// of the supervisor's start; send the stop control (asked again while the manager answers
// that the service cannot accept it yet); then poll every millisecond until the service is
// stopped, for at most 30 s. One line per cycle:
//
//   cycle=<i> delay=<us> states=<every state seen after the stop was accepted, in order,
//   repeats folded> result=stopped|stuck win32=<code> specific=<code>
//
// A cycle that does not reach stopped ("stuck": a lost stop) ends the run with exit code 2,
// since its service cannot be started again; other failures print error=<text> and exit 3.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr DWORD kRunningBoundMs = 30000;
constexpr DWORD kStopBoundMs = 30000;
constexpr DWORD kRefusedBoundMs = 10000;

std::vector<long> parseDelays(const wchar_t* text) {
    std::vector<long> delays;
    for (const wchar_t* p = text; *p != 0;) {
        wchar_t* end = nullptr;
        delays.push_back(wcstol(p, &end, 10));
        p = *end == L',' ? end + 1 : end;
        if (end == p && *p != 0) break;
    }
    return delays;
}

void busyWaitMicroseconds(long microseconds) {
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    do {
        QueryPerformanceCounter(&now);
    } while ((now.QuadPart - start.QuadPart) * 1000000 / frequency.QuadPart < microseconds);
}

int fail(int cycle, const char* what, DWORD error) {
    printf("cycle=%d error=%s (%lu)\n", cycle, what, error);
    fflush(stdout);
    return 3;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: servicerace <service name> <cycles> <delays in us, comma-separated>\n");
        return 3;
    }
    int cycles = _wtoi(argv[2]);
    std::vector<long> delays = parseDelays(argv[3]);
    if (delays.empty()) delays.push_back(0);
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr) return fail(0, "OpenSCManager", GetLastError());
    SC_HANDLE service = OpenServiceW(manager, argv[1], SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS);
    if (service == nullptr) return fail(0, "OpenService", GetLastError());

    for (int cycle = 0; cycle < cycles; ++cycle) {
        long delay = delays[cycle % delays.size()];
        if (!StartServiceW(service, 0, nullptr)) return fail(cycle, "StartService", GetLastError());
        SERVICE_STATUS status = {};
        DWORD begun = GetTickCount();
        do {
            if (!QueryServiceStatus(service, &status)) return fail(cycle, "QueryServiceStatus", GetLastError());
            if (GetTickCount() - begun > kRunningBoundMs) return fail(cycle, "never running", status.dwCurrentState);
        } while (status.dwCurrentState != SERVICE_RUNNING && status.dwCurrentState != SERVICE_STOPPED);
        busyWaitMicroseconds(delay);
        begun = GetTickCount();
        while (!ControlService(service, SERVICE_CONTROL_STOP, &status)) {
            DWORD error = GetLastError();
            if (error != ERROR_SERVICE_CANNOT_ACCEPT_CTRL || GetTickCount() - begun > kRefusedBoundMs)
                return fail(cycle, "ControlService", error);
        }
        std::string states;
        DWORD last = 0;
        begun = GetTickCount();
        for (;;) {
            if (status.dwCurrentState != last) {
                states += (states.empty() ? "" : ",") + std::to_string(status.dwCurrentState);
                last = status.dwCurrentState;
            }
            if (status.dwCurrentState == SERVICE_STOPPED || GetTickCount() - begun > kStopBoundMs) break;
            Sleep(1);
            if (!QueryServiceStatus(service, &status)) return fail(cycle, "QueryServiceStatus", GetLastError());
        }
        bool stopped = status.dwCurrentState == SERVICE_STOPPED;
        printf("cycle=%d delay=%ld states=%s result=%s win32=%lu specific=%lu\n", cycle, delay, states.c_str(),
               stopped ? "stopped" : "stuck", status.dwWin32ExitCode, status.dwServiceSpecificExitCode);
        fflush(stdout);
        if (!stopped) return 2;
    }
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return 0;
}
