#include "core/fatal_rules.h"

#include "core/text_format.h"

#include <cwchar>
#include <string>

bool substituteFirstArgument(wchar_t* out, size_t capacity, const wchar_t* text, const wchar_t* argument) {
    std::wstring result = text == nullptr ? L"" : text;
    size_t at = result.find(L"{0}");
    if (argument != nullptr && at != std::wstring::npos) result.replace(at, 3, argument);
    return copyBounded(out, capacity, result.c_str());
}

bool composeShownText(wchar_t* out, size_t capacity, const wchar_t* text, const wchar_t* logPath) {
    if (logPath == nullptr) return copyBounded(out, capacity, text);
    std::wstring reference = L"\n\nLog: ";
    reference += logPath;
    // Room for the text in front of the reference (and the terminator); a reference that
    // alone overflows the buffer leaves no room and is cut itself below.
    size_t room = capacity > reference.size() ? capacity - reference.size() : 0;
    std::wstring shown = text == nullptr ? L"" : text;
    bool complete = true;
    if (room > 0 && shown.size() > room - 1) {
        shown.resize(room - 1);
        complete = false;
    }
    shown += reference;
    return copyBounded(out, capacity, shown.c_str()) && complete;
}

bool widenArgument(wchar_t* out, size_t capacity, const char* argument) {
    return copyBounded(out, capacity, widenBytes(argument).c_str());
}
