// Reads what Explorer shows of an executable, through the same calls Explorer uses: its version
// information (GetFileVersionInfoW, VerQueryValueW) and its icon (ExtractIconExW, and LoadImageW
// from the file loaded as a resource module). One "name=value" line per finding, for the Wine
// tests of packed launchers; lines are UTF-8.
//
//   shipcheck <file.exe>
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

void printLine(const wchar_t* name, const std::wstring& value) {
    std::wstring line = std::wstring(name) + L"=" + value + L"\n";
    int size =
        WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), &utf8[0], size, nullptr, nullptr);
    fwrite(utf8.data(), 1, utf8.size(), stdout);
}

std::wstring number(unsigned long value) { return std::to_wstring(value); }

std::wstring versionText(DWORD high, DWORD low) {
    return number(HIWORD(high)) + L"." + number(LOWORD(high)) + L"." + number(HIWORD(low)) + L"." + number(LOWORD(low));
}

void printVersion(const wchar_t* path) {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    if (size == 0) {
        printLine(L"version", L"none (error " + number(GetLastError()) + L")");
        return;
    }
    std::vector<BYTE> data(size);
    if (!GetFileVersionInfoW(path, 0, size, data.data())) {
        printLine(L"version", L"unreadable (error " + number(GetLastError()) + L")");
        return;
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed != nullptr) {
        printLine(L"fixed_file_version", versionText(fixed->dwFileVersionMS, fixed->dwFileVersionLS));
        printLine(L"fixed_product_version", versionText(fixed->dwProductVersionMS, fixed->dwProductVersionLS));
    }
    WORD* translation = nullptr;
    if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length) ||
        length < 4) {
        printLine(L"translation", L"none");
        return;
    }
    wchar_t language[16];
    swprintf(language, 16, L"%04X%04X", translation[0], translation[1]);
    printLine(L"translation", language);
    for (const wchar_t* key : {L"CompanyName", L"FileDescription", L"FileVersion", L"InternalName", L"LegalCopyright",
                               L"OriginalFilename", L"ProductName", L"ProductVersion"}) {
        std::wstring query = std::wstring(L"\\StringFileInfo\\") + language + L"\\" + key;
        wchar_t* value = nullptr;
        if (VerQueryValueW(data.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) && value != nullptr)
            printLine(key, value);
    }
}

std::wstring iconSize(HICON icon) {
    ICONINFO info{};
    if (!GetIconInfo(icon, &info)) return L"no icon info";
    BITMAP bitmap{};
    GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    return number(bitmap.bmWidth) + L"x" + number(bitmap.bmHeight);
}

void printIcons(const wchar_t* path) {
    UINT count = ExtractIconExW(path, -1, nullptr, nullptr, 0);
    printLine(L"icon_groups", number(count));
    HICON large = nullptr;
    if (count > 0 && ExtractIconExW(path, 0, &large, nullptr, 1) == 1 && large != nullptr) {
        printLine(L"extracted_icon", iconSize(large));
        DestroyIcon(large);
    }
    HMODULE module = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (module == nullptr) {
        printLine(L"loaded_icon", L"module not loaded (error " + number(GetLastError()) + L")");
        return;
    }
    for (int size : {16, 32, 48}) {
        HANDLE icon = LoadImageW(module, MAKEINTRESOURCEW(1), IMAGE_ICON, size, size, 0);
        printLine((L"loaded_icon_" + number(size)).c_str(),
                  icon ? iconSize(static_cast<HICON>(icon)) : L"none (error " + number(GetLastError()) + L")");
        if (icon) DestroyIcon(static_cast<HICON>(icon));
    }
    FreeLibrary(module);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: shipcheck <file.exe>\n");
        return 2;
    }
    printVersion(argv[1]);
    printIcons(argv[1]);
    return 0;
}
