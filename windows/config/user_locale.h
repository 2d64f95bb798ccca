// The user's UI language, as a Java-style locale name ("de_DE", "pt_BR", "en").
#pragma once

#include <cstddef>
#include <string>

// Chooses the locale from the Windows UI language, records the user's language and country
// from it and returns the name that the data block's locale sections are matched against.
std::string chooseUserLocale();

// Writes the locale name of the Windows UI language into `name` (`size` bytes, always
// terminated; "en" when the language is not in the table) and logs the choice.
void selectLocale(char* name, size_t size);

// Records the user's language (the first two characters of `name`) and country (characters
// four and five, only when `name` is exactly five characters long, as in "de_DE").
void setUserLocale(const char* name);

// Copy the recorded language or country into `buffer` (`size` bytes) and return true, or
// return false when there is none (or the buffer cannot hold it).
bool getUserLanguage(char* buffer, size_t size);
bool getUserCountry(char* buffer, size_t size);
