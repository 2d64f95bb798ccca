// Launcher placeholders and environment variables in configured texts, replaced in place
// and in a fixed order. The engine here takes every value as an argument; expansion_win.cpp
// gathers them from the process (launcher directory, extraction directory, selected runtime,
// temp directory, environment block) and is what the rest of the launcher calls.
#pragma once

#include "core/capacities.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// Replaces every occurrence of `placeholder` in the terminated text held in `text`, a buffer
// of `capacity` characters. An inserted value is not searched again for the same
// placeholder. Each replacement is logged as "expanding2 ...". When a replacement would not
// fit, the text is cut at capacity - 1 characters (always terminated), an error is logged,
// no further occurrence is replaced and false is returned.
bool replaceAll(wchar_t* text, size_t capacity, const wchar_t* placeholder, const wchar_t* value);
// The value is 8-bit and is widened (as "%S" widens) while it is inserted.
bool replaceAll(wchar_t* text, size_t capacity, const wchar_t* placeholder, const char* value);
bool replaceAll(char* text, size_t capacity, const char* placeholder, const char* value);

// The values the wide expansion inserts. The extraction directory and the runtime home are
// 8-bit texts everywhere else; the caller widens them through the code page they are written
// in (bytes of 0x80 and above are not the characters of the same value in most code pages).
//
// The temp directory is asked for only when the text holds its placeholder once the steps
// before it have run (an earlier step may have inserted it): choosing the temp directory
// probes the disk, and most texts never name it. An absent provider counts as empty.
struct WideExpansionValues {
    std::wstring launcherDirectory;
    std::wstring extractionDirectory;
    std::wstring jvmHome;
    std::function<std::wstring()> tempDirectory;
    std::vector<std::wstring> environment;  // "NAME=value" entries in block order
};

struct NarrowExpansionValues {
    std::string launcherDirectory;
    std::string extractionDirectory;
    std::string jvmHome;
    std::function<std::string()> tempDirectory;
    std::vector<std::string> environment;
};

// All fourteen steps over `text` (a buffer of `capacity` characters). Returns false when a
// replacement had to be cut at the capacity; the steps after the cut are not run.
bool expandWithValues(wchar_t* text, size_t capacity, const WideExpansionValues& values);
bool expandWithValues(char* text, size_t capacity, const NarrowExpansionValues& values);

// Longest placeholder "${NAME}" built for an environment variable, terminator included;
// a variable with a longer name is not offered for replacement.
constexpr size_t kPlaceholderCapacity = kPathCapacity;

// The entries of an environment block (terminated strings, ended by an empty one) in
// block order.
std::vector<std::wstring> environmentEntries(const wchar_t* block);
std::vector<std::string> environmentEntries(const char* block);
