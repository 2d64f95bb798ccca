// The portable decisions of the VM-options sources, apart from the file system and the code
// page: the line syntax (keywords, class path overrides, trimming and comments, split option
// strings, version-specific conditions), how a file is read line by line and its includes
// followed, how configured option strings and the locale arguments become lines, and how
// Java argument files replace "@file" options. The sources are the VM-options file beside
// the launcher and the files it includes, the configured option strings (setting 123 and the
// version-specific entries), the locale options, the -J arguments and Java argument files.
// vm_options_win.cpp gives these rules the real files, expansion and code page; the unit
// tests give them files held in memory.
#pragma once

#include "core/capacities.h"
#include "core/command_line.h"
#include "core/utf8.h"

#include <cstddef>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// ---------------------------------------------------------------------------------------
// The line syntax.

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

// How the bytes of one option file are read.
enum class OptionFileEncoding {
    Utf8WithByteOrderMark,  // UTF-8; the mark in front is not part of the first line
    Utf8,
    Ansi,  // the ANSI code page, as files were written before editors turned to UTF-8
};

// Judges an option file from its bytes, fed in file order in pieces of any size: a file that
// starts with the UTF-8 byte-order mark is UTF-8; otherwise a file that is valid UTF-8 and
// holds at least one byte of 0x80 or above is UTF-8; everything else is read in the ANSI code
// page (a file of plain ASCII reads the same either way).
class OptionFileEncodingJudge {
public:
    void feed(std::string_view bytes);
    OptionFileEncoding encoding() const;

private:
    std::string start_;  // the first bytes, as many as the byte-order mark has
    Utf8Validator utf8_;
};

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

// ---------------------------------------------------------------------------------------
// Reading the sources.

// The ordered 8-bit JVM options, in the file-system code page.
using OptionList = std::vector<std::string>;

// Sizes of the texts option lines pass through.
constexpr size_t kOptionLinePieceBytes = kVmOptionsLineCapacity;  // one read of a file line, terminator included
constexpr size_t kOptionLineCapacity = kVmOptionsLineCapacity;    // a widened file line during expansion
constexpr size_t kOptionTextCapacity = kPathCapacity;             // settings, include operands and include paths

// What the option sources need from the process.
class OptionFileSystem {
public:
    virtual ~OptionFileSystem() = default;

    // Opens `path` for reading in text mode; nullptr when it does not open.
    virtual FILE* openText(const std::wstring& path) = 0;
    // A key that is the same however the file was named, for recognising a file that is
    // already being read; empty when none can be had (the file is then never refused).
    // `path` is nullptr for the default file.
    virtual std::string fileIdentity(FILE* file, const wchar_t* path) = 0;
    // expandVariables over `text`, a buffer of `capacity` characters; false when the
    // result had to be cut.
    virtual bool expand(wchar_t* text, size_t capacity, bool narrowForms) = 0;
    // The 8-bit form of an option in the file-system code page ("?" for what it lacks).
    virtual std::string toOptionText(const std::wstring& text) = 0;
    // A line of a file judged to be in the ANSI code page, widened through that code page.
    virtual std::wstring widenAnsiLine(const std::string& line) = 0;
    // The launcher directory (the wide long form), ending in a backslash.
    virtual std::wstring launcherDirectory() = 0;
    // Opens the VM-options file beside the launcher for reading in text mode; nullptr when
    // there is none.
    virtual FILE* openDefaultFile() = 0;
    // Replaces the "@file" options by what the selected runtime makes of them; the list is
    // left as it is when the runtime cannot do it. Called only when some option is one.
    virtual void expandArgumentFiles(OptionList& options) = 0;
};

// Reads option files and interprets option lines against one OptionFileSystem. It keeps the
// files being read (outermost first) so that an include cycle reads each file once; the list
// is empty again whenever no file is being read.
class OptionFileReader {
public:
    explicit OptionFileReader(OptionFileSystem& system) : system_(system) {}

    // Reads an opened file to its end and closes it. `fileName` is the file's full path, or
    // nullptr for the default file (relative includes then resolve against the launcher
    // directory). A file that is already being read (an include cycle) is not read again.
    // Each file's encoding is judged on its own (OptionFileEncodingJudge).
    void readFile(const wchar_t* fileName, FILE* file, OptionList& options, ClassPathOverrides& overrides);
    // The VM-options file beside the launcher, when there is one.
    void readDefaultFile(OptionList& options, ClassPathOverrides& overrides);
    // One option line (already trimmed and expanded).
    void processLine(const wchar_t* fileName, const std::wstring& line, OptionList& options,
                     ClassPathOverrides& overrides);
    // Each element of a split option string as a line, "-include-options" joined with its
    // operand.
    void processList(const ArgumentList& list, OptionList& options, ClassPathOverrides& overrides);
    // Setting 123, then the first matching version-specific entry, then the locale options
    // derived from the launcher arguments.
    void addConfigured(const ArgumentList& launcherArgs, OptionList& options, ClassPathOverrides& overrides);

private:
    void includeFile(const wchar_t* fileName, const std::wstring& operand, OptionList& options,
                     ClassPathOverrides& overrides);
    void addVersionSpecific(OptionList& options, ClassPathOverrides& overrides);
    void addLocaleOptions(const ArgumentList& launcherArgs, OptionList& options, ClassPathOverrides& overrides);
    // Reads the whole file once to judge its encoding, then goes back to its start.
    OptionFileEncoding judgeEncoding(FILE* file);
    // One piece of a file line (see readFile) in the file's encoding.
    void processPiece(const wchar_t* fileName, const std::string& piece, OptionFileEncoding encoding,
                      OptionList& options, ClassPathOverrides& overrides);
    // A configured option string expanded (narrow forms) and split like a command line.
    ArgumentList expandedList(const std::wstring& text);
    // `text` expanded in a buffer of `capacity` characters; `complete` is false when cut.
    std::wstring expanded(const std::wstring& text, size_t capacity, bool narrowForms, bool& complete);

    OptionFileSystem& system_;
    std::vector<std::string> beingRead_;
};

// The two default file names made from one launcher path, tried in this order: the path
// with its ".exe" (last four characters) replaced by ".vmoptions" (empty when the path is
// too short to have one), then the whole path with ".vmoptions" appended.
struct DefaultVmOptionsNames {
    std::wstring replacingExtension;
    std::wstring appendingExtension;
};
DefaultVmOptionsNames defaultVmOptionsNames(const std::wstring& launcherPath);

// The version-specific entries worth examining: setting 10200's count, but never past the
// last configured condition id (a condition that is absent cannot match) nor past the ids
// an int can hold.
int versionSpecificEntryCount(int configuredCount, int highestSettingId);

// True when some option is a Java argument file ("@...").
bool hasArgumentFileOption(const OptionList& options);

// The option list with every option handed to `preprocess` in order: an answer replaces the
// option by the strings it holds (none at all when it holds none); no answer keeps the
// option as it is.
using ArgumentPreprocessor = std::function<std::optional<std::vector<std::string>>(const std::string& option)>;
OptionList preprocessArgumentFiles(const OptionList& options, const ArgumentPreprocessor& preprocess);
