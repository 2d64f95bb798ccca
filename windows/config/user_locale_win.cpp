#include "config/user_locale.h"

#include "config/locale_table.h"
#include "core/handles.h"
#include "core/log.h"
#include "core/text_format.h"

namespace {

using UiLanguageFunction = LANGID(WINAPI*)();

// The UI language where the system has GetUserDefaultUILanguage; systems older than
// Windows 2000 lack it, and then the language of the user's default locale stands.
LANGID userLanguageId() {
    LANGID language = LANGIDFROMLCID(GetUserDefaultLCID());
    ModuleHandle kernel(LoadLibraryA("Kernel32.DLL"));
    if (!kernel.valid()) return language;
    auto uiLanguage = reinterpret_cast<UiLanguageFunction>(
        reinterpret_cast<void*>(GetProcAddress(kernel.get(), "GetUserDefaultUILanguage")));
    if (uiLanguage != nullptr) language = uiLanguage();
    return language;
}

}  // namespace

void selectLocale(char* name, size_t size) {
    if (size == 0) return;
    copyBounded(name, size, localeNameForLanguage(userLanguageId()));
    logLine(L"language/country is %S", name);
}

std::string chooseUserLocale() {
    char name[16];
    selectLocale(name, sizeof name);
    setUserLocale(name);
    return name;
}
