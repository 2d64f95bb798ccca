#include "paths/path_helpers.h"

#include "core/capacities.h"
#include "core/code_page.h"
#include "core/handles.h"
#include "core/log.h"
#include "core/text_format.h"
#include "core/text_helpers.h"
#include "paths/launcher_path.h"

#include <climits>
#include <cstring>

// LCMapStringW from kernel32 rather than CharLowerBuffW, which would load user32.dll on every
// run. Without LCMAP_LINGUISTIC_CASING the mapping is the locale-independent one that
// CharLowerBuffW applies too, so names derived from it stay as they were.
std::wstring lowerCase(std::wstring text) {
    if (text.empty() || text.size() > static_cast<size_t>(INT_MAX)) return text;
    const int length = static_cast<int>(text.size());
    std::wstring lower(text.size(), L'\0');
    int written = LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_LOWERCASE, text.data(), length, &lower[0], length);
    if (written != length) {
        DWORD error = GetLastError();
        logError(L"could not lower-case %s (%d)", text.c_str(), static_cast<int>(error));
        return text;
    }
    return lower;
}

namespace {

constexpr DWORD kFullPathCapacity = kPathCapacity;

// GetFullPathNameW into a buffer of kFullPathCapacity characters; the text unchanged when the system cannot
// normalise it, and false when the normalised form would not fit.
bool fullPathOf(const std::wstring& path, std::wstring& result) {
    wchar_t buffer[kFullPathCapacity];
    DWORD length = GetFullPathNameW(path.c_str(), kFullPathCapacity, buffer, nullptr);
    if (length == 0) {
        DWORD error = GetLastError();
        logError(L"GetFullPathName failed for %s (%d)", path.c_str(), static_cast<int>(error));
        result = path;
        return true;
    }
    if (length >= kFullPathCapacity) return false;
    result.assign(buffer, length);
    return true;
}

// The shared resolution of the wide and 8-bit forms, on the wide form.
bool resolveAgainst(const std::wstring& directory, const std::wstring& path, bool relative, bool keepCase,
                    std::wstring& result) {
    std::wstring full;
    if (!fullPathOf(relative ? directory + path : path, full)) {
        logError(L"path longer than %d characters: %s", static_cast<int>(kFullPathCapacity - 1), path.c_str());
        return false;
    }
    if (!keepCase) full = lowerCase(full);
    result = collapsedBackslashes(full);
    return true;
}

bool refuse(wchar_t* out, size_t capacity) {
    if (capacity > 0) out[0] = 0;
    return false;
}

bool refuse(char* out, size_t capacity) {
    if (capacity > 0) out[0] = 0;
    return false;
}

bool storeWide(wchar_t* out, size_t capacity, const std::wstring& result) {
    if (capacity == 0) return false;
    if (result.size() >= capacity) {
        logError(L"path does not fit %d characters: %s", static_cast<int>(capacity - 1), result.c_str());
        return refuse(out, capacity);
    }
    return copyBounded(out, capacity, result.c_str());
}

// The 8-bit result goes back through the code page; a path that now needs characters the
// code page lacks cannot be handed on and is refused like one that is too long.
bool storeNarrow(char* out, size_t capacity, const std::wstring& result) {
    if (capacity == 0) return false;
    bool lossy = false;
    std::string narrow = toMultiByte(result.c_str(), lossy);
    if (lossy) {
        logError(L"path not representable in the code page: %s", result.c_str());
        return refuse(out, capacity);
    }
    if (narrow.size() >= capacity) {
        logError(L"path does not fit %d characters: %S", static_cast<int>(capacity - 1), narrow.c_str());
        return refuse(out, capacity);
    }
    return copyBounded(out, capacity, narrow.c_str());
}

// The directory of a file, through the system's full-path form; empty when it has none.
std::wstring directoryOfFile(const std::wstring& file) {
    std::wstring full;
    if (!fullPathOf(file, full)) return std::wstring();
    return directoryOf(full);
}

template <typename FindData, typename Char>
bool findEntry(const Char* path, FILETIME* lastWriteTime, HANDLE (*findFirst)(const Char*, FindData*)) {
    if (lastWriteTime != nullptr) *lastWriteTime = FILETIME{};
    if (path == nullptr || path[0] == 0) return false;
    if (isDriveRootForm(path)) return true;
    FindData data;
    FindHandle find(findFirst(path, &data));
    if (!find.valid()) return false;
    if (lastWriteTime != nullptr) *lastWriteTime = data.ftLastWriteTime;
    return true;
}

HANDLE findFirstNarrow(const char* path, WIN32_FIND_DATAA* data) { return FindFirstFileA(path, data); }
HANDLE findFirstWide(const wchar_t* path, WIN32_FIND_DATAW* data) { return FindFirstFileW(path, data); }

}  // namespace

UINT fileSystemCodePage() { return AreFileApisANSI() ? CP_ACP : CP_OEMCP; }

