// The rules by which JVM options are assembled, kept apart from files, settings and the
// JVM so they can be checked on their own: option-line keywords, split option lists,
// version-specific conditions, module options, memory sizes and the argument filters.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Class path values set by option lines; the last line of each kind wins.
struct ClassPathOverrides {
    std::string replacement;  // "-classpath "
    std::string prepend;      // "-classpath/p "
    std::string append;       // "-classpath/a "
};

// What one option line asks for.
enum class OptionLineKind { IncludeOptions, ClassPathReplace, ClassPathPrepend, ClassPathAppend, Option };

struct OptionLine {
    OptionLineKind kind;
    std::wstring value;  // the rest after the keyword (verbatim), or the whole line
};

// Classifies a line by its case-sensitive keyword, each including its single space.
OptionLine classifyOptionLine(const std::wstring& line);

// The elements of a split option string as lines: "-include-options" followed by another
// element is joined with it into one line; everything else stands alone.
std::vector<std::wstring> optionListLines(const std::vector<std::wstring>& elements);

// Trailing CR/LF, then leading and trailing white space (as isspace classifies it) removed.
std::string trimOptionLine(const std::string& line);

// True for lines that carry no option: empty, or a comment starting with "#".
bool isIgnoredOptionLine(const std::string& trimmed);

// Whole-text, case-sensitive wildcard match: "?" one character, "*" any run.
bool matchWildcard(const wchar_t* pattern, const wchar_t* text);
bool matchWildcard(const std::string& pattern, const std::string& text);

// The major Java version: the first number, or the second when the first is 1 (1.8.0 → 8);
// -1 for a text without numbers.
int majorJavaVersion(const std::string& versionText);

// One version-specific condition against a version: "*pattern" matches by wildcard against
// the version text; "min-max" compares the major version with atoi of both sides. A
// condition of neither form never matches; `logLine`s follow the launcher's wording.
bool versionConditionMatches(const std::string& condition, const std::string& versionText);

// A memory size as -Xss takes it: decimal, optionally one of k, m, g, t (either case);
// -1 when the text is not of that form.
int64_t parseMemorySize(const std::string& text);

// The thread stack reservation the options ask for: the last "-Xss" with a positive size
// (low 32 bits), raised to 65536 when between 1 and 65535; 0 means the system default.
uint32_t stackSizeFromOptions(const std::vector<std::string>& options);

bool isModuleOption(const std::string& option);

// Joins each module option that is followed by another element with it ("name=value").
void joinModuleOptions(std::vector<std::string>& options);

// The module options for a main class in module mode ("module/package.Class"):
// "--add-opens=module/package=<runtime module>" when the class has a package, and the
// "--add-modules=" text listing the main module (module mode) and the runtime module.
struct ModuleOptions {
    std::string addOpens;    // empty when none is needed
    std::string addModules;
};
ModuleOptions moduleOptions(bool moduleMode, const std::string& mainClass, const std::string& runtimeModule);

// Removes every empty option.
void removeEmptyOptions(std::vector<std::string>& options);
