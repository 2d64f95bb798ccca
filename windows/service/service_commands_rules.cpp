#include "service/service_commands_rules.h"

std::wstring dependencyMultiString(const std::wstring& setting, size_t capacity) {
    std::wstring block;
    size_t start = 0;
    while (start <= setting.size()) {
        size_t comma = setting.find(L',', start);
        std::wstring piece = setting.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start);
        // Room for the piece, its NUL and the final NUL.
        if (!piece.empty() && block.size() + piece.size() + 2 <= capacity) {
            block += piece;
            block += L'\0';
        }
        if (comma == std::wstring::npos) break;
        start = comma + 1;
    }
    if (block.empty()) return block;
    block += L'\0';
    return block;
}
