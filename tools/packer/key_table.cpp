#include "key_table.h"

#include "jvmsearch/java_version.h"

namespace {

constexpr ValueType T = ValueType::Text;
constexpr ValueType I = ValueType::Integer;
constexpr ValueType B = ValueType::Boolean;
constexpr ValueType V = ValueType::Version;
constexpr ValueType L = ValueType::List;
constexpr ValueType M = ValueType::Message;
constexpr EntryCheck NoCheck = EntryCheck::None;

const std::vector<TableRow> kTables = {
    {"application", "What the launcher starts and how it presents itself."},
    {"launcher_arguments", "The fixed leading arguments after the main class that the Java launcher class receives."},
    {"java", "Which Java runtime is used: version bounds, the search sequence, registry and installation lookups."},
    {"classpath", "The class path the launcher builds."},
    {"modulepath", "The module path and module mode."},
    {"jvm", "Options handed to the JVM and how the JVM library is loaded."},
    {"environment", "Changes the launcher makes to its own environment at start."},
    {"service", "The Windows service the launcher installs and runs as."},
    {"single_instance", "What happens when the application is started a second time."},
    {"splash", "Splash text configuration handed to the Java side after the JVM is created."},
    {"messages", "Texts shown to the user. [messages.<locale>] tables override them for a language."},
};

const std::vector<KeyRow> kKeys = {
    {107, "application", "kind", I, 0, NoCheck,
     "Application kind: 1 a windowed application (javaw.exe, message boxes), 5 message boxes, 4 a service "
     "installed for automatic start; any other value reports errors on the console"},
    {122, "application", "main_class", T, 0, NoCheck,
     "Main class of the application (module/package.Class in module mode)"},
    {124, "application", "arguments", T, 0, NoCheck,
     "Application arguments, one command line (variables expanded), passed before the command-line arguments"},
    {146, "application", "working_directory", T, 0, NoCheck, "Working directory; empty: unchanged"},
    {10003, "application", "root_directory", T, 0, NoCheck, "Application root directory, relative to the launcher directory"},
    {160, "application", "id", T, 0, NoCheck, "Application id: the value name looked up under the installations key"},
    {2001, "application", "generator", T, 0, NoCheck, "Generator kind: first character \"i\" or \"e\""},

    {102, "launcher_arguments", "path1_enabled", B, 0, NoCheck,
     "The third leading argument is path1; otherwise it is empty"},
    {103, "launcher_arguments", "path1", T, 0, NoCheck,
     "Path of the third leading argument: variables expanded, made absolute against the launcher directory unless "
     "it still begins with \"$\""},
    {104, "launcher_arguments", "path2_enabled", B, 0, NoCheck,
     "The fourth leading argument is path2; otherwise it is empty"},
    {105, "launcher_arguments", "path2", T, 0, NoCheck, "Path of the fourth leading argument, treated as path1"},
    {106, "launcher_arguments", "flag", B, 0, NoCheck, "The fifth leading argument: \"true\" or \"false\""},

    {126, "java", "min_version", V, 0, NoCheck, "Lowest accepted Java version; empty: no lower bound"},
    {127, "java", "max_version", V, 0, NoCheck,
     "Highest accepted Java version, compared as a prefix (\"11\" accepts every 11.x); empty: no upper bound"},
    {128, "java", "search_sequence", L, ';', EntryCheck::SearchSequence,
     "Where to look for a runtime, in order; each entry is a type letter and its value: A, B or R and a runtime "
     "home (B is also tried regardless of version when nothing else was found), E and a variable naming a runtime "
     "home, S for java.exe on the PATH, Y for the registry"},
    {130, "java", "allow_prerelease", B, 0, NoCheck, "Early-access, beta and release-candidate runtimes are accepted"},
    {131, "java", "require_jdk", B, 0, NoCheck, "Only a JDK is accepted"},
    {134, "java", "trust_directories", B, 0, NoCheck,
     "A directory of the search sequence is used without a working java.exe or a version match"},
    {152, "java", "jvm_type", T, 0, NoCheck,
     "Subdirectory of the runtime's bin directory whose JVM library is tried first (e.g. \"server\")"},
    {165, "java", "application_runtimes_only", B, 0, NoCheck,
     "Runtimes from the vendor registry keys, and located runtimes outside the application's own runtime folders, "
     "are not used"},
    {167, "java", "sharing_key", T, 0, NoCheck, "Subkey of runtimes shared between applications; empty: not used"},
    {168, "java", "use_located_app_runtimes", B, 0, NoCheck,
     "Located runtimes inside the application's own runtime folders are used"},

    {121, "classpath", "entries", L, ';', EntryCheck::ClassPath,
     "Class path entries: a type letter (A archive, D directory, E environment variable, S all archives of a "
     "directory), a required flag (1 required, 0 optional) and the name, e.g. 'A1lib\\app.jar'"},

    {132, "modulepath", "entries", L, ';', EntryCheck::ClassPath, "Module path entries, written as class path entries"},
    {133, "modulepath", "module_mode", B, 0, NoCheck,
     "Module mode: the main class is started as a module, archives go on the module path"},

    {123, "jvm", "options", T, 0, NoCheck, "JVM options, one command line (variables expanded)"},
    {125, "jvm", "allow_j_arguments", B, 0, NoCheck,
     "Command-line arguments beginning with -J become JVM options (without the -J)"},
    {166, "jvm", "read_vmoptions_file", B, 0, NoCheck, "The VM options file next to the launcher is read"},
    {10200, "jvm", "version_options", ValueType::VersionOptions, 0, NoCheck,
     "Options for particular Java versions: [[jvm.version_options]] tables with versions (\"*\" and a wildcard "
     "pattern such as \"*1.8*\", or a major-version range such as \"11-17\") and options (one command line); "
     "the first entry whose versions match is used"},
    {10004, "jvm", "native_directories", L, ';', NoCheck, "Native library directories, prepended to PATH"},
    {154, "jvm", "add_dll_directories", B, 0, NoCheck, "Directories are also registered with AddDllDirectory"},

    {10010, "environment", "reduce_path", B, 0, NoCheck, "PATH is reduced at start to the entries under the Windows directory"},
    {10012, "environment", "remove_java_options", B, 0, NoCheck, "The Java options environment variables are removed at start"},
    {10009, "environment", "long_temp_paths", B, 0, NoCheck, "The long form of temp directory candidates is preferred"},

    {101, "service", "name", T, 0, NoCheck, "Service name, also the display name at install"},
    {149, "service", "dependencies", L, ',', NoCheck, "Services this service depends on"},

    {10005, "single_instance", "enabled", B, 0, NoCheck,
     "A second start hands over to the running instance and exits; otherwise every instance runs"},
    {10008, "single_instance", "bring_to_front", B, 0, NoCheck, "The running instance's window is brought to the front"},
    {158, "single_instance", "global", B, 0, NoCheck, "The instance is detected across sessions (global namespace)"},

    {108, "splash", "enabled", B, 0, NoCheck, "The splash text configuration is handed to the Java side"},
    {163, "splash", "flag", B, 0, NoCheck, "The second boolean of the splash configuration"},
    {10111, "splash", "text1", T, 0, NoCheck, "Splash text 1"},
    {10109, "splash", "text1_value1", I, 0, NoCheck, "First number of splash text 1"},
    {10110, "splash", "text1_value2", I, 0, NoCheck, "Second number of splash text 1"},
    {10114, "splash", "text2", T, 0, NoCheck, "Splash text 2"},
    {10113, "splash", "text2_value1", I, 0, NoCheck, "First number of splash text 2"},
    {10115, "splash", "text2_value2", I, 0, NoCheck, "Second number of splash text 2"},
    {10118, "splash", "text3", T, 0, NoCheck, "Splash text 3"},
    {10116, "splash", "text3_value1", I, 0, NoCheck, "First number of splash text 3"},
    {10117, "splash", "text3_value2", I, 0, NoCheck, "Second number of splash text 3"},
    {10121, "splash", "text4", T, 0, NoCheck, "Splash text 4"},
    {10120, "splash", "text4_value1", I, 0, NoCheck, "First number of splash text 4"},
    {10122, "splash", "text4_value2", I, 0, NoCheck, "Second number of splash text 4"},

    {1000, "messages", "error_title", M, 0, NoCheck, "Title of error message boxes"},
    {1005, "messages", "registry_runtime_unusable", M, 0, NoCheck,
     "The runtime found in the registry or a previous installation cannot be loaded"},
    {1006, "messages", "classpath_entry_missing", M, 0, NoCheck, "A required class path entry is missing; {0} = the entry"},
    {1008, "messages", "classpath_variable_missing", M, 0, NoCheck,
     "The environment variable of a required class path entry is not set; {0} = its name"},
    {1009, "messages", "extraction_failed", M, 0, NoCheck,
     "Included files cannot be extracted; {0} = 7 (directory), 11 (file not created) or 16 (file not copied)"},
    {1010, "messages", "main_class_not_found", M, 0, NoCheck, "The main class cannot be found"},
    {1011, "messages", "main_method_not_found", M, 0, NoCheck, "The main method cannot be found"},
    {1015, "messages", "no_temp_directory", M, 0, NoCheck, "No usable temporary directory"},
    {1016, "messages", "no_runtime_found", M, 0, NoCheck,
     "No runtime found, or the one on PATH cannot be loaded; {0} = the launcher's bitness"},
    {1017, "messages", "environment_runtime_unusable", M, 0, NoCheck,
     "The runtime named by an environment variable cannot be loaded; {0} = the variable"},
    {1019, "messages", "directory_runtime_unusable", M, 0, NoCheck,
     "The runtime in a configured or preferred directory cannot be loaded; {0} = the directory"},
    {1021, "messages", "unpack_failed", M, 0, NoCheck, "The unpacking process for a packed runtime cannot be started"},
    {20017, "messages", "service_description", M, 0, NoCheck, "Service description; none is set when empty"},

    {2002, "files", "(count)", ValueType::Derived, 0, NoCheck, "Number of included files, from [[files]]"},
    {2003, "files", "(paths)", ValueType::Derived, 0, NoCheck, "Paths of the included files, \";\"-joined, from [[files]]"},
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool allDigits(const std::string& text) {
    if (text.empty()) return false;
    for (char c : text)
        if (!isDigit(c)) return false;
    return true;
}

}  // namespace

const std::vector<KeyRow>& keyTable() { return kKeys; }

const std::vector<TableRow>& tableList() { return kTables; }

const KeyRow* findKeyById(int id, bool message) {
    for (const KeyRow& row : kKeys)
        if (row.id == id && (row.type == ValueType::Message) == message) return &row;
    return nullptr;
}

const KeyRow* findKeyByName(const std::string& table, const std::string& key) {
    for (const KeyRow& row : kKeys)
        if (row.type != ValueType::Derived && table == row.table && key == row.key) return &row;
    return nullptr;
}

bool checkListEntry(EntryCheck check, const std::string& entry, std::string& reason) {
    if (check == EntryCheck::None) return true;
    if (entry.empty()) {
        reason = "an empty entry";
        return false;
    }
    char letter = entry[0];
    if (check == EntryCheck::SearchSequence) {
        if (std::string("ABRESY").find(letter) == std::string::npos) {
            reason = std::string("unknown type letter '") + letter +
                     "' (A, B or R directory, E environment variable, S PATH, Y registry)";
            return false;
        }
        return true;
    }
    if (std::string("ADES").find(letter) == std::string::npos) {
        reason = std::string("unknown type letter '") + letter +
                 "' (A archive, D directory, E environment variable, S archives of a directory)";
        return false;
    }
    if (entry.size() < 2 || (entry[1] != '0' && entry[1] != '1')) {
        reason = "the type letter must be followed by 1 (required) or 0 (optional)";
        return false;
    }
    if (entry.size() < 3) {
        reason = "the entry names nothing after its type letter and required flag";
        return false;
    }
    return true;
}

bool checkVersionText(const std::string& text, std::string& reason) {
    reason = "is not a version: digits in pieces joined by '.', '_', '-' or '+', e.g. \"1.8.0_201\" or \"17\"";
    if (text.empty() || !isDigit(text.front()) || !isDigit(text.back())) return false;
    size_t run = 0;
    for (char c : text) {
        bool separator = c == '.' || c == '_' || c == '-' || c == '+';
        if (!separator && !isDigit(c)) return false;
        run = separator ? 0 : run + 1;
        if (run > 9) {
            reason = "has a number too large for a version";
            return false;
        }
    }
    // The launcher reads bounds with the same parser; a text that gives no number would be
    // no bound at all.
    return !parseVersion(text).empty();
}

bool checkVersionCondition(const std::string& text, std::string& reason) {
    if (!text.empty() && text[0] == '*') return true;
    size_t dash = text.find('-');
    if (dash != std::string::npos && allDigits(text.substr(0, dash)) && allDigits(text.substr(dash + 1))) return true;
    reason = "must be \"*\" and a pattern (\"*1.8*\") or a range of major versions (\"11-17\")";
    return false;
}

size_t maximumLength(const KeyRow& row) {
    // The preferred JVM type is copied into a 200-byte buffer by the launcher.
    return row.id == 152 ? 199 : 0;
}
