#include "core/library_loading.h"

#include "core/capacities.h"

#include <string>

namespace {

// "C:\..." or "\\server\..." (also "\\?\..."): the only forms the altered search is
// defined for.
template <typename Char>
bool isFullPath(const Char* path) {
    if (path[0] == '\\' && path[1] == '\\') return true;
    bool letter = (path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z');
    return letter && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
}

HMODULE loadLibraryEx(const char* path, DWORD flags) { return LoadLibraryExA(path, nullptr, flags); }
HMODULE loadLibraryEx(const wchar_t* path, DWORD flags) { return LoadLibraryExW(path, nullptr, flags); }

template <typename Char>
HMODULE loadFromItsFolder(const Char* fullPath, DWORD& error) {
    DWORD flags = isFullPath(fullPath) ? LOAD_WITH_ALTERED_SEARCH_PATH : 0;
    HMODULE module = loadLibraryEx(fullPath, flags);
    if (module == nullptr) error = GetLastError();
    return module;
}

}  // namespace

HMODULE loadLibraryFromItsFolder(const char* fullPath, DWORD& error) { return loadFromItsFolder(fullPath, error); }

HMODULE loadLibraryFromItsFolder(const wchar_t* fullPath, DWORD& error) { return loadFromItsFolder(fullPath, error); }

HMODULE loadSystemLibrary(const wchar_t* fileName, DWORD& error) {
    wchar_t directory[kPathCapacity];
    UINT length = GetSystemDirectoryW(directory, kPathCapacity);
    if (length == 0 || length >= kPathCapacity) {
        error = length == 0 ? GetLastError() : ERROR_INSUFFICIENT_BUFFER;
        return nullptr;
    }
    std::wstring path = std::wstring(directory, length) + L"\\" + fileName;
    return loadFromItsFolder(path.c_str(), error);
}
