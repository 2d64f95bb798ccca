#include "config/config_store.h"

#include "core/capacities.h"
#include "core/log.h"
#include "core/text_format.h"

#include <climits>
#include <cstring>

ConfigStore configStore;

namespace {

const std::string* findSetting(int id) {
    auto it = configStore.settings.find(id);
    return it == configStore.settings.end() ? nullptr : &it->second;
}

// Copies `value` into a wide buffer, cutting at size - 1 characters; the cut is logged with
// the same wording as for 8-bit settings so every truncation shows up in the log alike.
void copyWideCut(int id, const std::wstring& value, wchar_t* buffer, size_t size) {
    if (size == 0) return;
    if (value.size() > size - 1)
        logLine(L"ERROR: config string %d truncated (%d %d)", id, static_cast<int>(size),
                static_cast<int>(value.size()));
    copyBounded(buffer, size, value.c_str());
}

// Setting `id` widened; by number, since getMessage falls back to the setting that shares its
// message's number, which need not have a setting name of its own.
void copySettingWide(int id, wchar_t* buffer, size_t size) {
    const std::string* value = findSetting(id);
    copyWideCut(id, value == nullptr ? std::wstring() : widenBytes(value->c_str()), buffer, size);
}

}  // namespace

void getSetting(SettingId id, char* buffer, size_t size) {
    if (size == 0) return;
    const std::string* value = findSetting(idNumber(id));
    if (value == nullptr) {
        buffer[0] = 0;
        return;
    }
    size_t length = strlen(value->c_str());
    if (length > size - 1)
        logLine(L"ERROR: config string %d truncated (%d %d)", idNumber(id), static_cast<int>(size),
                static_cast<int>(length));
    copyBounded(buffer, size, value->c_str());
}

void getSettingWide(SettingId id, wchar_t* buffer, size_t size) { copySettingWide(idNumber(id), buffer, size); }

std::string getSettingCopy(SettingId id) {
    const std::string* value = findSetting(idNumber(id));
    return value == nullptr ? std::string() : std::string(value->c_str());
}

int parseLeadingInt(const char* text) {
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    long long value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT_MAX) value = INT_MAX;
    return static_cast<int>(value);
}

int getSettingInt(SettingId id) {
    char buffer[kPathCapacity];
    getSetting(id, buffer, sizeof buffer);
    return parseLeadingInt(buffer);
}

void getMessageOnly(MessageId id, wchar_t* buffer, size_t size) {
    auto it = configStore.messages.find(idNumber(id));
    copyWideCut(idNumber(id), it == configStore.messages.end() ? std::wstring() : std::wstring(it->second.c_str()),
                buffer, size);
}

void getMessage(MessageId id, wchar_t* buffer, size_t size) {
    if (size == 0) return;
    getMessageOnly(id, buffer, size);
    if (buffer[0] == 0) copySettingWide(idNumber(id), buffer, size);
}
