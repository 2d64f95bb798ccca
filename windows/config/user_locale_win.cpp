#include "config/user_locale.h"

// Messages are not localized in this build yet: every run uses the base messages.
std::string chooseUserLocale() { return "en"; }
