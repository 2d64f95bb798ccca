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
