#include "core/fatal.h"

#include "core/presentation.h"

#include <cstdio>

bool consolePresentation = false;

void failWithText(const wchar_t* text) {
    if (consolePresentation) {
        fwprintf(stderr, L"%ls\n", text);
        fflush(stderr);
    } else {
        MessageBoxW(nullptr, text, L"", MB_ICONERROR | MB_OK);
    }
    exitLauncher(1);
}

void exitLauncher(int code) {
    ExitProcess(static_cast<UINT>(code));
}

// Localized messages are not available in this build yet; the id is shown instead.
void failWithMessage(int id, const wchar_t* arg) {
    wchar_t text[64];
    wsprintfW(text, L"Error %d (%ls)", id, arg == nullptr ? L"" : arg);
    failWithText(text);
}

void failWithMessage(int id, const char*) { failWithMessage(id, static_cast<const wchar_t*>(nullptr)); }
