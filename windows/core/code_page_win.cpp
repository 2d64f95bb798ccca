#include "core/code_page.h"

#include <climits>

std::wstring widenFromCodePage(std::string_view bytes, UINT codePage, DWORD flags) {
    if (bytes.empty() || bytes.size() > static_cast<size_t>(INT_MAX)) return std::wstring();
    int length = static_cast<int>(bytes.size());
    int needed = MultiByteToWideChar(codePage, flags, bytes.data(), length, nullptr, 0);
    if (needed <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(needed), L'\0');
    int written = MultiByteToWideChar(codePage, flags, bytes.data(), length, wide.data(), needed);
    if (written <= 0) return std::wstring();
    wide.resize(static_cast<size_t>(written));
    return wide;
}

std::optional<std::string> narrowToCodePageExactly(std::wstring_view wide, UINT codePage) {
    if (wide.empty()) return std::string();
    if (wide.size() > static_cast<size_t>(INT_MAX)) return std::nullopt;
    int length = static_cast<int>(wide.size());
    BOOL usedDefault = FALSE;
    int needed =
        WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), length, nullptr, 0, nullptr, &usedDefault);
    if (needed <= 0 || usedDefault) return std::nullopt;
    std::string narrow(static_cast<size_t>(needed), '\0');
    int written = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), length, narrow.data(), needed,
                                      nullptr, &usedDefault);
    if (written <= 0 || usedDefault) return std::nullopt;
    narrow.resize(static_cast<size_t>(written));
    return narrow;
}
