// Move-only owners for the Win32 handle kinds the launcher opens. Each closes its handle
// exactly once, on whichever path the owner leaves scope, and closing keeps the caller's
// last-error value so that cleanup never hides the failure being reported.
#pragma once

#include "core/platform.h"

#include <utility>

template <typename Traits>
class UniqueHandle {
public:
    using Type = typename Traits::Type;

    UniqueHandle() : h_(Traits::invalid()) {}
    explicit UniqueHandle(Type h) : h_(h) {}
    UniqueHandle(UniqueHandle&& o) noexcept : h_(o.release()) {}
    UniqueHandle& operator=(UniqueHandle&& o) noexcept {
        reset(o.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    bool valid() const { return Traits::isValid(h_); }
    Type get() const { return h_; }
    [[nodiscard]] Type release() {
        Type h = h_;
        h_ = Traits::invalid();
        return h;
    }
    // For a creating call that hands its handle back through an out-parameter: whatever was
    // held is closed first, and the call writes straight into the owner.
    [[nodiscard]] Type* put() {
        reset();
        return &h_;
    }
    void reset(Type h = Traits::invalid()) {
        if (Traits::isValid(h_)) {
            DWORD saved = GetLastError();
            Traits::close(h_);
            SetLastError(saved);
        }
        h_ = h;
    }

private:
    Type h_;
};

// Kernel handles (files, pipes, processes, threads): both null and INVALID_HANDLE_VALUE mean
// "none", since different creating functions use different ones. All are closed alike; the
// `Kind` tag only makes each kind its own owner type, so that a thread handle cannot be
// passed where a process is expected, nor a pipe end where a file is.
template <typename Kind>
struct KernelHandleTraits {
    using Type = HANDLE;
    static Type invalid() { return nullptr; }
    static bool isValid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(Type h) { CloseHandle(h); }
};
struct FileKind;
struct PipeKind;
struct ProcessKind;
struct ThreadKind;
struct TokenKind;
using FileHandle = UniqueHandle<KernelHandleTraits<FileKind>>;
using PipeHandle = UniqueHandle<KernelHandleTraits<PipeKind>>;
using ProcessHandle = UniqueHandle<KernelHandleTraits<ProcessKind>>;
using ThreadHandle = UniqueHandle<KernelHandleTraits<ThreadKind>>;
using TokenHandle = UniqueHandle<KernelHandleTraits<TokenKind>>;

struct FindHandleTraits {
    using Type = HANDLE;
    static Type invalid() { return INVALID_HANDLE_VALUE; }
    static bool isValid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(Type h) { FindClose(h); }
};
using FindHandle = UniqueHandle<FindHandleTraits>;

struct RegistryKeyTraits {
    using Type = HKEY;
    static Type invalid() { return nullptr; }
    static bool isValid(Type h) { return h != nullptr; }
    static void close(Type h) { RegCloseKey(h); }
};
using RegistryKey = UniqueHandle<RegistryKeyTraits>;

struct ServiceHandleTraits {
    using Type = SC_HANDLE;
    static Type invalid() { return nullptr; }
    static bool isValid(Type h) { return h != nullptr; }
    static void close(Type h) { CloseServiceHandle(h); }
};
using ServiceHandle = UniqueHandle<ServiceHandleTraits>;

struct EventSourceTraits {
    using Type = HANDLE;
    static Type invalid() { return nullptr; }
    static bool isValid(Type h) { return h != nullptr; }
    static void close(Type h) { DeregisterEventSource(h); }
};
using EventSourceHandle = UniqueHandle<EventSourceTraits>;

struct ModuleTraits {
    using Type = HMODULE;
    static Type invalid() { return nullptr; }
    static bool isValid(Type h) { return h != nullptr; }
    static void close(Type h) { FreeLibrary(h); }
};
using ModuleHandle = UniqueHandle<ModuleTraits>;
