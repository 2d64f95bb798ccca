// delaycheck: calls a few user32.dll functions through the launcher's delay-load import
// library and checks that user32.dll is mapped only by the first of those calls and that
// the calls reach the real functions. The functions chosen need no display. Prints one
// "ok - ..." or "FAIL - ..." line per check; the exit code is the number of failures.
#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

int failures = 0;

void check(bool passed, const char* what) {
    std::printf("%s - %s\n", passed ? "ok" : "FAIL", what);
    if (!passed) ++failures;
}

}  // namespace

int main() {
    check(GetModuleHandleW(L"user32.dll") == nullptr, "user32.dll is not mapped at start");

    wchar_t text[] = L"MiXeD Text";
    DWORD converted = CharLowerBuffW(text, 10);
    check(GetModuleHandleW(L"user32.dll") != nullptr, "the first call maps user32.dll");
    check(converted == 10 && std::wcscmp(text, L"mixed text") == 0, "CharLowerBuffW converts through the thunk");

    // Window functions given no window: each must answer as the real function does.
    check(!IsWindowVisible(nullptr), "IsWindowVisible(NULL) is false");
    SetLastError(0);
    LONG style = GetWindowLongA(nullptr, GWL_STYLE);
    DWORD error = GetLastError();
    check(style == 0 && error == ERROR_INVALID_WINDOW_HANDLE, "GetWindowLongA(NULL) fails with 1400");
    check(GetSystemMenu(nullptr, FALSE) == nullptr, "GetSystemMenu(NULL) is NULL");
    return failures;
}
