#include "core/log.h"

#include "core/capacities.h"
#include "core/environment.h"
#include "core/handles.h"
#include "core/log_rules.h"
#include "core/utf8.h"
#include "core/text_format.h"
#include "paths/temp_directory.h"

#include <cstdarg>
#include <cstring>
#include <ctime>

namespace {

// RAVEL_LOG and QUILLWORK_LOG are read into this many bytes; a longer value asks for nothing.
constexpr size_t kLogVariableCapacity = kPathCapacity;
// The executable's name in the header line is shown up to this many characters less one.
constexpr size_t kModuleNameCapacity = kPathCapacity;

// Log state. Everything below is read and written only while the log lock is held; the
// lock itself is set up by the first log call, which runs on the main thread before any
// other thread exists. The log path is written once, by the enable decision, and read by
// getLogPath without the lock afterwards.
CRITICAL_SECTION logLock;
bool logLockReady = false;
// Calls of the thread holding the lock that are in progress: more than one means a log call
// made from inside a log call (the temp directory lookup of the enable decision logs).
int logDepth = 0;
bool initialized = false;
bool hasLogPath = false;
wchar_t logPath[kLogPathCapacity];
// Open only from the enable decision to the end of the first line, and during one line.
FileHandle logFile;
int64_t startTime = 0;
wchar_t lineText[kLogLineCapacity];
char lineBytes[kLogBytesCapacity];

int64_t nowMilliseconds() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return static_cast<int64_t>((static_cast<uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime) / 10000);
}

void writeBytes(HANDLE file, const char* bytes, size_t count) {
    DWORD written = 0;
    WriteFile(file, bytes, static_cast<DWORD>(count), &written, nullptr);
}

void writeText(HANDLE file, const wchar_t* text) {
    writeBytes(file, lineBytes, encodeLogText(text, lineBytes, sizeof lineBytes));
}

// Files are shared for reading and writing so that the log can be watched while the
// launcher runs. The log file is always a new one (CREATE_NEW): a file or link someone else
// put under that name is never written to. A line appends to the file this process created,
// which must still be there: it is not made again, nor is a link followed to get to it.
FileHandle openLogFile(const wchar_t* path, bool create) {
    FileHandle file(CreateFileW(path, create ? GENERIC_WRITE : FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, create ? CREATE_NEW : OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.valid()) return file;
    // Every log file starts with the UTF-8 byte-order mark.
    LARGE_INTEGER size;
    if (GetFileSizeEx(file.get(), &size) && size.QuadPart == 0)
        writeBytes(file.get(), kUtf8MarkBytes.data(), kUtf8MarkBytes.size());
    return file;
}

LogCreation createLogFile(const wchar_t* path) {
    logFile = openLogFile(path, true);
    if (logFile.valid()) return LogCreation::Created;
    DWORD error = GetLastError();
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? LogCreation::Exists : LogCreation::Failed;
}

bool loggingRequested() {
    for (const char* name : {"RAVEL_LOG", "QUILLWORK_LOG"}) {
        char value[kLogVariableCapacity];
        if (readVariableBounded(name, value, sizeof value) && isLogRequested(value)) return true;
    }
    return false;
}

void writeHeader() {
    // The header only shows the name, so a name too long for it is shown cut.
    wchar_t module[kModuleNameCapacity];
    moduleFileName(module, kModuleNameCapacity, TooLong::Cut);
    time_t now = time(nullptr);
    const char* started = ctime(&now);
    wchar_t header[6100];
    formatWide(header, 6100, L"Started executable %s at %S\n", module, started == nullptr ? "\n" : started);
    writeText(logFile.get(), header);
    FlushFileBuffers(logFile.get());
}

// Made once per process, at the first log call. When neither variable says "yes", or no new
// log file can be created in the temp directory, the log stays off for good; otherwise the
// path is fixed here for the life of the process (a line that cannot open it is dropped).
void decideLogging() {
    initialized = true;
    if (!loggingRequested()) return;
    wchar_t tempDirectory[kPathCapacity];
    getTempDirectoryForLog(tempDirectory, kPathCapacity);
    if (createLogPath(tempDirectory, logPath, kLogPathCapacity, createLogFile)) {
        hasLogPath = true;
        writeHeader();
    }
    startTime = nowMilliseconds();
}

void writeLine(bool isError, const wchar_t* format, va_list args) {
    composeLogLine(lineText, kLogLineCapacity, elapsedMilliseconds(nowMilliseconds(), startTime), isError, format,
                   args);
    writeText(logFile.get(), lineText);
}

void logEntry(bool isError, const wchar_t* format, va_list args) {
    // A log call must not change what the caller's next GetLastError() reports.
    DWORD savedError = GetLastError();
    if (!logLockReady) {
        InitializeCriticalSection(&logLock);
        logLockReady = true;
    }
    EnterCriticalSection(&logLock);
    // A call from inside a log call is dropped: the outer call is still deciding whether
    // logging is on, and owns the line buffers.
    if (++logDepth == 1) {
        if (hasLogPath && !logFile.valid()) logFile = openLogFile(logPath, false);
        if (!initialized) decideLogging();
        if (logFile.valid()) {
            writeLine(isError, format, args);
            logFile.reset();
        }
    }
    --logDepth;
    LeaveCriticalSection(&logLock);
    SetLastError(savedError);
}

}  // namespace

void logLine(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    logEntry(false, format, args);
    va_end(args);
}

void logError(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    logEntry(true, format, args);
    va_end(args);
}

const wchar_t* getLogPath() { return hasLogPath ? logPath : nullptr; }
