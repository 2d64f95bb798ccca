#include "core/command_line.h"

const wchar_t* nextArgument(const wchar_t* src, wchar_t* dst) {
    bool insideQuotes = false;
    bool separatorSeen = false;
    wchar_t previous = 0;
    for (const wchar_t* p = src;; ++p) {
        wchar_t c = *p;
        if (c == 0) {
            *dst = 0;
            return nullptr;
        }
        if ((c == L' ' || c == L'\t') && !insideQuotes) {
            separatorSeen = true;
        } else if (separatorSeen) {
            *dst = 0;
            return p;
        } else if (c == L'"') {
            // A quote right after the quote that closed a group re-opens it with a literal
            // quote, so "a""b" is a"b while a""b (opened and closed at once) is ab.
            if (previous == L'"' && !insideQuotes) {
                *dst++ = L'"';
                insideQuotes = true;
            } else {
                insideQuotes = !insideQuotes;
            }
        } else {
            *dst++ = c;
        }
        previous = c;
    }
}

void splitCommandLine(std::wstring_view text, ArgumentList& list) {
    if (text.empty()) return;
    // A view need not be terminated; the walk needs a terminated copy.
    std::wstring source(text);
    std::wstring work(source.size() + 1, L'\0');
    const wchar_t* next = source.c_str();
    while (next != nullptr) {
        next = nextArgument(next, &work[0]);
        list.emplace_back(work.c_str());
    }
}

ArgumentList splitCommandLine(std::wstring_view text) {
    ArgumentList list;
    splitCommandLine(text, list);
    return list;
}

std::wstring quoteArgument(std::wstring_view argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring_view::npos) return std::wstring(argument);
    // Inside a group a quote closes it and the next quote, right after, re-opens it with a
    // literal quote: so a doubled quote within the group is one quote of the argument.
    std::wstring quoted = L"\"";
    for (wchar_t c : argument) {
        quoted += c;
        if (c == L'"') quoted += L'"';
    }
    quoted += L'"';
    return quoted;
}
