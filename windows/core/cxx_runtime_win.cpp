// The launcher's own versions of the few C++ library functions that report failures by
// throwing. The launcher is built without exceptions, but the library's allocation functions
// and the failure paths of its containers (out of memory, a length beyond the maximum, an
// index out of range, an empty std::function called) throw, and the library's definitions
// bring its whole exception machinery into the image with them: the unwinder and personality
// routine, the exception classes with a second string implementation, the verbose terminate
// handler with its name demangler, a thread library for the exception globals: about a third
// of the executable, mapped at every start for paths that are never taken.
//
// Each function is defined here instead; the linker takes a definition from the launcher's
// own objects before it looks into the library. Should a library member that defines one of
// them still be pulled in, the link fails with a duplicate definition rather than carrying
// both. They are reached only when memory runs out or through a bug. Either ended the
// process before as well (an exception thrown through the launcher's code, which has no
// handlers, terminates): now the cause is logged first and the process ends as it did, with
// abort().

#include "core/log.h"

#include <bits/functexcept.h>

#include <cstdlib>
#include <new>

namespace {

[[noreturn]] void endAfterRuntimeFailure(const wchar_t* what, const char* detail) {
    logError(L"C++ runtime failure: %s %S", what, detail == nullptr ? "" : detail);
    abort();
}

void* allocateOrEnd(size_t size) {
    // malloc(0) may answer nullptr; every allocation must give a distinct pointer.
    void* memory = malloc(size == 0 ? 1 : size);
    if (memory == nullptr) endAfterRuntimeFailure(L"out of memory", nullptr);
    return memory;
}

}  // namespace

void* operator new(size_t size) { return allocateOrEnd(size); }
void* operator new[](size_t size) { return allocateOrEnd(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return malloc(size == 0 ? 1 : size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return malloc(size == 0 ? 1 : size); }
void operator delete(void* memory) noexcept { free(memory); }
void operator delete[](void* memory) noexcept { free(memory); }
void operator delete(void* memory, size_t) noexcept { free(memory); }
void operator delete[](void* memory, size_t) noexcept { free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { free(memory); }

namespace std {

void __throw_bad_alloc() { endAfterRuntimeFailure(L"out of memory", nullptr); }
void __throw_bad_array_new_length() { endAfterRuntimeFailure(L"bad array length", nullptr); }
void __throw_length_error(const char* what) { endAfterRuntimeFailure(L"length error", what); }
void __throw_logic_error(const char* what) { endAfterRuntimeFailure(L"logic error", what); }
void __throw_out_of_range(const char* what) { endAfterRuntimeFailure(L"out of range", what); }
// The format's arguments are left out: the format names the function that failed.
void __throw_out_of_range_fmt(const char* format, ...) { endAfterRuntimeFailure(L"out of range", format); }
void __throw_invalid_argument(const char* what) { endAfterRuntimeFailure(L"invalid argument", what); }
void __throw_bad_function_call() { endAfterRuntimeFailure(L"empty function called", nullptr); }

}  // namespace std
