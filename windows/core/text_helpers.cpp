#include "core/text_helpers.h"

namespace {

template <typename Char>
std::vector<std::basic_string<Char>> splitPieces(std::basic_string_view<Char> text, Char separator,
                                                 EmptyPieces empties) {
    std::vector<std::basic_string<Char>> pieces;
    size_t start = 0;
    // `start` reaches one past the end only after a trailing separator, whose empty last
    // piece is then judged like any other.
    while (start <= text.size()) {
        size_t end = text.find(separator, start);
        if (end == std::basic_string_view<Char>::npos) end = text.size();
        if (end > start)
            pieces.emplace_back(text.substr(start, end - start));
        else if (empties == EmptyPieces::EndList)
            break;
        start = end + 1;
    }
    return pieces;
}

template <typename Char>
bool sameIgnoringAsciiCase(std::basic_string_view<Char> a, std::basic_string_view<Char> b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    return true;
}

template <typename Char>
bool hasPrefixIgnoringAsciiCase(std::basic_string_view<Char> text, std::basic_string_view<Char> prefix) {
    return text.size() >= prefix.size() && sameIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

template <typename Char>
bool hasSuffixIgnoringAsciiCase(std::basic_string_view<Char> text, std::basic_string_view<Char> suffix) {
    return text.size() >= suffix.size() && sameIgnoringAsciiCase(text.substr(text.size() - suffix.size()), suffix);
}

}  // namespace

std::vector<std::string> splitList(std::string_view text, char separator, EmptyPieces empties) {
    return splitPieces(text, separator, empties);
}
std::vector<std::wstring> splitList(std::wstring_view text, wchar_t separator, EmptyPieces empties) {
    return splitPieces(text, separator, empties);
}

char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
wchar_t asciiLower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool startsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }
bool startsWith(std::wstring_view text, std::wstring_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}
bool endsWith(std::wstring_view text, std::wstring_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

bool startsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix) {
    return hasPrefixIgnoringAsciiCase(text, prefix);
}
bool startsWithIgnoringAsciiCase(std::wstring_view text, std::wstring_view prefix) {
    return hasPrefixIgnoringAsciiCase(text, prefix);
}
bool endsWithIgnoringAsciiCase(std::string_view text, std::string_view suffix) {
    return hasSuffixIgnoringAsciiCase(text, suffix);
}
bool endsWithIgnoringAsciiCase(std::wstring_view text, std::wstring_view suffix) {
    return hasSuffixIgnoringAsciiCase(text, suffix);
}

std::wstring decimalText(long long value) {
    // std::to_string formats integers itself; its digits and sign are ASCII and widen as
    // they are.
    std::string digits = std::to_string(value);
    return std::wstring(digits.begin(), digits.end());
}
