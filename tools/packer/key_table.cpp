#include "key_table.h"

#include "config/config_ids.h"
#include "jvmsearch/java_version.h"
#include "service/service_commands_rules.h"

#include <iterator>

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
    {"service.recovery", "What the service manager does when the service fails."},
    {"single_instance", "What happens when the application is started a second time."},
    {"splash", "Splash text configuration handed to the Java side after the JVM is created."},
    {"messages", "Texts shown to the user. [messages.<locale>] tables override them for a language."},
    {"executable",
     "The packed launcher's own image, not the block: icon, version information, manifest choices and "
     "subsystem. Absent keys leave the prebuilt launcher's resources as they are; any version key "
     "replaces its version information as a whole."},
};

constexpr KeyRow kKeyRows[] = {
    {idNumber(SettingId::ApplicationKind), "application", "kind", I, 0, NoCheck,
     "Application kind, by name: \"console\" (0: java.exe, errors on the console), \"gui\" (1: a windowed "
     "application, javaw.exe, errors in message boxes), \"auto_start_service\" (4: as console, and /install "
     "registers the service for automatic start), \"console_with_message_boxes\" (5: java.exe, errors in message "
     "boxes); or the number, where any other value reports errors on the console"},
    {idNumber(SettingId::MainClass), "application", "main_class", T, 0, NoCheck,
     "Main class of the application (module/package.Class in module mode)"},
    {idNumber(SettingId::ApplicationArguments), "application", "arguments", T, 0, NoCheck,
     "Application arguments, one command line (variables expanded), passed before the command-line arguments"},
    {idNumber(SettingId::WorkingDirectory), "application", "working_directory", T, 0, NoCheck,
     "Working directory; empty: unchanged"},
    {idNumber(SettingId::RootDirectory), "application", "root_directory", T, 0, NoCheck,
     "Application root directory, relative to the launcher directory"},
    {idNumber(SettingId::ApplicationId), "application", "id", T, 0, NoCheck,
     "Application id: the value name looked up under the installations key"},
    {idNumber(SettingId::Generator), "application", "generator", T, 0, NoCheck,
     "Generator kind: first character \"i\" or \"e\""},
    {idNumber(SettingId::DefaultCommand), "application", "default_command", T, 0, EntryCheck::CommandName,
     "What the launcher does when started without a command word (a double-click) outside the service manager: "
     "\"run\" runs the application as /run does, with the arguments given; \"none\": it exits with 0. Absent: "
     "\"run\" when [executable] subsystem is \"gui\", else \"none\""},

    {idNumber(SettingId::FirstPathEnabled), "launcher_arguments", "stderr_file_enabled", B, 0, NoCheck,
     "The Java side writes standard error to stderr_file (the third leading argument); otherwise that argument is "
     "empty. Also accepted as path1_enabled"},
    {idNumber(SettingId::FirstPath), "launcher_arguments", "stderr_file", T, 0, NoCheck,
     "File for standard error: variables expanded, made absolute against the launcher directory unless it still "
     "begins with \"$\". Also accepted as path1"},
    {idNumber(SettingId::SecondPathEnabled), "launcher_arguments", "stdout_file_enabled", B, 0, NoCheck,
     "The Java side writes standard output to stdout_file (the fourth leading argument); otherwise that argument "
     "is empty. Also accepted as path2_enabled"},
    {idNumber(SettingId::SecondPath), "launcher_arguments", "stdout_file", T, 0, NoCheck,
     "File for standard output, treated as stderr_file. Also accepted as path2"},
    {idNumber(SettingId::LeadingFlag), "launcher_arguments", "append_output", B, 0, NoCheck,
     "The two files are appended to rather than replaced (the fifth leading argument, \"true\" or \"false\"). "
     "Also accepted as flag"},

    {idNumber(SettingId::MinVersion), "java", "min_version", V, 0, NoCheck,
     "Lowest accepted Java version; empty: no lower bound. \"8\" means 1.8, as do 5 to 7 for 1.5 to 1.7, and a "
     "minimum above max_version is refused. A bundled runtime (a B entry, or a relative A or R entry) is still used "
     "below it when no other runtime is found"},
    {idNumber(SettingId::MaxVersion), "java", "max_version", V, 0, NoCheck,
     "Highest accepted Java version, compared as a prefix (\"11\" accepts every 11.x, \"8\" every 1.8.x); empty: no "
     "upper bound"},
    {idNumber(SettingId::SearchSequence), "java", "search_sequence", L, ';', EntryCheck::SearchSequence,
     "Where to look for a runtime, in order. Each entry is a table: { home = 'C:\\jdk' } (a runtime home, tried "
     "again whatever its version when nothing else was found, if relative), { bundled = 'jre' } (a runtime home "
     "tried again whatever its version when nothing else was found), { runtime = 'jre' } (handled as home), "
     "{ env = \"JAVA_HOME\" } (a variable naming a runtime home), { java_on_path = true }, { registry = true }; or "
     "the letter form: a type letter A (home), B (bundled), R (runtime), E (env), S (java_on_path) or Y (registry) "
     "and the value"},
    {idNumber(SettingId::AllowPrerelease), "java", "allow_prerelease", B, 0, NoCheck,
     "Early-access, beta and release-candidate runtimes are accepted"},
    {idNumber(SettingId::RequireJdk), "java", "require_jdk", B, 0, NoCheck, "Only a JDK is accepted"},
    {idNumber(SettingId::TrustDirectories), "java", "trust_directories", B, 0, NoCheck,
     "A directory of the search sequence is used without a working java.exe or a version match"},
    {idNumber(SettingId::JvmType), "java", "jvm_type", T, 0, NoCheck,
     "Subdirectory of the runtime's bin directory whose JVM library is tried first (e.g. \"server\")"},
    {idNumber(SettingId::ApplicationRuntimesOnly), "java", "application_runtimes_only", B, 0, NoCheck,
     "Runtimes from the vendor registry keys, and located runtimes outside the application's own runtime folders, "
     "are not used"},
    {idNumber(SettingId::SharingKey), "java", "sharing_key", T, 0, NoCheck,
     "Subkey of runtimes shared between applications; empty: not used"},
    {idNumber(SettingId::UseLocatedAppRuntimes), "java", "use_located_app_runtimes", B, 0, NoCheck,
     "Located runtimes inside the application's own runtime folders are used"},

    {idNumber(SettingId::ClassPath), "classpath", "entries", L, ';', EntryCheck::ClassPath,
     "Class path entries. Each entry is a table: { archive = 'lib\\app.jar' }, { directory = 'classes' }, "
     "{ env = \"APP_CLASSPATH\" } (the path a variable holds), { archives_in = 'lib' } (every archive of a "
     "directory), each with required = true when the launcher must stop without it (absent: optional); or the "
     "letter form: a type letter A, D, E or S, a required flag (1 required, 0 optional) and the name, e.g. "
     "'A1lib\\app.jar'"},

    {idNumber(SettingId::ModulePath), "modulepath", "entries", L, ';', EntryCheck::ClassPath,
     "Module path entries, written as class path entries"},
    {idNumber(SettingId::ModuleMode), "modulepath", "module_mode", B, 0, NoCheck,
     "Module mode: the main class is started as a module, archives go on the module path"},

    {idNumber(SettingId::JvmOptions), "jvm", "options", T, 0, NoCheck,
     "JVM options, one command line (variables expanded)"},
    {idNumber(SettingId::AllowJArguments), "jvm", "allow_j_arguments", B, 0, NoCheck,
     "Command-line arguments beginning with -J become JVM options (without the -J); never in a service, "
     "whose start arguments reach main as they are"},
    {idNumber(SettingId::ReadVmOptionsFile), "jvm", "read_vmoptions_file", B, 0, NoCheck,
     "The VM options file next to the launcher is read"},
    {idNumber(SettingId::VersionOptionsCount), "jvm", "version_options", ValueType::VersionOptions, 0, NoCheck,
     "Options for particular Java versions: [[jvm.version_options]] tables with versions (\"*\" and a wildcard "
     "pattern such as \"*1.8*\", or a major-version range such as \"11-17\") and options (one command line); "
     "the first entry whose versions match is used"},
    {idNumber(SettingId::NativeDirectories), "jvm", "native_directories", L, ';', NoCheck,
     "Native library directories, prepended to PATH"},
    {idNumber(SettingId::AddDllDirectories), "jvm", "add_dll_directories", B, 0, NoCheck,
     "Directories are also registered with AddDllDirectory"},

    {idNumber(SettingId::ReducePath), "environment", "reduce_path", B, 0, NoCheck,
     "PATH is reduced at start to the entries under the Windows directory"},
    {idNumber(SettingId::RemoveJavaOptions), "environment", "remove_java_options", B, 0, NoCheck,
     "The Java options environment variables are removed at start"},
    {idNumber(SettingId::LongTempPaths), "environment", "long_temp_paths", B, 0, NoCheck,
     "The long form of temp directory candidates is preferred"},

    {idNumber(SettingId::ServiceName), "service", "name", T, 0, NoCheck,
     "Service name; also the display name when display_name is not given"},
    {idNumber(SettingId::ServiceDependencies), "service", "dependencies", L, ',', NoCheck,
     "Services this service depends on"},
    {idNumber(SettingId::ServiceDisplayName), "service", "display_name", T, 0, NoCheck,
     "Display name at install; absent: the service name. Installed under another name (/install Other), the "
     "service shows \"<display_name> (Other)\", since two services cannot share a display name"},
    {idNumber(SettingId::ServiceAccount), "service", "account", T, 0, EntryCheck::ServiceAccount,
     "Account the service runs under: LocalSystem (absent: the default), LocalService, NetworkService, or a named "
     "account .\\name or DOMAIN\\name"},
    {idNumber(SettingId::ServicePasswordEnv), "service", "password_env", T, 0, EntryCheck::VariableName,
     "Environment variable holding a named account's password at /install; absent: the password is read from "
     "standard input. The password itself is never stored"},
    {idNumber(SettingId::ServiceDelayedStart), "service", "delayed_start", B, 0, NoCheck,
     "An automatic-start service starts delayed, after the other automatic-start services"},
    {idNumber(SettingId::ServiceStartCheckSeconds), "service", "start_check_seconds", I, 0, NoCheck,
     "Seconds /start watches the started service: an end within them is reported with its exit code, and a "
     "non-zero one makes /start fail; absent or 0: not watched (0 to 3600)",
     0, 3600},
    {idNumber(SettingId::ServiceOutputFile), "service", "output_file", T, 0, NoCheck,
     "File the supervisor appends the application's output to (relative to the launcher directory); empty: "
     "output discarded"},
    {idNumber(SettingId::ServiceOutputMaxBytes), "service", "output_max_bytes", I, 0, NoCheck,
     "Size at which the output file is rotated; absent: 10 MiB", 0},
    {idNumber(SettingId::ServiceOutputKeep), "service", "output_keep", I, 0, NoCheck,
     "Rotated output files kept as <name>.1 ... <name>.N; absent: 3", 0},
    {idNumber(SettingId::ServiceRestartDelaySeconds), "service.recovery", "restart_delay_seconds", I, 0, NoCheck,
     "Seconds the service manager waits before it restarts the failed service; absent: 60 (0 to 4294967)", 0, 4294967},
    {idNumber(SettingId::ServiceRestarts), "service.recovery", "restarts", I, 0, NoCheck,
     "How many failures get a restart; later ones get none. Absent or 0: no recovery actions (0 to 100)", 0, 100},
    {idNumber(SettingId::ServiceResetSeconds), "service.recovery", "reset_seconds", I, 0, NoCheck,
     "Seconds without failure after which the failure count starts again; absent: 86400 (a day)", 0},

    {idNumber(SettingId::SingleInstance), "single_instance", "enabled", B, 0, NoCheck,
     "A second start ends at once with exit code 0 (its arguments go nowhere); otherwise every instance runs"},
    {idNumber(SettingId::BringToFront), "single_instance", "bring_to_front", B, 0, NoCheck,
     "The running instance's window is brought to the front"},
    {idNumber(SettingId::SingleInstanceGlobal), "single_instance", "global", B, 0, NoCheck,
     "The instance is detected across sessions (global namespace)"},

    {idNumber(SettingId::SplashEnabled), "splash", "enabled", B, 0, NoCheck,
     "The splash text configuration is handed to the Java side"},
    {idNumber(SettingId::SplashFlag), "splash", "flag", B, 0, NoCheck,
     "The second boolean of the splash configuration"},
    {idNumber(SettingId::SplashText1), "splash", "text1", T, 0, NoCheck, "Splash text 1"},
    {idNumber(SettingId::SplashText1Value1), "splash", "text1_value1", I, 0, NoCheck, "First number of splash text 1"},
    {idNumber(SettingId::SplashText1Value2), "splash", "text1_value2", I, 0, NoCheck, "Second number of splash text 1"},
    {idNumber(SettingId::SplashText2), "splash", "text2", T, 0, NoCheck, "Splash text 2"},
    {idNumber(SettingId::SplashText2Value1), "splash", "text2_value1", I, 0, NoCheck, "First number of splash text 2"},
    {idNumber(SettingId::SplashText2Value2), "splash", "text2_value2", I, 0, NoCheck, "Second number of splash text 2"},
    {idNumber(SettingId::SplashText3), "splash", "text3", T, 0, NoCheck, "Splash text 3"},
    {idNumber(SettingId::SplashText3Value1), "splash", "text3_value1", I, 0, NoCheck, "First number of splash text 3"},
    {idNumber(SettingId::SplashText3Value2), "splash", "text3_value2", I, 0, NoCheck, "Second number of splash text 3"},
    {idNumber(SettingId::SplashText4), "splash", "text4", T, 0, NoCheck, "Splash text 4"},
    {idNumber(SettingId::SplashText4Value1), "splash", "text4_value1", I, 0, NoCheck, "First number of splash text 4"},
    {idNumber(SettingId::SplashText4Value2), "splash", "text4_value2", I, 0, NoCheck, "Second number of splash text 4"},
    {idNumber(SettingId::SplashImage), "splash", "image", T, 0, NoCheck,
     "Image (PNG, GIF or JPEG) the runtime's splash-screen library shows before the JVM is created: the path of an "
     "included file, or a path relative to the launcher directory (variables expanded); a runtime without the "
     "library starts without it"},

    {idNumber(MessageId::ErrorTitle), "messages", "error_title", M, 0, NoCheck, "Title of error message boxes"},
    {idNumber(MessageId::RegistryRuntimeUnusable), "messages", "registry_runtime_unusable", M, 0, NoCheck,
     "The runtime found in the registry or a previous installation cannot be loaded"},
    {idNumber(MessageId::ClassPathEntryMissing), "messages", "classpath_entry_missing", M, 0, NoCheck,
     "A required class path entry is missing; {0} = the entry"},
    {idNumber(MessageId::ClassPathVariableMissing), "messages", "classpath_variable_missing", M, 0, NoCheck,
     "The environment variable of a required class path entry is not set; {0} = its name"},
    {idNumber(MessageId::ExtractionFailed), "messages", "extraction_failed", M, 0, NoCheck,
     "Included files cannot be extracted; {0} = 7 (directory), 11 (file not created) or 16 (file not copied)"},
    {idNumber(MessageId::MainClassNotFound), "messages", "main_class_not_found", M, 0, NoCheck,
     "The main class cannot be found"},
    {idNumber(MessageId::MainMethodNotFound), "messages", "main_method_not_found", M, 0, NoCheck,
     "The main method cannot be found"},
    {idNumber(MessageId::NoTempDirectory), "messages", "no_temp_directory", M, 0, NoCheck,
     "No usable temporary directory"},
    {idNumber(MessageId::NoRuntimeFound), "messages", "no_runtime_found", M, 0, NoCheck,
     "No runtime found, or the one on PATH cannot be loaded; {0} = the launcher's bitness"},
    {idNumber(MessageId::EnvironmentRuntimeUnusable), "messages", "environment_runtime_unusable", M, 0, NoCheck,
     "The runtime named by an environment variable cannot be loaded; {0} = the variable"},
    {idNumber(MessageId::DirectoryRuntimeUnusable), "messages", "directory_runtime_unusable", M, 0, NoCheck,
     "The runtime in a configured or preferred directory cannot be loaded; {0} = the directory"},
    {idNumber(MessageId::UnpackFailed), "messages", "unpack_failed", M, 0, NoCheck,
     "The unpacking process for a packed runtime cannot be started"},
    {idNumber(MessageId::ServiceDescription), "messages", "service_description", M, 0, NoCheck,
     "Service description; none is set when empty"},

    {0, "executable", "icon", ValueType::Image, 0, NoCheck,
     "An .ico file (relative to the configuration file) whose images become the launcher's icon, replacing any "
     "icon of the prebuilt launcher"},
    {0, "executable", "file_version", ValueType::Image, 0, NoCheck,
     "File version: one to four numbers joined by \".\" (0 to 65535), padded with zeros in the numeric version, "
     "kept as written in the version strings"},
    {0, "executable", "product_version", ValueType::Image, 0, NoCheck, "Product version, written as file_version"},
    {0, "executable", "product_name", ValueType::Image, 0, NoCheck, "Product name in the version information"},
    {0, "executable", "company", ValueType::Image, 0, NoCheck, "Company name in the version information"},
    {0, "executable", "description", ValueType::Image, 0, NoCheck, "File description in the version information"},
    {0, "executable", "copyright", ValueType::Image, 0, NoCheck, "Legal copyright in the version information"},
    {0, "executable", "original_filename", ValueType::Image, 0, NoCheck,
     "Original file name in the version information"},
    {0, "executable", "internal_name", ValueType::Image, 0, NoCheck, "Internal name in the version information"},
    {0, "executable", "version_language", ValueType::Image, 0, NoCheck,
     "Language and code page of the version strings as eight hexadecimal digits; absent: \"040904B0\" (U.S. "
     "English, Unicode)"},
    {0, "executable", "execution_level", ValueType::Image, 0, NoCheck,
     "Execution level the manifest requests: \"asInvoker\" (as built), \"requireAdministrator\" or "
     "\"highestAvailable\""},
    {0, "executable", "dpi_awareness", ValueType::Image, 0, NoCheck,
     "DPI awareness the manifest declares: \"unaware\", \"system\" or \"per-monitor-v2\"; absent: none declared"},
    {0, "executable", "long_path_aware", ValueType::ImageFlag, 0, NoCheck,
     "The manifest declares the launcher aware of paths longer than MAX_PATH"},
    {0, "executable", "subsystem", ValueType::Image, 0, NoCheck,
     "\"console\" (as built) or \"gui\": the subsystem field of the image's optional header"},

    {idNumber(SettingId::IncludedFileCount), "files", "(count)", ValueType::Derived, 0, NoCheck,
     "Number of included files, from [[files]]"},
    {idNumber(SettingId::IncludedFilePaths), "files", "(paths)", ValueType::Derived, 0, NoCheck,
     "Paths of the included files, \";\"-joined, from [[files]]"},
};

