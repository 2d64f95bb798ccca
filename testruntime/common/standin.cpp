#include "standin.h"

#include <cstdio>
#include <vector>

namespace standin {

namespace {

// Long-path limit of the wide file APIs; no module path can be longer.
constexpr DWORD kMaxPath = 32768;

std::string trimQuotes(std::string_view value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    return std::string(value);
}

bool fileExists(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool equalsIgnoringCase(const std::wstring& a, const wchar_t* b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b, -1, TRUE) == CSTR_EQUAL;
}

std::wstring recordFilePath(const RuntimeHome& runtime) {
    std::wstring fromEnvironment;
    if (environmentValue(L"STANDIN_RECORD", fromEnvironment) && !fromEnvironment.empty()) return fromEnvironment;
    return runtime.root + L"\\standin.log";
}

}  // namespace

std::wstring modulePath(HMODULE module) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD length = GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return std::wstring();
        if (length < buffer.size()) return std::wstring(buffer.data(), length);
        // A full buffer means the name was cut; retry larger up to the path limit.
        if (buffer.size() >= kMaxPath) return std::wstring();
        buffer.resize(buffer.size() * 4 > kMaxPath ? kMaxPath : buffer.size() * 4);
    }
}

std::wstring parentDirectory(const std::wstring& path) {
    size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring lastComponent(const std::wstring& path) {
    size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::map<std::string, std::string> parseRelease(std::string_view text) {
    std::map<std::string, std::string> values;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line.front() == '#') continue;
        size_t equals = line.find('=');
        if (equals == std::string_view::npos || equals == 0) continue;
        values[std::string(line.substr(0, equals))] = trimQuotes(line.substr(equals + 1));
    }
    return values;
}

std::string RuntimeHome::value(const char* key, const std::string& fallback) const {
    auto found = release.find(key);
    return found == release.end() ? fallback : found->second;
}

RuntimeHome locateRuntime(const std::wstring& binDirectory) {
    RuntimeHome runtime;
    runtime.home = parentDirectory(binDirectory);
    runtime.root = runtime.home;
    std::wstring releasePath = runtime.home + L"\\release";
    // A JDK that contains a JRE keeps its release file at the JDK's top, above `jre`; the
    // JRE's programs belong to that same runtime and share its settings and record file.
    if (!fileExists(releasePath) && equalsIgnoringCase(lastComponent(runtime.home), L"jre")) {
        std::wstring above = parentDirectory(runtime.home);
        if (!above.empty() && fileExists(above + L"\\release")) {
            runtime.root = above;
            releasePath = above + L"\\release";
        }
    }
    std::string text;
    // A release file is a handful of lines; anything near this size is not one.
    if (readWholeFile(releasePath, text, 1 << 20)) {
        runtime.hasRelease = true;
        runtime.release = parseRelease(text);
    }
    return runtime;
}

Record::Record(const char* kind) : line_(escapeField(kind)) {
    addNumber("pid", static_cast<long long>(GetCurrentProcessId()));
}

Record& Record::add(std::string_view key, std::string_view utf8Value) {
    line_ += '\t';
    line_ += escapeField(key);
    line_ += '=';
    line_ += escapeField(utf8Value);
    return *this;
}

Record& Record::add(std::string_view key, const std::wstring& value) { return add(key, toUtf8(value)); }

Record& Record::addNumber(std::string_view key, long long value) { return add(key, std::to_string(value)); }

Record& Record::addHex(std::string_view key, unsigned long value) {
    char text[16];
    snprintf(text, sizeof text, "0x%08lx", value);
    return add(key, text);
}

bool appendRecord(const RuntimeHome& runtime, const Record& record) {
    return appendRecordTo(recordFilePath(runtime), record);
}

bool appendRecordTo(const std::wstring& path, const Record& record) {
    // Append-only access makes every write land at the current end of the file, so records
    // of processes that write at the same time never overwrite each other.
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    std::string line = record.line() + "\n";
    DWORD written = 0;
    bool ok =
        WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) && written == line.size();
    CloseHandle(file);
    return ok;
}

std::string escapeField(std::string_view utf8) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(utf8.size());
    for (char c : utf8) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (byte == '%' || byte < 0x20 || byte == 0x7F) {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

std::string toUtf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (size <= 0) return std::string();
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

std::string codePageToUtf8(const char* text, UINT codePage) {
    if (text == nullptr || *text == 0) return std::string();
    int size = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
    if (size <= 1) return std::string();
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(codePage, 0, text, -1, wide.data(), size);
    wide.resize(static_cast<size_t>(size - 1));
    return toUtf8(wide);
}

bool readWholeFile(const std::wstring& path, std::string& out, size_t limit) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size = {};
    bool ok =
        GetFileSizeEx(file, &size) && size.QuadPart >= 0 && static_cast<unsigned long long>(size.QuadPart) <= limit;
    if (ok) {
        out.assign(static_cast<size_t>(size.QuadPart), '\0');
        size_t done = 0;
        while (ok && done < out.size()) {
            DWORD chunk = 0;
            DWORD want = static_cast<DWORD>(out.size() - done > (1u << 30) ? (1u << 30) : out.size() - done);
            ok = ReadFile(file, out.data() + done, want, &chunk, nullptr) && chunk > 0;
            done += chunk;
        }
    }
    CloseHandle(file);
    return ok;
}

bool writeStandardError(std::string_view bytes) {
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    if (error == nullptr || error == INVALID_HANDLE_VALUE) return false;
    while (!bytes.empty()) {
        DWORD written = 0;
        if (!WriteFile(error, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) || written == 0)
            return false;
        bytes.remove_prefix(written);
    }
    return true;
}

bool environmentValue(const wchar_t* name, std::wstring& value) {
    // An empty variable still reports a size of 1 (its terminator); 0 means it is not set.
    DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) return false;
    std::vector<wchar_t> buffer(size);
    DWORD length = GetEnvironmentVariableW(name, buffer.data(), size);
    if (length >= size) return false;  // changed in between; treat as unreadable
    value.assign(buffer.data(), length);
    return true;
}

}  // namespace standin
