// Which option strings of a JavaVMInitArgs record the stand-in VM understands, as a HotSpot
// VM of the runtime's version would judge them.
//
// Recognised: "-D<name>[=<value>]"; every "-X" option other than "-XX:" (the sizes of -Xss,
// -Xmx, -Xms and -Xmn must be well formed, or creation fails whatever the ignore flag says);
// "-XX:" with a flag from a list of common product flags ("+Name", "-Name", "Name=value");
// the assertion switches ("-ea", "-da", "-esa", "-dsa" and their long forms, with ":..."
// where the VM allows it); "-verbose" and "-verbose:<kind>"; "-agentlib:", "-agentpath:",
// "-javaagent:"; the hooks "exit", "abort" and "vfprintf"; and for runtimes of version 9 and
// later the module options in their joined form "--module-path=...", "--add-opens=...",
// "--add-modules=..." and the others of that family. A module option without "=" (as a
// command line would split it) is not recognised, nor is any of them on a 1.x runtime.
#pragma once

#include <string>
#include <string_view>

namespace standin {

enum class OptionVerdict {
    Recognized,
    Unrecognized,  // refused unless the init args ask to ignore unrecognised options
    Invalid        // a recognised option with a malformed value: always refused
};

struct OptionCheck {
    OptionVerdict verdict = OptionVerdict::Recognized;
    std::string message;  // what the VM writes to standard error when it refuses the option
};

// `javaMajor` is the feature version of the runtime (8 for 1.8.0_x, 17 for 17.0.2).
// `ignoreUnknownXX` is set once "-XX:+IgnoreUnrecognizedVMOptions" has been seen.
OptionCheck checkOption(std::string_view option, int javaMajor, bool ignoreUnknownXX);

// A size as -Xss and -Xmx take it: decimal digits and at most one unit letter (k, m, g, t in
// either case). False for anything else, and for values that do not fit 64 bits.
bool parseMemorySize(std::string_view text, unsigned long long& bytes);

// The feature version of a runtime version text ("1.8.0_201" → 8, "17.0.2" → 17); 0 when
// the text does not start with a number.
int featureVersion(const std::string& versionText);

}  // namespace standin
