#include "core/fatal.h"

#include "config/config_store.h"
#include "config/extraction.h"
#include "core/console_output.h"
#include "core/log.h"
#include "core/fatal_rules.h"
#include "core/presentation.h"

#include <cstdio>
#include <cwchar>

bool consolePresentation = false;

namespace {

// Work areas of the fatal paths. Static rather than on the stack because a fatal error may
// end the JVM thread, whose stack size the application chooses; two threads failing at the
// same moment could mix their texts, which is accepted since both end the process.
wchar_t messageText[kMessageWorkCapacity];
wchar_t substituted[kMessageWorkCapacity];
wchar_t shownText[kShownTextCapacity];
wchar_t boxTitle[kShownTextCapacity];
wchar_t longLogPath[kShownTextCapacity];
wchar_t wideArgument[kMessageArgumentCapacity];

// The log path as the user knows it (long names), or the path unchanged when that fails.
const wchar_t* longFormOfLogPath() {
    const wchar_t* path = getLogPath();
    if (path == nullptr) return nullptr;
    DWORD length = GetLongPathNameW(path, longLogPath, kShownTextCapacity);
    return length == 0 || length >= kShownTextCapacity ? path : longLogPath;
}

void showInMessageBox(const wchar_t* text) {
    getMessage(MessageId::ErrorTitle, boxTitle, kShownTextCapacity);
    MessageBoxW(nullptr, text, boxTitle, MB_ICONERROR | MB_OK);
}

bool writeToConsole(HANDLE handle, const wchar_t* text, size_t length) {
    DWORD written = 0;
    return WriteConsoleW(handle, text, static_cast<DWORD>(length), &written, nullptr) != FALSE;
}

// Standard error with a line feed after the text. On a console the text is written as wide
// characters, so that nothing depends on the console's code page; a file or pipe receives
// it in the ANSI code page, "?" standing for characters the code page lacks.
void writeToStandardError(const wchar_t* text) {
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    size_t length = wcslen(text);
    if (error != nullptr && error != INVALID_HANDLE_VALUE && GetConsoleMode(error, &mode) &&
        writeToConsole(error, text, length) && writeToConsole(error, L"\n", 1))
        return;
    static char bytes[4 * kShownTextCapacity];
    int count = length == 0 ? 0
                            : WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), bytes,
                                                  static_cast<int>(sizeof bytes), "?", nullptr);
    if (count > 0) fwrite(bytes, 1, static_cast<size_t>(count), stderr);
    fputc('\n', stderr);
    fflush(stderr);
}

// A real console gets the text on standard output as it stands. Anything else (no handle,
// a file, a pipe, or a character device that is not a console, such as NUL) gets it on
// standard error with a line feed.
void showOnConsole(const wchar_t* text) {
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output != nullptr && output != INVALID_HANDLE_VALUE && GetFileType(output) == FILE_TYPE_CHAR &&
        writeToConsole(output, text, wcslen(text))) {
        FlushFileBuffers(output);
        return;
    }
    writeToStandardError(text);
}

}  // namespace

void showMessage(const wchar_t* text) {
    composeShownText(shownText, kShownTextCapacity, text, longFormOfLogPath());
    // A GUI launcher that nothing would hear on the console shows the text in a box instead.
    if (consolePresentation && fatalTextRoute() == TextRoute::StandardHandles)
        showOnConsole(shownText);
    else
        showInMessageBox(shownText);
}

void showConfigMessage(MessageId id, const wchar_t* arg) {
    getMessage(id, messageText, kMessageWorkCapacity);
    if (!substituteFirstArgument(substituted, kMessageWorkCapacity, messageText, arg))
        logError(L"message %d cut to %d characters", idNumber(id), static_cast<int>(kMessageWorkCapacity - 1));
    showMessage(substituted);
}

void showConfigMessage(MessageId id, const char* arg) {
    if (arg == nullptr) return showConfigMessage(id, nullptr);
    widenArgument(wideArgument, kMessageArgumentCapacity, arg);
    showConfigMessage(id, wideArgument);
}

void showConfigMessage(MessageId id, std::nullptr_t) { showConfigMessage(id, static_cast<const wchar_t*>(nullptr)); }

void failWithText(const wchar_t* text) {
    showMessage(text);
    exitLauncher(1);
}

void failWithMessage(MessageId id, const wchar_t* arg) {
    showConfigMessage(id, arg);
    exitLauncher(1);
}

void failWithMessage(MessageId id, const char* arg) {
    showConfigMessage(id, arg);
    exitLauncher(1);
}

void failWithMessage(MessageId id, std::nullptr_t) {
    showConfigMessage(id, nullptr);
    exitLauncher(1);
}

void exitLauncher(int code) {
    removeExtractionDirectory();
    ExitProcess(static_cast<UINT>(code));
}

void printProgress(const char* text) {
    if (text != nullptr) fputs(text, stdout);
    fflush(stdout);
}
