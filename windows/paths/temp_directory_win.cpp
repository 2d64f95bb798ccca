#include "paths/temp_directory.h"

#include "config/config_store.h"
#include "config/read_config.h"
#include "core/environment.h"
#include "core/fatal.h"
#include "core/log.h"
#include "core/platform.h"
#include "core/text_format.h"
#include "paths/temp_directory_rules.h"

#include <cstdlib>
#include <ctime>
#include <direct.h>
#include <string>

namespace {

constexpr DWORD kCapacity = static_cast<DWORD>(kTempPathCapacity);
constexpr int kCommonAppDataFolder = 35;

enum class ChoiceState { NotChosen, Choosing, Chosen };

// The chosen temp directory. Written once by the first accessor call on the main thread,
// after the configuration has been read; read-only afterwards.
ChoiceState choiceState = ChoiceState::NotChosen;
TempChoice chosen;

// A variable's value, empty when it is unset or does not fit the launcher's path buffers.
std::string environmentNarrow(const char* name) {
    char buffer[kCapacity];
    std::optional<size_t> length = readVariableBounded(name, buffer, kCapacity);
    return length ? std::string(buffer, *length) : std::string();
}

std::wstring environmentWide(const wchar_t* name) {
    wchar_t buffer[kCapacity];
    std::optional<size_t> length = readVariableBounded(name, buffer, kCapacity);
    return length ? std::wstring(buffer, *length) : std::wstring();
}

// A composed candidate longer than the launcher's path buffers is no candidate.
template <typename Text>
Text bounded(Text path) {
    return path.size() < kTempPathCapacity ? path : Text();
}

// A directory below a variable's or the system's value; nothing when that value is missing,
// rather than a path relative to the current drive's root. HOMEDRIVE and HOMEPATH likewise
// give a candidate only together.
template <typename Text>
Text underVariable(const Text& value, const Text& tail) {
    return value.empty() ? Text() : bounded(value + tail);
}

using FolderPathA = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPSTR);
using FolderPathW = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPWSTR);

struct FolderFunctions {
    FolderPathA narrow = nullptr;
    FolderPathW wide = nullptr;
};

// Looked up once: the folder functions are not part of every system's shell32.
const FolderFunctions& folderFunctions() {
    static bool looked = false;
    static FolderFunctions functions;
    if (!looked) {
        looked = true;
        HMODULE shell = LoadLibraryA("shell32.dll");
        functions.narrow = lookupFunction<FolderPathA>(shell, "SHGetFolderPathA");
        functions.wide = lookupFunction<FolderPathW>(shell, "SHGetFolderPathW");
    }
    return functions;
}

std::string commonAppDataNarrow() {
    const FolderFunctions& functions = folderFunctions();
    if (functions.narrow == nullptr || functions.wide == nullptr) return std::string();
    char folder[MAX_PATH + 1] = {};
    if (functions.narrow(nullptr, kCommonAppDataFolder, nullptr, 0, folder) != S_OK || folder[0] == 0)
        return std::string();
    std::string quillwork = std::string(folder) + "\\quillwork";
    _mkdir(quillwork.c_str());
    return bounded(quillwork + "\\temp");
}

std::wstring commonAppDataWide() {
    const FolderFunctions& functions = folderFunctions();
    if (functions.narrow == nullptr || functions.wide == nullptr) return std::wstring();
    wchar_t folder[MAX_PATH + 1] = {};
    if (functions.wide(nullptr, kCommonAppDataFolder, nullptr, 0, folder) != S_OK || folder[0] == 0)
        return std::wstring();
    std::wstring quillwork = std::wstring(folder) + L"\\quillwork";
    _wmkdir(quillwork.c_str());
    return bounded(quillwork + L"\\temp");
}

using TempPath2A = DWORD(WINAPI*)(DWORD, LPSTR);
using TempPath2W = DWORD(WINAPI*)(DWORD, LPWSTR);

struct TempPathFunctions {
    TempPath2A narrow = nullptr;
    TempPath2W wide = nullptr;
};

// GetTempPath2A/W give a process running as SYSTEM the Windows folder "SystemTemp", which only
// SYSTEM and the Administrators can use, and every other process what GetTempPathA/W give.
// Looked up at run time, since older Windows (and Wine) lack them; the two are used only
// together, so that the 8-bit and the wide form name the same folder.
const TempPathFunctions& tempPathFunctions() {
    static bool looked = false;
    static TempPathFunctions functions;
    if (!looked) {
        looked = true;
        HMODULE kernel = GetModuleHandleA("kernel32.dll");
        TempPathFunctions found;
        found.narrow = lookupFunction<TempPath2A>(kernel, "GetTempPath2A");
        found.wide = lookupFunction<TempPath2W>(kernel, "GetTempPath2W");
        if (found.narrow != nullptr && found.wide != nullptr) functions = found;
    }
    return functions;
}