// Whether the table has a row of the right kind (message or not) for `id`.
constexpr bool hasRow(int id, bool message) {
    for (const KeyRow& row : kKeyRows)
        if (row.id == id && !isImageRow(row) && (row.type == ValueType::Message) == message) return true;
    return false;
}

// Every id the launcher can name must be writable by the packer: an id without a row would be
// read by the launcher but never filled in, so it stops the build here.
#define LAUNCHER_CHECK_SETTING_ROW(name, id) \
    static_assert(hasRow(id, false), "setting " #id " (" #name ") has no row in the key table");
#define LAUNCHER_CHECK_MESSAGE_ROW(name, id) \
    static_assert(hasRow(id, true), "message " #id " (" #name ") has no row in the key table");
LAUNCHER_SETTING_IDS(LAUNCHER_CHECK_SETTING_ROW)
LAUNCHER_MESSAGE_IDS(LAUNCHER_CHECK_MESSAGE_ROW)
#undef LAUNCHER_CHECK_SETTING_ROW
#undef LAUNCHER_CHECK_MESSAGE_ROW

const std::vector<KeyRow> kKeys(std::begin(kKeyRows), std::end(kKeyRows));

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
        if (row.id == id && !isImageRow(row) && (row.type == ValueType::Message) == message) return &row;
    return nullptr;
}

const KeyRow* findKeyByName(const std::string& table, const std::string& key) {
    for (const KeyRow& row : kKeys)
        if (row.type != ValueType::Derived && table == row.table && key == row.key) return &row;
    return nullptr;
}

bool checkListEntry(EntryCheck check, const std::string& entry, std::string& reason) {
    if (check == EntryCheck::None) return true;
    if (check == EntryCheck::ServiceAccount) {
        // Settings are 8-bit text whose bytes the launcher widens one to one.
        std::wstring wide;
        for (char c : entry) wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
        if (chooseServiceAccount(wide).kind != AccountKind::Invalid) return true;
        reason = "is not an account: LocalSystem, LocalService, NetworkService, or .\\name or DOMAIN\\name";
        return false;
    }
    if (check == EntryCheck::CommandName) {
        if (entry == "run" || entry == "none") return true;
        reason = "is not a default command: \"run\" or \"none\"";
        return false;
    }
    if (check == EntryCheck::VariableName) {
        if (entry.find('=') == std::string::npos) return true;
        reason = "is not a variable name: it holds \"=\"";
        return false;
    }
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
    return row.id == idNumber(SettingId::JvmType) ? 199 : 0;
}
