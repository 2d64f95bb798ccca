// The launcher's own file path.
#pragma once

// The long wide form: the module file name expanded with GetLongPathNameW (unchanged when
// that fails), doubled backslashes collapsed. Computed once.
const wchar_t* getLauncherPathWide();
