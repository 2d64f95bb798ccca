// The configuration store: every setting (8-bit text) and message (wide text) the packager
// wrote into the launcher's data block, keyed by id. Filled once by readConfiguration on the
// main thread before any other thread starts; read-only afterwards, read without a lock.
#pragma once

#include "config/config_ids.h"

#include <cstddef>
#include <map>
#include <string>

struct ConfigStore {
    std::map<int, std::string> settings;
    std::map<int, std::wstring> messages;
};

// The process-wide store. Written only by readConfiguration (and by tests).
extern ConfigStore configStore;

// Copies setting `id` into `buffer` of `size` bytes, always terminated; an absent setting
// reads as empty. A longer value is cut to size - 1 bytes and the cut is logged.
void getSetting(SettingId id, char* buffer, size_t size);

// Setting `id` widened as the "%S" conversion does. A value longer than size - 1 characters
// is cut there (and the cut logged) rather than written past the buffer.
void getSettingWide(SettingId id, wchar_t* buffer, size_t size);

// A heap copy of setting `id` (empty when absent).
std::string getSettingCopy(SettingId id);

// The setting read as the C runtime's atoi reads it: leading white space, optional sign,
// decimal digits up to the first non-digit; 0 when absent or not numeric.
int getSettingInt(SettingId id);

// Copies message `id` into `buffer` of `size` characters (cut at size - 1 and logged when
// longer); empty when absent. Does not look at the settings.
void getMessageOnly(MessageId id, wchar_t* buffer, size_t size);

// getMessageOnly, falling back to the setting of the same number when the message is absent or
// empty, so a text may be given either as a localized message or as a plain setting.
void getMessage(MessageId id, wchar_t* buffer, size_t size);

// The runtime library's atoi, without its undefined behaviour on overflow: values beyond
// the int range saturate.
int parseLeadingInt(const char* text);
