#include "service/service_main_rules.h"

#include "core/commands.h"

#include <cwchar>

void appendQuotedPiece(std::wstring& line, const std::wstring& piece) {
    if (!line.empty()) line += L' ';
    if (piece.find(L' ') != std::wstring::npos)
        line += L'"' + piece + L'"';
    else
        line += piece;
}

bool buildChildCommandLine(const std::vector<std::wstring>& ownWords, const std::wstring& serviceName,
                           const std::vector<std::wstring>& startArguments, size_t capacity, std::wstring& line) {
    std::wstring built;
    if (!ownWords.empty()) appendQuotedPiece(built, ownWords[0]);
    // The program comes first even when it is empty, so the name is always the second word.
    if (built.empty()) built = L"\"\"";
    appendQuotedPiece(built, serviceName);
    for (size_t i = 1; i < ownWords.size(); ++i) appendQuotedPiece(built, ownWords[i]);
    for (const std::wstring& argument : startArguments) appendQuotedPiece(built, argument);
    appendQuotedPiece(built, kRestartMarker);
    if (built.size() + 1 > capacity) return false;
    line = built;
    return true;
}

const wchar_t* chooseServiceName(unsigned long argc, wchar_t** argv, size_t capacity) {
    if (argc < 1 || argv == nullptr || argv[0] == nullptr || argv[0][0] == 0) return L"unknown";
    if (wcsnlen(argv[0], capacity) >= capacity) return L"unknown";
    return argv[0];
}
