// The working directory the application is started in (setting 146).
#pragma once

// Changes the current directory to setting 146, placeholders expanded and resolved against
// the launcher directory; leaves it unchanged when the setting is empty. A directory that
// cannot be entered is ignored.
void applyConfiguredWorkingDirectory();