std::string toMultiByte(const wchar_t* wide, bool& lossy) {
    lossy = false;
    if (wide == nullptr) return std::string();
    UINT codePage = fileSystemCodePage();
    DWORD flags = WC_NO_BEST_FIT_CHARS;
    const char* defaultChar = "?";
    int size = WideCharToMultiByte(codePage, flags, wide, -1, nullptr, 0, defaultChar, nullptr);
    if (size == 0 && GetLastError() == ERROR_INVALID_FLAGS) {
        // Code pages such as UTF-8 take neither the flag nor a default character; they are
        // lossless, so nothing is lost by leaving both out.
        flags = 0;
        defaultChar = nullptr;
        size = WideCharToMultiByte(codePage, flags, wide, -1, nullptr, 0, nullptr, nullptr);
    }
    if (size <= 0) {
        lossy = true;
        return std::string();
    }
    std::string result(static_cast<size_t>(size), '\0');
    BOOL usedDefault = FALSE;
    int written = WideCharToMultiByte(codePage, flags, wide, -1, &result[0], size, defaultChar,
                                      defaultChar != nullptr ? &usedDefault : nullptr);
    if (written <= 0) {
        lossy = true;
        return std::string();
    }
    result.resize(static_cast<size_t>(written - 1));
    lossy = usedDefault != FALSE;
    return result;
}

std::wstring fromMultiByte(const char* text) {
    if (text == nullptr) return std::wstring();
    return widenFromCodePage(text, fileSystemCodePage());
}

void collapseBackslashes(char* path) {
    if (path == nullptr || path[0] == 0) return;
    std::wstring wide = fromMultiByte(path);
    if (wide.empty() || wide.size() >= kFullPathCapacity) return;
    bool lossy = false;
    std::string narrow = toMultiByte(collapsedBackslashes(wide).c_str(), lossy);
    // Collapsing only removes characters, so the result fits where the input was.
    if (lossy || narrow.size() > strlen(path)) return;
    memcpy(path, narrow.c_str(), narrow.size() + 1);
}

std::string collapsedBackslashes(const std::string& path) {
    std::vector<char> buffer(path.begin(), path.end());
    buffer.push_back(0);
    collapseBackslashes(buffer.data());
    return buffer.data();
}

bool pathExists(const char* path, FILETIME* lastWriteTime) {
    return findEntry<WIN32_FIND_DATAA>(path, lastWriteTime, findFirstNarrow);
}

bool pathExists(const wchar_t* path, FILETIME* lastWriteTime) {
    return findEntry<WIN32_FIND_DATAW>(path, lastWriteTime, findFirstWide);
}

bool makeAbsolutePath(wchar_t* out, size_t capacity, const wchar_t* path, bool useNarrowDirectory, bool keepCase) {
    if (path == nullptr) path = L"";
    const wchar_t* directory = useNarrowDirectory ? getLauncherDirectoryFromNarrow() : getLauncherDirectoryWide();
    std::wstring result;
    if (!resolveAgainst(directory, path, isRelativePath(path), keepCase, result)) return refuse(out, capacity);
    return storeWide(out, capacity, result);
}

bool makeAbsolutePath(char* out, size_t capacity, const char* path, bool keepCase) {
    if (path == nullptr) path = "";
    std::wstring result;
    if (!resolveAgainst(fromMultiByte(getLauncherDirectory()), fromMultiByte(path), isRelativePath(path), keepCase,
                        result))
        return refuse(out, capacity);
    return storeNarrow(out, capacity, result);
}

bool makeAbsolutePathFromFile(wchar_t* out, size_t capacity, const wchar_t* path, const wchar_t* baseFile,
                              bool keepCase) {
    if (path == nullptr) path = L"";
    std::wstring result;
    if (!resolveAgainst(directoryOfFile(baseFile == nullptr ? L"" : baseFile), path, isRelativePath(path), keepCase,
                        result))
        return refuse(out, capacity);
    return storeWide(out, capacity, result);
}

bool makeAbsolutePathFromFile(char* out, size_t capacity, const char* path, const char* baseFile, bool keepCase) {
    if (path == nullptr) path = "";
    std::wstring result;
    if (!resolveAgainst(directoryOfFile(fromMultiByte(baseFile)), fromMultiByte(path), isRelativePath(path), keepCase,
                        result))
        return refuse(out, capacity);
    return storeNarrow(out, capacity, result);
}

bool makeAbsolutePathList(char* out, size_t capacity, const char* list, void (*callback)(const char* entry)) {
    if (capacity == 0) return false;
    out[0] = 0;
    std::string joined;
    bool complete = true;
    for (const std::string& entry : splitList(list == nullptr ? "" : list, ';', EmptyPieces::EndList)) {
        char resolved[kFullPathCapacity];
        if (!makeAbsolutePath(resolved, sizeof resolved, entry.c_str(), true)) {
            complete = false;
            continue;
        }
        size_t needed = joined.size() + (joined.empty() ? 0 : 1) + strlen(resolved);
        if (needed >= capacity) {
            logError(L"path list longer than %d characters, dropped from %S", static_cast<int>(capacity - 1), resolved);
            copyBounded(out, capacity, joined.c_str());
            return false;
        }
        if (!joined.empty()) joined += ';';
        joined += resolved;
        if (callback != nullptr) callback(resolved);
    }
    copyBounded(out, capacity, joined.c_str());
    return complete;
}

std::vector<std::string> listFilesWithExtension(const char* directory, const char* extension) {
    std::vector<std::string> names;
    std::string pattern = filePatternFor(directory == nullptr ? "" : directory, extension == nullptr ? "" : extension);
    WIN32_FIND_DATAA data;
    FindHandle find(FindFirstFileA(pattern.c_str(), &data));
    if (!find.valid()) return names;
    do {
        names.push_back(data.cFileName);
    } while (FindNextFileA(find.get(), &data));
    return names;
}
