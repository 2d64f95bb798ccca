// Expansion of launcher placeholders and environment variables in a configured text, with
// the values of this process. See expand_variables_rules.h for the order and the capacity rule.
#pragma once

#include <cstddef>

// Rewrites the wide `text` (a buffer of `capacity` characters) in place. `narrowForms`
// takes the launcher and temp directories from their 8-bit forms, widened, for texts that
// later become 8-bit JVM options. The temp directory is chosen only for a text that names it;
// when none can be found then, the process ends (message 1015). Returns false when the
// result had to be cut at the capacity.
bool expandVariables(wchar_t* text, size_t capacity, bool narrowForms);

// The same over an 8-bit text, with the 8-bit forms of every value.
bool expandVariablesNarrow(char* text, size_t capacity);
