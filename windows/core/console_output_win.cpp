#include "core/console_output.h"

#include "config/config_store.h"
#include "core/capacities.h"
#include "core/log.h"
#include "core/platform.h"
#include "core/text_format.h"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace {

// The state of the standard handles after a GUI launcher's one look for a console. Decided on
// the first text for the user: on the main thread for command output, possibly on the JVM
// thread for a fatal text, never on both (a fatal text ends the process).
bool handlesDecided = false;
StandardHandles decidedHandles;
// Command output of a GUI launcher that has no standard output, shown by showCollectedOutput.
std::wstring collectedOutput;

bool usableHandle(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
    // A valid handle of no known type (FILE_TYPE_UNKNOWN with NO_ERROR) still takes writes.
    SetLastError(NO_ERROR);
    return GetFileType(handle) != FILE_TYPE_UNKNOWN || GetLastError() == NO_ERROR;
}

StandardHandles currentHandles() {
    StandardHandles handles;
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    handles.outputUsable = usableHandle(output);
    handles.outputIsConsole = handles.outputUsable && GetConsoleMode(output, &mode);
    handles.errorUsable = usableHandle(GetStdHandle(STD_ERROR_HANDLE));
    return handles;
}

// Points a standard handle that the process started without at the console just attached.
// The attach sets missing handles itself on current systems; the console's output buffer is
// opened here when it did not. The runtime library's streams stay as they were at start,
// bound to no handle, so a GUI launcher writes to a console through the handle itself.
void useConsoleFor(DWORD which) {
    if (usableHandle(GetStdHandle(which))) return;
    HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    if (console == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        logError(L"cannot open the console's output (%d)", static_cast<int>(error));
        return;
    }
    // Handed to the process as its standard handle: it stays open until the process ends.
    SetStdHandle(which, console);
}

void attachToParentConsole(const StandardHandles& before) {
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        logLine(L"attached to the console of the parent process");
    } else {
        DWORD error = GetLastError();
        if (!attachFoundConsole(error)) {
            logLine(L"no console to attach to (error %d)", static_cast<int>(error));
            return;
        }
        logLine(L"already attached to a console");
    }
    if (!before.outputUsable) useConsoleFor(STD_OUTPUT_HANDLE);
    if (!before.errorUsable) useConsoleFor(STD_ERROR_HANDLE);
}

// The standard handles of a GUI launcher once it has looked for its parent's console.
const StandardHandles& guiHandles() {
    if (!handlesDecided) {
        handlesDecided = true;
        StandardHandles before = currentHandles();
        if (wantsParentConsole(true, before)) attachToParentConsole(before);
        decidedHandles = currentHandles();
    }
    return decidedHandles;
}

}  // namespace

bool guiSubsystem() {
    // The loader has checked these headers before the first instruction ran.
    const BYTE* base = reinterpret_cast<const BYTE*>(GetModuleHandleW(nullptr));
    const IMAGE_DOS_HEADER* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const IMAGE_NT_HEADERS* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    return headers->OptionalHeader.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_GUI;
}

TextRoute fatalTextRoute() {
    if (!guiSubsystem()) return TextRoute::StandardHandles;
    return routeForFatalText(true, guiHandles());
}

void printToStdout(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    std::wstring text = formatWideStringV(format, args);
    va_end(args);
    if (text.empty()) return;
    if (guiSubsystem()) {
        if (routeForCommandOutput(true, guiHandles()) == TextRoute::Box) {
            collectedOutput += text;
            return;
        }
        // A console reached through the parent has no runtime-library stream over it.
        HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
        DWORD mode = 0;
        DWORD written = 0;
        if (GetConsoleMode(output, &mode) &&
            WriteConsoleW(output, text.c_str(), static_cast<DWORD>(text.size()), &written, nullptr))
            return;
    }

    UINT codePage = GetConsoleOutputCP();
    if (codePage == 0) codePage = CP_ACP;
    int bytes =
        WideCharToMultiByte(codePage, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return;
    std::string narrow(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(codePage, 0, text.c_str(), static_cast<int>(text.size()), &narrow[0], bytes, nullptr, nullptr);
    fwrite(narrow.data(), 1, narrow.size(), stdout);
    fflush(stdout);
}

void showCollectedOutput(int exitCode) {
    if (collectedOutput.empty()) return;
    static wchar_t title[kPathCapacity];
    getMessage(MessageId::ErrorTitle, title, kPathCapacity);
    UINT icon = commandOutputIsError(exitCode) ? MB_ICONERROR : MB_ICONINFORMATION;
    MessageBoxW(nullptr, textForBox(collectedOutput).c_str(), title, icon | MB_OK);
    collectedOutput.clear();
}
