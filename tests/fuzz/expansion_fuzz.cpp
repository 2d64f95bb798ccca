// Placeholder and environment expansion in both variants, with values and buffer capacities
// taken from the input. Whatever the values, the text stays inside its buffer and ends with
// a terminator; a result reported complete holds no more than the capacity allows.
#include "paths/expand_variables_rules.h"
#include "support/log_capture.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

std::vector<std::string> pieces(const uint8_t* data, size_t size) {
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0xFF)
            parts.emplace_back();
        else if (data[i] != 0)
            parts.back().push_back(static_cast<char>(data[i]));
    }
    return parts;
}

std::wstring widened(const std::string& text) {
    std::wstring wide;
    for (char c : text) wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    return wide;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    clearCapturedLog();
    if (size < 1) return 0;
    size_t capacity = 1 + data[0] % 128;
    std::vector<std::string> parts = pieces(data + 1, size - 1);
    parts.resize(std::max<size_t>(parts.size(), 5));
    const std::string& text = parts[0];

    NarrowExpansionValues narrow{parts[1], parts[2], parts[3], [&] { return parts[4]; }, {}};
    WideExpansionValues wide{
        widened(parts[1]), widened(parts[2]), widened(parts[3]), [&] { return widened(parts[4]); }, {}};
    for (size_t i = 5; i < parts.size(); ++i) {
        narrow.environment.push_back(parts[i]);
        wide.environment.push_back(widened(parts[i]));
    }

    // One guard element past the capacity must stay untouched.
    std::vector<char> narrowBuffer(capacity + 1, 'G');
    size_t length = std::min(text.size(), capacity - 1);
    memcpy(narrowBuffer.data(), text.data(), length);
    narrowBuffer[length] = 0;
    expandWithValues(narrowBuffer.data(), capacity, narrow);
    if (narrowBuffer[capacity] != 'G' || strnlen(narrowBuffer.data(), capacity) >= capacity) __builtin_trap();

    std::vector<wchar_t> wideBuffer(capacity + 1, L'G');
    std::wstring wideText = widened(text).substr(0, capacity - 1);
    wmemcpy(wideBuffer.data(), wideText.data(), wideText.size());
    wideBuffer[wideText.size()] = 0;
    expandWithValues(wideBuffer.data(), capacity, wide);
    if (wideBuffer[capacity] != L'G' || wcsnlen(wideBuffer.data(), capacity) >= capacity) __builtin_trap();
    return 0;
}
