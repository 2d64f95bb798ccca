// The configuration reference, generated from the key table; docs/configuration.md is this
// text, and a unit test keeps the two equal.
#pragma once

#include <string>

std::string configurationReference();

// The complete example configuration shown in the reference. It names one included file,
// "lib/native-helper.dll" next to the configuration file.
const char* exampleConfiguration();
