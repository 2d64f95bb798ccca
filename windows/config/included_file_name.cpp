#include "config/included_file_name.h"

namespace {

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool sameLetters(const std::string& text, const char* word) {
    size_t i = 0;
    for (; word[i] != 0; ++i)
        if (i >= text.size() || upper(text[i]) != word[i]) return false;
    return i == text.size();
}

// The digits Windows accepts after COM and LPT: 0-9, and the superscripts one to three
// (0xB9, 0xB2, 0xB3 in the Windows Latin code page and in Latin-1).
bool isPortDigit(char c) {
    unsigned char byte = static_cast<unsigned char>(c);
    return (c >= '0' && c <= '9') || byte == 0xB9 || byte == 0xB2 || byte == 0xB3;
}

// The part of a name Windows compares with the device names: up to the first dot, with the
// trailing spaces before that dot removed ("nul .txt" is NUL).
std::string deviceStem(const std::string& component) {
    std::string stem = component.substr(0, component.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    return stem;
}

bool isDeviceName(const std::string& component) {
    std::string stem = deviceStem(component);
    for (const char* device : {"CON", "PRN", "AUX", "NUL"})
        if (sameLetters(stem, device)) return true;
    if (stem.size() != 4 || !isPortDigit(stem[3])) return false;
    std::string prefix = stem.substr(0, 3);
    return sameLetters(prefix, "COM") || sameLetters(prefix, "LPT");
}

}  // namespace

IncludedNameProblem checkIncludedFileName(const std::string& component) {
    if (component.empty()) return IncludedNameProblem::None;
    if (component.find_first_not_of(". ") == std::string::npos) return IncludedNameProblem::DotsOrSpaces;
    if (isDeviceName(component)) return IncludedNameProblem::DeviceName;
    return IncludedNameProblem::None;
}
