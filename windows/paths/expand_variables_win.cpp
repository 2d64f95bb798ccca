#include "paths/expand_variables.h"

#include "config/extraction.h"
#include "core/capacities.h"
#include "core/platform.h"
#include "core/text_format.h"
#include "paths/expand_variables_rules.h"
#include "paths/launcher_path.h"
#include "paths/path_helpers.h"
#include "paths/selected_java.h"
#include "paths/temp_directory.h"

namespace {

constexpr size_t kTempCapacity = kPathCapacity;

// The block is read afresh for every expansion, so a variable set by an earlier stage of the
// start-up is seen.
std::vector<std::wstring> wideEnvironment() {
    wchar_t* block = GetEnvironmentStringsW();
    std::vector<std::wstring> entries = environmentEntries(block);
    if (block != nullptr) FreeEnvironmentStringsW(block);
    return entries;
}

// The 8-bit block. <windows.h> maps the plain name to the wide function in Unicode builds;
// the 8-bit export itself carries the plain name.
std::vector<std::string> narrowEnvironment() {
#pragma push_macro("GetEnvironmentStrings")
#undef GetEnvironmentStrings
    char* block = GetEnvironmentStrings();
#pragma pop_macro("GetEnvironmentStrings")
    std::vector<std::string> entries = environmentEntries(block);
    if (block != nullptr) FreeEnvironmentStringsA(block);
    return entries;
}

}  // namespace

bool expandVariables(wchar_t* text, size_t capacity, bool narrowForms) {
    WideExpansionValues values;
    if (narrowForms) {
        values.tempDirectory = [] {
            char temp[kTempCapacity];
            getTempDirectory(temp, sizeof temp);
            return fromMultiByte(temp);
        };
        values.launcherDirectory = getLauncherDirectoryFromNarrow();
    } else {
        values.tempDirectory = [] {
            wchar_t temp[kTempCapacity];
            getTempDirectoryWide(temp, kTempCapacity, true);
            return std::wstring(temp);
        };
        values.launcherDirectory = getLauncherDirectoryWide();
    }
    // The 8-bit values are in the file-system code page, like every 8-bit path.
    values.extractionDirectory = fromMultiByte(extractionDirectory);
    values.jvmHome = fromMultiByte(jvmHome);
    values.environment = wideEnvironment();
    return expandWithValues(text, capacity, values);
}

bool expandVariablesNarrow(char* text, size_t capacity) {
    NarrowExpansionValues values;
    values.tempDirectory = [] {
        char temp[kTempCapacity];
        getTempDirectory(temp, sizeof temp);
        return std::string(temp);
    };
    values.launcherDirectory = getLauncherDirectory();
    values.extractionDirectory = extractionDirectory;
    values.jvmHome = jvmHome;
    values.environment = narrowEnvironment();
    return expandWithValues(text, capacity, values);
}
