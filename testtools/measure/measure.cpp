// measure: runs one command line, waits for it and prints what it cost, for the benchmarks
// under Wine. Standard handles are inherited, so the child's own output comes first; the
// figures follow as key=value lines on standard output once the child has ended:
//
//   measure.wallMs=<milliseconds from just before process creation until the child ended>
//   measure.exitCode=<the child's exit code>
//   measure.peakWorkingSet=<bytes>      largest PeakWorkingSetSize seen
//   measure.peakPagefile=<bytes>        largest PeakPagefileUsage seen
//   measure.memorySamples=<how many memory queries succeeded>
//
//   measure.exe [--poll MS] -- <command line>
//
// The command line is the exact text after " -- " in measure's own command line, so quotes
// reach the child unchanged.
//
// Memory: the child's counters are read once it has ended, while measure still holds its
// process handle (Windows keeps them with the process object; Wine 8 answers too). With
// --poll MS a second thread also samples the child every MS milliseconds while it runs, for
// a system that answers only for live processes; the peak counters only grow, so the last
// sample before the end holds nearly all of it. Sampling costs the child some time, so it is
// off unless asked for. memorySamples=0 means no figure could be had at all.
//
// Exit code: the child's, or 125 for a usage error and 126 when the child cannot be started.

#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cwchar>

namespace {

struct Peaks {
    HANDLE process = nullptr;
    HANDLE stop = nullptr;
    DWORD intervalMs = 0;  // 0: no sampling while the child runs
    SIZE_T workingSet = 0;
    SIZE_T pagefile = 0;
    unsigned samples = 0;
};

void sample(Peaks& peaks) {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!K32GetProcessMemoryInfo(peaks.process, &counters, sizeof counters)) return;
    // An ended process may be answered with zeros rather than a failure; such an answer
    // says nothing about the run.
    if (counters.PeakWorkingSetSize == 0 && counters.PeakPagefileUsage == 0) return;
    ++peaks.samples;
    if (counters.PeakWorkingSetSize > peaks.workingSet) peaks.workingSet = counters.PeakWorkingSetSize;
    if (counters.PeakPagefileUsage > peaks.pagefile) peaks.pagefile = counters.PeakPagefileUsage;
}

DWORD WINAPI sampler(void* parameter) {
    auto& peaks = *static_cast<Peaks*>(parameter);
    do {
        sample(peaks);
    } while (WaitForSingleObject(peaks.stop, peaks.intervalMs) == WAIT_TIMEOUT);
    return 0;
}

// The position in `line` of the command to run: after the first " -- " that follows
// measure's own path, or null when there is none.
wchar_t* commandAfterSeparator(wchar_t* line) {
    wchar_t* separator = wcsstr(line, L" -- ");
    if (separator == nullptr) return nullptr;
    wchar_t* command = separator + 4;
    while (*command == L' ') ++command;
    return *command != 0 ? command : nullptr;
}

// The sampling interval asked for with --poll; 0 (no sampling) when absent or not a number
// of milliseconds below a minute.
DWORD pollInterval(int argc, wchar_t** argv) {
    for (int i = 1; i + 1 < argc && wcscmp(argv[i], L"--") != 0; ++i)
        if (wcscmp(argv[i], L"--poll") == 0) {
            unsigned long value = wcstoul(argv[i + 1], nullptr, 10);
            return value < 60000 ? static_cast<DWORD>(value) : 0;
        }
    return 0;
}

double elapsedMs(LARGE_INTEGER start, LARGE_INTEGER end) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    wchar_t* command = commandAfterSeparator(GetCommandLineW());
    if (command == nullptr) {
        fwprintf(stderr, L"usage: measure.exe [--poll MS] -- <command line>\n");
        return 125;
    }
    Peaks peaks;
    peaks.intervalMs = pollInterval(argc, argv);
    peaks.stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child = {};
    LARGE_INTEGER started, ended;
    QueryPerformanceCounter(&started);
    if (!CreateProcessW(nullptr, command, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &child)) {
        DWORD error = GetLastError();
        fwprintf(stderr, L"measure: cannot start %ls (error %lu)\n", command, error);
        return 126;
    }
    peaks.process = child.hProcess;
    HANDLE samplerThread = peaks.intervalMs != 0 ? CreateThread(nullptr, 0, sampler, &peaks, 0, nullptr) : nullptr;
    WaitForSingleObject(child.hProcess, INFINITE);
    QueryPerformanceCounter(&ended);
    SetEvent(peaks.stop);
    if (samplerThread != nullptr) {
        WaitForSingleObject(samplerThread, INFINITE);
        CloseHandle(samplerThread);
    }
    sample(peaks);

    DWORD code = 1;
    GetExitCodeProcess(child.hProcess, &code);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    CloseHandle(peaks.stop);
    fflush(stdout);
    printf("measure.wallMs=%.3f\n", elapsedMs(started, ended));
    printf("measure.exitCode=%lu\n", code);
    printf("measure.peakWorkingSet=%llu\n", static_cast<unsigned long long>(peaks.workingSet));
    printf("measure.peakPagefile=%llu\n", static_cast<unsigned long long>(peaks.pagefile));
    printf("measure.memorySamples=%u\n", peaks.samples);
    fflush(stdout);
    return static_cast<int>(code);
}
