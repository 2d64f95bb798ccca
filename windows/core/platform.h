// The few places where MinGW-w64 and MSVC differ. Everything else includes <windows.h>
// through this header so the definitions below are always in force.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#if defined(_MSC_VER)
#define LAUNCHER_NORETURN __declspec(noreturn)
#else
#define LAUNCHER_NORETURN __attribute__((noreturn))
#endif

// "32" or "64": the bitness the launcher reports to the user and in its messages.
#ifndef LAUNCHER_BITS
#if defined(_WIN64)
#define LAUNCHER_BITS 64
#else
#define LAUNCHER_BITS 32
#endif
#endif

// Looks up an entry point by name and gives it its real type. GCC warns about casting
// FARPROC to another function type; the detour through void* says the cast is intended.
template <typename Function>
Function lookupFunction(HMODULE module, const char* name) {
    if (module == nullptr) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}
