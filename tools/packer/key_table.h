// The one list of every configuration id the launcher reads, with the readable TOML name a
// configuration file uses for it. The TOML reader, the inspect writer and the generated
// reference all take their names, types and descriptions from here, so they cannot disagree.
#pragma once

#include "config/config_ids.h"

#include <climits>
#include <string>
#include <vector>

enum class ValueType {
    Text,            // 8-bit setting, characters up to U+00FF
    Integer,         // setting stored as decimal text
    Boolean,         // setting stored as "1" (true) or "0" (false)
    Version,         // setting holding a Java version text
    List,            // setting holding entries joined by a separator
    Message,         // localizable text in the messages map (UTF-16)
    VersionOptions,  // the count setting of the version-specific option entries
    Derived,         // written by the packer from [[files]]
    Image,           // [executable]: a string written into the launcher's image, not the block
    ImageFlag,       // [executable]: a boolean written into the launcher's image
};

// What each entry of a list, or a non-empty text value, must look like.
enum class EntryCheck {
    None,
    ClassPath,       // type letter A, D, E or S, required flag 0 or 1, then the name
    SearchSequence,  // type letter A, B, R, E, S or Y, then the value
    ServiceAccount,  // LocalSystem, LocalService, NetworkService, .\name or DOMAIN\name
    VariableName,    // the name of an environment variable: no "="
    CommandName,     // a default command: "run" or "none"
};

struct KeyRow {
    int id;
    const char* table;
    const char* key;
    ValueType type;
    char separator;  // lists only
    EntryCheck entries;
    const char* description;
    // The range of an integer; values outside it are refused.
    long long minimum = INT_MIN;
    long long maximum = INT_MAX;
};

struct TableRow {
    const char* name;
    const char* description;
};

// Every row, in the order of the reference and of inspect's output.
const std::vector<KeyRow>& keyTable();
// The tables holding settings or messages, in output order.
const std::vector<TableRow>& tableList();

// Whether the row describes the launcher's image rather than a setting or message id.
constexpr bool isImageRow(const KeyRow& row) {
    return row.type == ValueType::Image || row.type == ValueType::ImageFlag;
}

// The row for a setting id (`message` false) or a message id (`message` true); null if none.
const KeyRow* findKeyById(int id, bool message);
// The row named `key` in `table`; null if none. Derived rows are never found by name.
const KeyRow* findKeyByName(const std::string& table, const std::string& key);

// Settings 10201 + 2k and 10202 + 2k: condition and options of version-specific entry k.
constexpr int kVersionOptionsCount = idNumber(SettingId::VersionOptionsCount);
constexpr int kVersionOptionsFirst = kVersionOptionsFirstId;

// Checks one list entry; on failure `reason` says what is wrong with it.
bool checkListEntry(EntryCheck check, const std::string& entry, std::string& reason);
// A Java version text the launcher can compare: digits in pieces joined by '.', '_', '-', '+'.
bool checkVersionText(const std::string& text, std::string& reason);
// A version-specific condition: "*" and a wildcard pattern, or "<major>-<major>".
bool checkVersionCondition(const std::string& text, std::string& reason);
// The longest value a setting may hold, or 0 for no limit of the launcher's own.
size_t maximumLength(const KeyRow& row);
