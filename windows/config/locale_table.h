// The fixed table that turns a Windows language id (LANGID) into the Java-style locale name
// the launcher matches its message translations against ("de_DE", "pt_BR", "en").
#pragma once

#include <cstddef>
#include <cstdint>

struct LocaleEntry {
    uint16_t languageId;
    const char* name;
};

// The table in lookup order: rows keyed by a primary language id alone (below 0x100), then
// rows keyed by full LANGIDs. The names keep Java's older conventions ("iw", "in").
extern const LocaleEntry localeTable[];
extern const size_t localeTableSize;

// The locale name for `languageId`: the first row with exactly that id, else the first row
// of its primary language (the low ten bits), else "en". Never null.
const char* localeNameForLanguage(uint16_t languageId);
