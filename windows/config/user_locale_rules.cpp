#include "config/user_locale.h"

#include "core/text_format.h"

#include <cstring>

namespace {

// The user's language and country, two letters each, empty for none. Written once by
// setUserLocale on the main thread while the configuration is read (and by tests); read
// later by the JVM option assembly.
char userLanguage[3];
char userCountry[3];

void copyTwo(char* out, const char* from) {
    out[0] = from[0];
    out[1] = from[1];
    out[2] = 0;
}

bool copyRecorded(const char* value, char* buffer, size_t size) {
    if (value[0] == 0 || size <= strlen(value)) return false;
    return copyBounded(buffer, size, value);
}

}  // namespace

void setUserLocale(const char* name) {
    userLanguage[0] = 0;
    userCountry[0] = 0;
    if (name == nullptr) return;
    size_t length = strlen(name);
    // A name shorter than two characters cannot come from the table; it records nothing
    // rather than half a language code.
    if (length >= 2) copyTwo(userLanguage, name);
    if (length == 5) copyTwo(userCountry, name + 3);
}

bool getUserLanguage(char* buffer, size_t size) { return copyRecorded(userLanguage, buffer, size); }

bool getUserCountry(char* buffer, size_t size) { return copyRecorded(userCountry, buffer, size); }