std::string systemTempPathNarrow() {
    char buffer[kCapacity];
    TempPath2A private2 = tempPathFunctions().narrow;
    DWORD length = private2 != nullptr ? private2(kCapacity, buffer) : GetTempPathA(kCapacity, buffer);
    return (length == 0 || length >= kCapacity) ? std::string() : std::string(buffer, length);
}

std::wstring systemTempPathWide() {
    wchar_t buffer[kCapacity];
    TempPath2W private2 = tempPathFunctions().wide;
    DWORD length = private2 != nullptr ? private2(kCapacity, buffer) : GetTempPathW(kCapacity, buffer);
    return (length == 0 || length >= kCapacity) ? std::wstring() : std::wstring(buffer, length);
}

std::string windowsDirectoryNarrow() {
    char buffer[kCapacity];
    UINT length = GetWindowsDirectoryA(buffer, kCapacity);
    return (length == 0 || length >= kCapacity) ? std::string() : std::string(buffer, length);
}

std::wstring windowsDirectoryWide() {
    wchar_t buffer[kCapacity];
    UINT length = GetWindowsDirectoryW(buffer, kCapacity);
    return (length == 0 || length >= kCapacity) ? std::wstring() : std::wstring(buffer, length);
}

// Seeds the runtime library's generator as every probe does, so that two launchers started
// in the same second still probe different names (the process ids differ).
int nextProbeNumber() {
    srand(static_cast<unsigned>(time(nullptr)) * static_cast<unsigned>(GetCurrentProcessId()));
    return rand();
}

