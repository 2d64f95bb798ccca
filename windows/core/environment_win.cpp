#include "core/environment.h"

#include "core/platform.h"

#include <climits>
#include <vector>

namespace {

DWORD getVariable(const wchar_t* name, wchar_t* out, DWORD size) { return GetEnvironmentVariableW(name, out, size); }
DWORD getVariable(const char* name, char* out, DWORD size) { return GetEnvironmentVariableA(name, out, size); }
DWORD getModuleName(wchar_t* out, DWORD size) { return GetModuleFileNameW(nullptr, out, size); }
DWORD getModuleName(char* out, DWORD size) { return GetModuleFileNameA(nullptr, out, size); }

// The system takes a 32-bit size; a larger buffer is offered as the largest it takes.
DWORD offeredSize(size_t capacity) {
    return static_cast<uint64_t>(capacity) > UINT_MAX ? UINT_MAX : static_cast<DWORD>(capacity);
}

template <typename Char>
EnvironmentValue<Char> readWhole(const Char* name) {
    EnvironmentValue<Char> value;
    // Cleared first, so that a "not found" left over from an earlier call cannot make an
    // empty variable look missing.
    SetLastError(ERROR_SUCCESS);
    DWORD size = getVariable(name, nullptr, 0);
    if (size == 0) value.missing = GetLastError() == ERROR_ENVVAR_NOT_FOUND;
    value.reportedSize = size;
    while (size > 0) {
        std::vector<Char> buffer(size);
        // An empty value also reads back as 0; only the call's own "not found" means the
        // variable went away, not an error left over from an earlier call.
        SetLastError(ERROR_SUCCESS);
        DWORD length = getVariable(name, buffer.data(), size);
        bool notFound = length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND;
        switch (judgeVariableRead(size, length, notFound)) {
        case VariableRead::Vanished:
            value.missing = true;
            return value;
        case VariableRead::Whole:
            value.set = true;
            value.text.assign(buffer.data(), length);
            return value;
        case VariableRead::Grew:
            size = length;
            break;
        }
    }
    return value;
}

template <typename Char>
std::optional<size_t> readBounded(const Char* name, Char* out, size_t capacity) {
    if (capacity == 0) return std::nullopt;
    std::optional<size_t> kept = keptLength(getVariable(name, out, offeredSize(capacity)), capacity, TooLong::Refuse);
    if (!kept) out[0] = 0;
    return kept;
}

template <typename Char>
std::optional<size_t> readModuleName(Char* out, size_t capacity, TooLong rule) {
    if (capacity == 0) return std::nullopt;
    std::optional<size_t> kept = keptLength(getModuleName(out, offeredSize(capacity)), capacity, rule);
    // A cut name is terminated here: older systems leave a filled buffer unterminated.
    out[kept ? *kept : 0] = 0;
    return kept;
}

}  // namespace

EnvironmentValue<wchar_t> readVariable(const wchar_t* name) { return readWhole(name); }
EnvironmentValue<char> readVariable(const char* name) { return readWhole(name); }

std::optional<size_t> readVariableBounded(const wchar_t* name, wchar_t* out, size_t capacity) {
    return readBounded(name, out, capacity);
}
std::optional<size_t> readVariableBounded(const char* name, char* out, size_t capacity) {
    return readBounded(name, out, capacity);
}

std::optional<size_t> moduleFileName(wchar_t* out, size_t capacity, TooLong rule) {
    return readModuleName(out, capacity, rule);
}
std::optional<size_t> moduleFileName(char* out, size_t capacity, TooLong rule) {
    return readModuleName(out, capacity, rule);
}
