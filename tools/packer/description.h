// The packer's configuration description: settings, messages, per-language message
// overrides and included files, named by their numeric ids.
//
// One entry a line; blank lines and lines starting with "#" are ignored:
//   setting <id> = <text>        8-bit setting; the text after "= " is taken as it stands
//   setting-hex <id> = <hex>     8-bit setting given as hex bytes ("41 42" or "4142")
//   message <id> = <text>        message (UTF-8 in the file, UTF-16 in the block)
//   locale <name>                the message lines that follow override for that locale
//   file <relative path> = <source file>   an included file; the source path is relative
//                                          to the description file
// Everything before the first "locale" line is the base configuration. The file is UTF-8.
#pragma once

#include "executable_options.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct LocaleSection {
    std::string name;
    std::vector<std::pair<int, std::u16string>> overrides;
};

struct IncludedFile {
    std::string path;  // as the launcher will create it inside its extraction directory
    std::vector<uint8_t> content;
};

struct Description {
    std::vector<std::pair<int, std::string>> settings;  // in the order given
    std::vector<std::pair<int, std::u16string>> messages;
    std::vector<LocaleSection> locales;
    std::vector<IncludedFile> files;
    ExecutableOptions executable;  // [executable]: written into the image, not the block
};

// Parses `text`; `baseDirectory` resolves the source paths of included files, which are read
// here. On failure `error` says "<name>:<line>: <reason>" and false is returned.
bool parseDescription(const std::string& text, const std::string& name, const std::string& baseDirectory,
                      Description& description, std::string& error);

// UTF-8 to UTF-16; false on malformed input.
bool utf8ToUtf16(const std::string& text, std::u16string& out);
// UTF-8 to single bytes: code points up to U+00FF become that byte; false for anything else.
bool utf8ToLatin1(const std::string& text, std::string& out);
// The reverse directions. Every byte string has a UTF-8 form; UTF-16 with a lone surrogate
// has none, and then false is returned.
std::string latin1ToUtf8(const std::string& bytes);
bool utf16ToUtf8(const std::u16string& text, std::string& out);