bool isDirectory(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool isDirectory(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

class Win32TempSystem : public TempSystem {
public:
    std::string narrowPath(TempSource source) override {
        switch (source) {
        case TempSource::TempPath:
            return systemTempPathNarrow();
        case TempSource::UserProfileTemp:
            return underVariable(environmentNarrow("USERPROFILE"), std::string("\\AppData\\Local\\Temp"));
        case TempSource::HomeDrivePath: {
            std::string drive = environmentNarrow("HOMEDRIVE");
            std::string path = environmentNarrow("HOMEPATH");
            return (drive.empty() || path.empty()) ? std::string() : bounded(drive + path);
        }
        case TempSource::CommonAppData:
            return commonAppDataNarrow();
        case TempSource::WindowsTemp:
            return underVariable(windowsDirectoryNarrow(), std::string("\\temp"));
        case TempSource::CTemp:
            return "c:\\temp";
        case TempSource::CTmp:
            return "c:\\tmp";
        case TempSource::WindowsDirectory:
            return windowsDirectoryNarrow();
        }
        return std::string();
    }

    std::wstring widePath(TempSource source) override {
        switch (source) {
        case TempSource::TempPath:
            return systemTempPathWide();
        case TempSource::UserProfileTemp:
            return underVariable(environmentWide(L"USERPROFILE"), std::wstring(L"\\AppData\\Local\\Temp"));
        case TempSource::HomeDrivePath: {
            std::wstring drive = environmentWide(L"HOMEDRIVE");
            std::wstring path = environmentWide(L"HOMEPATH");
            return (drive.empty() || path.empty()) ? std::wstring() : bounded(drive + path);
        }
        case TempSource::CommonAppData:
            return commonAppDataWide();
        case TempSource::WindowsTemp:
            return underVariable(windowsDirectoryWide(), std::wstring(L"\\temp"));
        case TempSource::CTemp:
            return L"c:\\temp";
        case TempSource::CTmp:
            return L"c:\\tmp";
        case TempSource::WindowsDirectory:
            return windowsDirectoryWide();
        }
        return std::wstring();
    }

    void makeDirectory(const std::string& path) override { _mkdir(path.c_str()); }
    void makeDirectory(const std::wstring& path) override { _wmkdir(path.c_str()); }

    bool longForm(const std::string& path, std::string& result) override {
        DWORD size = GetLongPathNameA(path.c_str(), nullptr, 0);
        if (size == 0) return false;
        std::string buffer(size + 10, '\0');
        DWORD length = GetLongPathNameA(path.c_str(), &buffer[0], static_cast<DWORD>(buffer.size()));
        if (length == 0 || length >= buffer.size()) return false;
        result.assign(buffer.c_str(), length);
        return true;
    }

    bool longForm(const std::wstring& path, std::wstring& result) override {
        wchar_t buffer[kCapacity];
        DWORD length = GetLongPathNameW(path.c_str(), buffer, kCapacity);
        if (length == 0 || length >= kCapacity) return false;
        result.assign(buffer, length);
        return true;
    }

    bool foldPrecomposed(const std::wstring& text, std::wstring& result) override {
        wchar_t buffer[kCapacity - 1];
        int length = FoldStringW(MAP_PRECOMPOSED, text.c_str(), -1, buffer, kCapacity - 1);
        if (length <= 0) return false;
        result = buffer;
        return true;
    }

    bool probe(const std::string& directory) override {
        std::string name = probeDirectoryName(directory, GetCurrentProcessId(), nextProbeNumber());
        _rmdir(name.c_str());
        bool created = _mkdir(name.c_str()) == 0;
        bool exists = created && isDirectory(name);
        _rmdir(name.c_str());
        return exists;
    }

    bool probe(const std::wstring& directory) override {
        std::wstring name = probeDirectoryName(directory, GetCurrentProcessId(), nextProbeNumber());
        _wrmdir(name.c_str());
        bool created = _wmkdir(name.c_str()) == 0;
        bool exists = created && isDirectory(name);
        _wrmdir(name.c_str());
        return exists;
    }
};

// Chooses once. A call made while the choice runs sees no temp directory instead of starting
// over (the log, whose first line may come from inside the choice, makes its own).
bool chooseTempDirectory() {
    if (choiceState == ChoiceState::Chosen) return chosen.found;
    if (choiceState == ChoiceState::Choosing) return false;
    choiceState = ChoiceState::Choosing;
    Win32TempSystem system;
    TempChoice choice = chooseTempDirectoryWith(system, getSettingInt(SettingId::LongTempPaths) != 0);
    chosen = choice;
    choiceState = ChoiceState::Chosen;
    return chosen.found;
}

}  // namespace

void getTempDirectory(char* buffer, size_t size) {
    bool found = chooseTempDirectory();
    if (found && size > chosen.narrow.size()) {
        copyBounded(buffer, size, chosen.narrow.c_str());
        return;
    }
    if (size > 0) buffer[0] = 0;
    if (found)
        logError(L"temp directory longer than %d characters: %S", static_cast<int>(size) - 1, chosen.narrow.c_str());
    failWithMessage(MessageId::NoTempDirectory, static_cast<const wchar_t*>(nullptr));
}

void getTempDirectoryWide(wchar_t* buffer, size_t size, bool failIfNone) {
    bool found = chooseTempDirectory();
    if (found && size > chosen.wide.size()) {
        copyBounded(buffer, size, chosen.wide.c_str());
        return;
    }
    if (size > 0) buffer[0] = 0;
    if (found)
        logError(L"temp directory longer than %d characters: %s", static_cast<int>(size) - 1, chosen.wide.c_str());
    if (failIfNone) failWithMessage(MessageId::NoTempDirectory, static_cast<const wchar_t*>(nullptr));
}

void getTempDirectoryForLog(wchar_t* buffer, size_t size) {
    bool keptChoiceUsable =
        choiceState == ChoiceState::Chosen || (choiceState == ChoiceState::NotChosen && configurationRead());
    if (keptChoiceUsable) {
        getTempDirectoryWide(buffer, size, false);
        if (chosen.found && isDriveRootFolder(chosen.source) && size > 0) buffer[0] = 0;
        return;
    }
    // Before the configuration is known, or while the kept choice is being made (its first
    // line starts the log): a choice for the log alone. The wide form does not depend on
    // setting 10009 (only the 8-bit form may switch to the long path), so it names the same
    // directory the kept choice does.
    Win32TempSystem system;
    TempChoice choice = chooseTempDirectoryWith(system, false);
    if (size == 0) return;
    buffer[0] = 0;
    if (choice.found && !isDriveRootFolder(choice.source) && size > choice.wide.size())
        copyBounded(buffer, size, choice.wide.c_str());
}

void makeTempFileName(char* out, size_t size) {
    char tempPath[kCapacity];
    getTempDirectory(tempPath, sizeof tempPath);
    logLine(L"tempPath is %S", tempPath);
    char created[MAX_PATH + 1];
    std::string name;
    if (GetTempFileNameA(tempPath, "rvl", 0, created) != 0) {
        name = created;
    } else {
        DWORD error = GetLastError();
        logLine(L"GetTempFileName failed (last error %d)", static_cast<int>(error));
        name = tempPath;
        if (!name.empty() && name.back() != '\\' && name.back() != '/') name += '\\';
        srand(static_cast<unsigned>(time(nullptr)) * static_cast<unsigned>(GetCurrentProcessId()));
        name += "rvl" + std::to_string(rand());
    }
    // A cut name would name some other file: a name that does not fit is refused.
    if (size == 0) return;
    if (name.size() >= size) {
        logError(L"temp file name longer than %d characters: %S", static_cast<int>(size) - 1, name.c_str());
        out[0] = 0;
        return;
    }
    copyBounded(out, size, name.c_str());
    logLine(L"tempFile is %S", out);
}
