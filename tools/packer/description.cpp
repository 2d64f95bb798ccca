#include "description.h"

#include "core/utf8.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return std::string();
    size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

bool parseId(const std::string& text, int& id) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long value = strtol(text.c_str(), &end, 10);
    if (*end != 0 || errno != 0 || value < INT_MIN || value > INT_MAX) return false;
    id = static_cast<int>(value);
    return true;
}

bool parseHexBytes(const std::string& text, std::string& out) {
    std::string digits;
    for (char c : text)
        if (c != ' ' && c != '\t') digits.push_back(c);
    if (digits.size() % 2 != 0) return false;
    for (size_t i = 0; i < digits.size(); i += 2) {
        char pair[3] = {digits[i], digits[i + 1], 0};
        char* end = nullptr;
        long v = strtol(pair, &end, 16);
        if (*end != 0) return false;
        out.push_back(static_cast<char>(v));
    }
    return true;
}

bool readFile(const std::string& path, std::vector<uint8_t>& content) {
    // A folder opens as a stream but fails at its first read; it is no file to read.
    std::error_code folder;
    if (std::filesystem::is_directory(path, folder)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// Decodes one UTF-8 sequence at `i`; false for malformed, overlong or surrogate encodings.
bool decodeUtf8(const std::string& s, size_t& i, char32_t& cp) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    int extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
    if (extra < 0 || s.size() - i <= static_cast<size_t>(extra)) return false;
    cp = extra == 0 ? c : extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 0x07);
    for (int k = 1; k <= extra; ++k) {
        unsigned char d = static_cast<unsigned char>(s[i + k]);
        if ((d & 0xC0) != 0x80) return false;
        cp = (cp << 6) | (d & 0x3F);
    }
    static const char32_t minimum[] = {0, 0x80, 0x800, 0x10000};
    if (cp < minimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += static_cast<size_t>(extra) + 1;
    return true;
}

}  // namespace

bool utf8ToUtf16(const std::string& text, std::u16string& out) {
    out.clear();
    for (size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        if (!decodeUtf8(text, i, cp)) return false;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return true;
}

bool utf8ToLatin1(const std::string& text, std::string& out) {
    out.clear();
    for (size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        if (!decodeUtf8(text, i, cp) || cp > 0xFF) return false;
        out.push_back(static_cast<char>(cp));
    }
    return true;
}

std::string latin1ToUtf8(const std::string& bytes) {
    std::string out;
    for (char c : bytes) appendUtf8(out, static_cast<unsigned char>(c));
    return out;
}

bool utf16ToUtf8(const std::u16string& text, std::string& out) {
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            return false;
        } else {
            appendUtf8(out, unit);
        }
    }
    return true;
}

bool parseDescription(const std::string& text, const std::string& name, const std::string& baseDirectory,
                      Description& description, std::string& error) {
    std::istringstream in(text);
    std::string raw;
    int lineNumber = 0;
    LocaleSection* currentLocale = nullptr;
    auto fail = [&](const std::string& reason) {
        error = name + ":" + std::to_string(lineNumber) + ": " + reason;
        return false;
    };
    while (std::getline(in, raw)) {
        ++lineNumber;
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        std::string line = trim(raw);
        if (line.empty() || line[0] == '#') continue;

        size_t space = line.find_first_of(" \t");
        std::string keyword = line.substr(0, space);
        std::string rest = space == std::string::npos ? std::string() : trim(line.substr(space));

        if (keyword == "locale") {
            if (rest.empty() || rest.find_first_of(" \t=") != std::string::npos)
                return fail("a locale line names one locale, for example \"locale de_DE\"");
            description.locales.push_back(LocaleSection{rest, {}});
            currentLocale = &description.locales.back();
            continue;
        }

        // Every other entry is "<keyword> <key> = <value>"; the value starts after "= " and is
        // taken as written (it may hold spaces, "=" and backslashes).
        size_t equals = rest.find('=');
        if (equals == std::string::npos) return fail("expected \"" + keyword + " <key> = <value>\"");
        std::string key = trim(rest.substr(0, equals));
        // The value comes from the untrimmed line, so trailing spaces are kept.
        std::string afterEquals = raw.substr(raw.find('=') + 1);
        std::string value = !afterEquals.empty() && afterEquals[0] == ' ' ? afterEquals.substr(1) : afterEquals;

        if (keyword == "setting" || keyword == "setting-hex") {
            if (currentLocale != nullptr) return fail("settings cannot be overridden per locale");
            int id = 0;
            if (!parseId(key, id)) return fail("\"" + key + "\" is not a numeric id");
            std::string bytes;
            if (keyword == "setting-hex") {
                if (!parseHexBytes(value, bytes)) return fail("\"" + value + "\" is not a sequence of hex bytes");
            } else if (!utf8ToLatin1(value, bytes)) {
                return fail(
                    "setting text must be UTF-8 with characters up to U+00FF (use setting-hex for other bytes)");
            }
            description.settings.emplace_back(id, bytes);
        } else if (keyword == "message") {
            int id = 0;
            if (!parseId(key, id)) return fail("\"" + key + "\" is not a numeric id");
            std::u16string wide;
            if (!utf8ToUtf16(value, wide)) return fail("message text is not valid UTF-8");
            if (currentLocale != nullptr)
                currentLocale->overrides.emplace_back(id, wide);
            else
                description.messages.emplace_back(id, wide);
        } else if (keyword == "file") {
            if (currentLocale != nullptr) return fail("included files belong before the first locale line");
            if (key.empty()) return fail("an included file needs a path");
            if (key.find(';') != std::string::npos) return fail("an included file path cannot contain \";\"");
            std::string source = value;
            if (!source.empty() && source[0] != '/') source = baseDirectory + "/" + source;
            IncludedFile file;
            file.path = key;
            if (!readFile(source, file.content)) return fail("cannot read included file \"" + source + "\"");
            description.files.push_back(std::move(file));
        } else {
            return fail("unknown entry \"" + keyword + "\" (expected setting, setting-hex, message, locale or file)");
        }
    }
    return true;
}
