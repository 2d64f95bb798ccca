// Shared pieces of the stand-in Java runtime used by the Wine tests: where a program or
// library of the stand-in sits inside its runtime home, the `release` file that configures
// it, and the record file to which every start and every library call is appended so that
// a test can see what the launcher did with the runtime.
//
// Record file format (UTF-8, one record per line, '\n' ends a line):
//   <kind> TAB <key>=<value> TAB <key>=<value> ...
// Keys and values are escaped: '%', TAB, line breaks and the other control characters are
// written as %XX (two upper-case hexadecimal digits of the byte), so a value can hold any
// text and the Python side restores it with percent-decoding.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <string_view>

namespace standin {

// Full path of a loaded module (nullptr: the executable of the process); empty on failure.
std::wstring modulePath(HMODULE module);

// The path without its last backslash and what follows; empty when there is no backslash.
std::wstring parentDirectory(const std::wstring& path);

// The part after the last backslash.
std::wstring lastComponent(const std::wstring& path);

// Key/value lines of a `release` file: KEY=VALUE or KEY="VALUE"; blank lines, lines
// starting with '#' and lines without '=' are skipped, a '\r' before the line break is
// dropped, and a later line with the same key wins.
std::map<std::string, std::string> parseRelease(std::string_view text);

// One runtime home, found from the bin directory that holds a program or library.
struct RuntimeHome {
    std::wstring home;  // the parent of the bin directory
    std::wstring root;  // where `release` was found: the home, or for a JDK's `jre` home
                        // the JDK above it; equal to `home` when there is no release file
    bool hasRelease = false;
    std::map<std::string, std::string> release;

    // The value of a release key, or `fallback` when the key is absent.
    std::string value(const char* key, const std::string& fallback = std::string()) const;
    bool has(const char* key) const { return release.count(key) != 0; }
};

RuntimeHome locateRuntime(const std::wstring& binDirectory);

// A record under construction. The process id is always its first field.
class Record {
public:
    explicit Record(const char* kind);
    Record& add(std::string_view key, std::string_view utf8Value);
    Record& add(std::string_view key, const std::wstring& value);
    Record& addNumber(std::string_view key, long long value);
    Record& addHex(std::string_view key, unsigned long value);
    const std::string& line() const { return line_; }

private:
    std::string line_;
};

// Appends the record as one write to the file named by the environment variable
// STANDIN_RECORD, or else to "standin.log" in the runtime's root. Returns false when the
// file could not be opened or written.
bool appendRecord(const RuntimeHome& runtime, const Record& record);

// Appends the record to the named file, in the same way.
bool appendRecordTo(const std::wstring& path, const Record& record);

// Percent-escapes '%' and every byte below 0x20 and 0x7F.
std::string escapeField(std::string_view utf8);

std::string toUtf8(const std::wstring& text);
// Converts 8-bit text of the given code page to UTF-8 (through UTF-16).
std::string codePageToUtf8(const char* text, UINT codePage);

// Reads a whole file of at most `limit` bytes; false when it is missing, unreadable or larger.
bool readWholeFile(const std::wstring& path, std::string& out, size_t limit);

// Writes bytes to the process's standard error handle as they are; false when there is no
// such handle or the write fails.
bool writeStandardError(std::string_view bytes);

// The value of an environment variable; false when it is not set.
bool environmentValue(const wchar_t* name, std::wstring& value);

}  // namespace standin
