// The words of the packer's configuration language beyond the key names of key_table.cpp:
// named values where the block holds codes, the table form of class-path, module-path and
// search-sequence entries, older key names, the Java user's version numbers, suggestions for
// mistyped names and the values the launcher uses for absent settings. The block a
// configuration gives is the same whichever form it is written in; inspect prints the named
// form wherever one gives the stored bytes back exactly.
#pragma once

#include "key_table.h"

#include <string>
#include <vector>

// --- Application kinds -------------------------------------------------------------------

struct NamedKind {
    const char* name;
    int value;
    const char* meaning;
};

const std::vector<NamedKind>& applicationKinds();
// The kind called `name`; false when no kind has that name.
bool kindByName(const std::string& name, int& value);
// The name of `value`, or null when the value has none.
const char* kindName(int value);
// "console, gui, ..." for messages.
std::string kindNames();

// --- List entries as tables --------------------------------------------------------------

// One way of writing an entry as a table: `{ <key> = "<value>" }` for a text value, or
// `{ <key> = true }` for an entry whose letter stands alone. Class-path and module-path
// entries also take `required = true` (absent: false).
struct EntryForm {
    EntryCheck list;  // ClassPath (also the module path) or SearchSequence
    char letter;
    const char* key;
    bool flagOnly;  // the value is `true`, the entry is the letter alone
    const char* meaning;
};

const std::vector<EntryForm>& entryForms();
// The form of `list` written with `key`; null if none.
const EntryForm* findEntryForm(EntryCheck list, const std::string& key);
// The form of `list` for `letter`; null if none.
const EntryForm* findEntryFormByLetter(EntryCheck list, char letter);
// Whether `list` entries have a table form at all.
bool hasEntryForms(EntryCheck list);
// The inline table for a stored entry, or "" when the entry has no table form that gives
// it back byte for byte (it is then printed in the letter form).
std::string entryAsTable(EntryCheck list, const std::string& entry);

// --- Older key names ---------------------------------------------------------------------

struct KeyAlias {
    const char* table;
    const char* oldKey;
    const char* key;
};

const std::vector<KeyAlias>& keyAliases();
// The row an older name stands for; null if `key` is no older name in `table`.
const KeyRow* findKeyByAlias(const std::string& table, const std::string& key);
// The older name of `row`, or null.
const char* aliasOf(const KeyRow& row);

// --- Versions ----------------------------------------------------------------------------

// Java 5 to 8 call themselves 1.5 to 1.8 in their version texts; a bound written "8" or
// "8.0_201" is given that form so that it means what a Java user means. Other texts stay.
std::string javaUsersVersion(const std::string& text);
// Whether no version can pass both bounds (both valid version texts, neither empty): the
// minimum is above the maximum on the maximum's components, which is how far the launcher
// compares the maximum.
bool minimumAboveMaximum(const std::string& minimum, const std::string& maximum);

// --- Suggestions -------------------------------------------------------------------------

// Edit distance in which swapping two neighbouring characters counts as one edit; letters
// are compared without case.
size_t editDistance(const std::string& a, const std::string& b);
// The name among `candidates` that `written` most likely misspells, or "" when none is near.
std::string nearestName(const std::string& written, const std::vector<std::string>& candidates);
// " (did you mean ...?)" for an unknown key of a setting table or "messages": a near name of
// the same table, or the same or a near name in another table ("[java] min_version"); "" when
// nothing fits.
std::string keySuggestion(const std::string& table, const std::string& key);
// " (did you mean [name]?)" for an unknown table, or "".
std::string tableSuggestion(const std::string& table);

// --- Defaults ----------------------------------------------------------------------------

// What the launcher does when the setting of `row` is absent, as the TOML value that means
// the same ("false", "0", "\"console\"", "10485760") or, where no value says it, a
// parenthesised description ("(the service name)").
std::string defaultValueText(const KeyRow& row);
