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
