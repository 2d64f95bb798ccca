// The user's UI language, as a Java-style locale name ("de_DE", "pt_BR", "en").
#pragma once

#include <string>

// Chooses the locale from the Windows UI language, records the user's language and country
// from it and returns the name that the data block's locale sections are matched against.
std::string chooseUserLocale();
