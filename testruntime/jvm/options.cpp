#include "options.h"

#include <cstdlib>

namespace standin {

namespace {

bool startsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// Product flags that applications commonly set. A flag outside this list is treated the way
// a VM treats a flag it does not know.
const char* const kKnownXXFlags[] = {
    "UseG1GC",
    "UseSerialGC",
    "UseParallelGC",
    "UseZGC",
    "UseShenandoahGC",
    "UseStringDeduplication",
    "MaxRAMPercentage",
    "InitialRAMPercentage",
    "MinRAMPercentage",
    "MaxRAM",
    "MaxMetaspaceSize",
    "MetaspaceSize",
    "MaxDirectMemorySize",
    "ReservedCodeCacheSize",
    "ThreadStackSize",
    "HeapDumpOnOutOfMemoryError",
    "HeapDumpPath",
    "ExitOnOutOfMemoryError",
    "CrashOnOutOfMemoryError",
    "ErrorFile",
    "MaxGCPauseMillis",
    "UseCompressedOops",
    "UseLargePages",
    "UnlockDiagnosticVMOptions",
    "UnlockExperimentalVMOptions",
    "IgnoreUnrecognizedVMOptions",
    "NativeMemoryTracking",
    "StartFlightRecording",
    "FlightRecorderOptions",
    "TieredStopAtLevel",
    "ActiveProcessorCount",
    "PerfDisableSharedMem",
    "OmitStackTraceInFastThrow",
    "ShowCodeDetailsInExceptionMessages",
    "Flags",
    "VMOptionsFile",
    "PrintCommandLineFlags",
    "DisableAttachMechanism",
    "MaxHeapFreeRatio",
    "MinHeapFreeRatio",
    "NewRatio",
    "SurvivorRatio",
    "ParallelGCThreads",
    "ConcGCThreads",
    "CICompilerCount",
    "UseContainerSupport",
    "AlwaysPreTouch",
    "SoftRefLRUPolicyMSPerMB",
};

// Joined module options and the other "--" options a VM of version 9 or later takes.
const char* const kModuleOptions[] = {
    "--module-path=", "--upgrade-module-path=", "--add-modules=",  "--limit-modules=",  "--add-exports=",
    "--add-opens=",   "--add-reads=",           "--patch-module=", "--illegal-access=", "--enable-native-access=",
};

const char* const kAssertionSwitches[] = {
    "-ea",
    "-da",
    "-enableassertions",
    "-disableassertions",
};

const char* const kSystemAssertionSwitches[] = {
    "-esa",
    "-dsa",
    "-enablesystemassertions",
    "-disablesystemassertions",
};

const char* const kAgentPrefixes[] = {"-agentlib:", "-agentpath:", "-javaagent:"};

const char* const kHooks[] = {"exit", "abort", "vfprintf"};

const char* const kVerboseKinds[] = {"-verbose", "-verbose:class", "-verbose:gc", "-verbose:jni", "-verbose:module"};

struct SizedOption {
    const char* prefix;
    const char* description;
};

const SizedOption kSizedOptions[] = {
    {"-Xss", "Invalid thread stack size: "},
    {"-Xmx", "Invalid maximum heap size: "},
    {"-Xms", "Invalid initial heap size: "},
    {"-Xmn", "Invalid maximum new generation size: "},
};

// The largest -Xss value a VM accepts (1 GB).
constexpr unsigned long long kMaxThreadStack = 1ULL << 30;

OptionCheck recognized() { return OptionCheck{}; }

OptionCheck unrecognized(std::string_view option) {
    return OptionCheck{OptionVerdict::Unrecognized, "Unrecognized option: " + std::string(option)};
}

OptionCheck invalid(std::string message) { return OptionCheck{OptionVerdict::Invalid, std::move(message)}; }

template <size_t N>
bool isOneOf(std::string_view text, const char* const (&list)[N]) {
    for (const char* entry : list)
        if (text == entry) return true;
    return false;
}

OptionCheck checkSized(std::string_view option, const SizedOption& sized) {
    unsigned long long bytes = 0;
    std::string_view value = option.substr(4);
    bool isStack = std::string_view(sized.prefix) == "-Xss";
    if (!parseMemorySize(value, bytes) || (isStack && bytes > kMaxThreadStack))
        return invalid(sized.description + std::string(option));
    return recognized();
}

OptionCheck checkX(std::string_view option) {
    for (const SizedOption& sized : kSizedOptions)
        if (startsWith(option, sized.prefix)) return checkSized(option, sized);
    return option.size() > 2 ? recognized() : unrecognized(option);
}

// "+Name", "-Name" or "Name=value": the flag name.
std::string_view xxFlagName(std::string_view tail) {
    if (!tail.empty() && (tail[0] == '+' || tail[0] == '-')) return tail.substr(1);
    size_t equals = tail.find('=');
    return equals == std::string_view::npos ? std::string_view() : tail.substr(0, equals);
}

OptionCheck checkXX(std::string_view option, bool ignoreUnknownXX) {
    std::string_view name = xxFlagName(option.substr(4));
    if (!name.empty() && isOneOf(name, kKnownXXFlags)) return recognized();
    if (ignoreUnknownXX) return recognized();
    return OptionCheck{OptionVerdict::Unrecognized, "Unrecognized VM option '" + std::string(option.substr(4)) + "'"};
}

bool isAssertionSwitch(std::string_view option) {
    size_t colon = option.find(':');
    std::string_view head = option.substr(0, colon);
    if (isOneOf(head, kAssertionSwitches)) return true;
    // The system switches take no package or class list.
    return colon == std::string_view::npos && isOneOf(head, kSystemAssertionSwitches);
}

bool isModuleOption(std::string_view option) {
    for (const char* prefix : kModuleOptions)
        if (startsWith(option, prefix)) return true;
    return option == "--enable-preview";
}

}  // namespace

bool parseMemorySize(std::string_view text, unsigned long long& bytes) {
    size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
    if (digits == 0 || text.size() - digits > 1) return false;
    unsigned long long value = 0;
    for (size_t i = 0; i < digits; ++i) {
        unsigned digit = static_cast<unsigned>(text[i] - '0');
        if (value > (~0ULL - digit) / 10) return false;
        value = value * 10 + digit;
    }
    unsigned shift = 0;
    if (digits < text.size()) {
        switch (text[digits]) {
        case 'k':
        case 'K':
            shift = 10;
            break;
        case 'm':
        case 'M':
            shift = 20;
            break;
        case 'g':
        case 'G':
            shift = 30;
            break;
        case 't':
        case 'T':
            shift = 40;
            break;
        default:
            return false;
        }
    }
    if (shift != 0 && value > (~0ULL >> shift)) return false;
    bytes = value << shift;
    return true;
}

OptionCheck checkOption(std::string_view option, int javaMajor, bool ignoreUnknownXX) {
    if (startsWith(option, "-D")) {
        // A property needs a name; "-D" and "-D=x" name nothing.
        return option.size() > 2 && option[2] != '=' ? recognized() : unrecognized(option);
    }
    if (startsWith(option, "-XX:")) return checkXX(option, ignoreUnknownXX);
    if (startsWith(option, "-X")) return checkX(option);
    if (isAssertionSwitch(option) || isOneOf(option, kVerboseKinds) || isOneOf(option, kHooks)) return recognized();
    for (const char* prefix : kAgentPrefixes)
        if (startsWith(option, prefix) && option.size() > std::string_view(prefix).size()) return recognized();
    if (javaMajor >= 9 && isModuleOption(option)) return recognized();
    return unrecognized(option);
}

int featureVersion(const std::string& versionText) {
    const char* text = versionText.c_str();
    char* end = nullptr;
    long first = strtol(text, &end, 10);
    if (end == text) return 0;
    if (first == 1 && *end == '.') {
        const char* second = end + 1;
        long minor = strtol(second, &end, 10);
        if (end != second) return static_cast<int>(minor);
    }
    return static_cast<int>(first);
}

}  // namespace standin
