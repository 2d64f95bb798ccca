#include "toml_config.h"

#include "config/block_format.h"
#include "executable_config.h"
#include "key_table.h"
#include "toml_include.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

namespace {

// Where a value came from, for messages that name both places of a conflict.
struct Origin {
    std::string name;  // "jvm.options", "raw.settings.\"123\""
    uint32_t line = 0;
};

template <typename Text>
struct Entry {
    Text value;
    Origin origin;
};

const char* typeName(const toml::node& node) {
    switch (node.type()) {
    case toml::node_type::table:
        return "a table";
    case toml::node_type::array:
        return "an array";
    case toml::node_type::string:
        return "a string";
    case toml::node_type::integer:
        return "an integer";
    case toml::node_type::floating_point:
        return "a floating-point number";
    case toml::node_type::boolean:
        return "a boolean";
    case toml::node_type::date:
        return "a date";
    case toml::node_type::time:
        return "a time";
    case toml::node_type::date_time:
        return "a date-time";
    default:
        return "nothing";
    }
}

const char* expectedType(ValueType type) {
    switch (type) {
    case ValueType::Integer:
        return "an integer";
    case ValueType::Boolean:
        return "a boolean (true or false)";
    case ValueType::Version:
        return "a version string such as \"11\" or \"1.8.0_201\"";
    case ValueType::List:
        return "an array of strings";
    case ValueType::VersionOptions:
        return "an array of tables ([[jvm.version_options]])";
    default:
        return "a string";
    }
}

bool parseNumericId(std::string_view text, int& id) {
    if (text.empty() || text.size() > 10) return false;
    size_t start = text[0] == '-' ? 1 : 0;
    if (start == text.size()) return false;
    long long value = 0;
    for (size_t i = start; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + (text[i] - '0');
    }
    if (start == 1) value = -value;
    if (value < INT_MIN || value > INT_MAX) return false;
    id = static_cast<int>(value);
    return std::to_string(id) == text;
}

std::string quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

bool readFile(const std::string& path, std::vector<uint8_t>& content) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

class TomlReader {
public:
    TomlReader(const std::string& name, const std::string& baseDirectory) : name_(name), base_(baseDirectory) {}

    bool read(const std::string& text, Description& description);
    const std::string& error() const { return error_; }

private:
    bool fail(uint32_t line, const std::string& reason) {
        error_ = name_ + ":" + std::to_string(line) + ": " + reason;
        return false;
    }
    bool readRoot(const toml::table& root);
    bool readSettingTable(const std::string& table, const toml::table& values);
    bool readSetting(const KeyRow& row, const toml::key& key, const toml::node& node);
    bool readVersionOptions(const toml::key& key, const toml::node& node);
    bool readMessages(const toml::table& values, bool raw);
    bool readLocale(const std::string& locale, const toml::key& key, const toml::table& values, bool raw);
    bool readRaw(const toml::table& values);
    bool readFiles(const toml::key& key, const toml::node& node, Description& description);
    bool readOneFile(const toml::table& entry, uint32_t line, Description& description);
    bool checkIncludedPath(const std::string& path, uint32_t line, const Description& description);

    bool putSetting(int id, const std::string& value, const Origin& origin);
    bool putMessage(std::map<int, Entry<std::u16string>>& into, int id, const std::string& utf8, const Origin& origin);
    bool latin1(const std::string& utf8, uint32_t line, const std::string& what, std::string& out) {
        if (utf8ToLatin1(utf8, out)) return true;
        return fail(line, what + " must hold characters up to U+00FF only (settings are 8-bit text)");
    }

    std::string name_;
    std::string base_;
    std::string error_;
    std::map<int, Entry<std::string>> settings_;
    std::map<int, Entry<std::u16string>> messages_;
    std::map<std::string, std::map<int, Entry<std::u16string>>> locales_;
    ExecutableOptions executable_;
    bool includedCountGiven_ = false;
    bool includedPathsGiven_ = false;
};

bool TomlReader::read(const std::string& text, Description& description) {
    toml::parse_result parsed = toml::parse(text, name_);
    if (!parsed) {
        const toml::parse_error& e = parsed.error();
        return fail(e.source().begin.line, std::string(e.description()));
    }
    const toml::table& root = parsed.table();
    if (!readRoot(root)) return false;
    for (const auto& [key, node] : root)
        if (key.str() == "files" && !readFiles(key, node, description)) return false;

    // Settings 2002 and 2003 follow from [[files]] unless raw settings give them.
    if (!description.files.empty()) {
        std::string paths;
        for (const IncludedFile& f : description.files) paths += (paths.empty() ? "" : ";") + f.path;
        if (!includedCountGiven_) settings_[kSettingIncludedFileCount] = {std::to_string(description.files.size()), {}};
        if (!includedPathsGiven_) settings_[kSettingIncludedFilePaths] = {paths, {}};
    }
    for (const auto& [id, entry] : settings_) description.settings.emplace_back(id, entry.value);
    for (const auto& [id, entry] : messages_) description.messages.emplace_back(id, entry.value);
    for (const auto& [locale, overrides] : locales_) {
        LocaleSection section{locale, {}};
        for (const auto& [id, entry] : overrides) section.overrides.emplace_back(id, entry.value);
        description.locales.push_back(std::move(section));
    }
    description.executable = std::move(executable_);
    return true;
}

bool TomlReader::readRoot(const toml::table& root) {
    for (const auto& [key, node] : root) {
        std::string table(key.str());
        uint32_t line = key.source().begin.line;
        if (table == "files") continue;  // read after the rest, in readFiles
        if (!node.is_table()) {
            if (findKeyByName("application", table) != nullptr)
                return fail(line, "\"" + table + "\" belongs in a table: write it under [application]");
            return fail(line, "unknown key " + quoted(table) + " outside a table");
        }
        const toml::table& values = *node.as_table();
        if (table == "messages") {
            if (!readMessages(values, false)) return false;
        } else if (table == "raw") {
            if (!readRaw(values)) return false;
        } else if (table == "executable") {
            std::string reason;
            if (!readExecutableTable(values, base_, executable_, line, reason)) return fail(line, reason);
        } else {
            bool known =
                std::any_of(tableList().begin(), tableList().end(), [&](const TableRow& t) { return table == t.name; });
            if (!known) return fail(line, "unknown table [" + table + "]");
            if (!readSettingTable(table, values)) return false;
        }
    }
    return true;
}

bool TomlReader::readSettingTable(const std::string& table, const toml::table& values) {
    for (const auto& [key, node] : values) {
        const std::string inner = table + "." + std::string(key.str());
        const bool subTable =
            std::any_of(tableList().begin(), tableList().end(), [&](const TableRow& t) { return inner == t.name; });
        if (subTable) {
            if (!node.is_table())
                return fail(key.source().begin.line,
                            inner + " must be a table ([" + inner + "]), not " + typeName(node));
            if (!readSettingTable(inner, *node.as_table())) return false;
            continue;
        }
        const KeyRow* row = findKeyByName(table, std::string(key.str()));
        if (row == nullptr && node.is_table()) return fail(key.source().begin.line, "unknown table [" + inner + "]");
        if (row == nullptr)
            return fail(key.source().begin.line, "unknown key " + quoted(key.str()) + " in [" + table + "]");
        bool ok = row->type == ValueType::VersionOptions ? readVersionOptions(key, node) : readSetting(*row, key, node);
        if (!ok) return false;
    }
    return true;
}

bool TomlReader::readSetting(const KeyRow& row, const toml::key& key, const toml::node& node) {
    const std::string name = std::string(row.table) + "." + row.key;
    const uint32_t line = key.source().begin.line;
    const Origin origin{name, line};
    auto wrongType = [&] {
        return fail(line, name + " must be " + expectedType(row.type) + ", not " + typeName(node));
    };
    switch (row.type) {
    case ValueType::Integer: {
        if (!node.is_integer()) return wrongType();
        int64_t value = node.as_integer()->get();
        if (value < INT_MIN || value > INT_MAX)
            return fail(line, name + " is out of range (the launcher reads a 32-bit integer)");
        if (value < row.minimum)
            return fail(line, name + (row.minimum == 0 ? std::string(" must not be negative")
                                                       : " must be at least " + std::to_string(row.minimum)));
        if (value > row.maximum) return fail(line, name + " must be at most " + std::to_string(row.maximum));
        return putSetting(row.id, std::to_string(value), origin);
    }
    case ValueType::Boolean:
        if (!node.is_boolean()) return wrongType();
        return putSetting(row.id, node.as_boolean()->get() ? "1" : "0", origin);
    case ValueType::List: {
        if (!node.is_array()) return wrongType();
        std::string joined;
        bool first = true;
        for (const toml::node& element : *node.as_array()) {
            uint32_t elementLine = element.source().begin.line;
            if (!element.is_string())
                return fail(elementLine, name + " entries must be strings, not " + typeName(element));
            std::string entry;
            if (!latin1(element.as_string()->get(), elementLine, name + " entry", entry)) return false;
            if (entry.find(row.separator) != std::string::npos)
                return fail(elementLine, name + " entry " + quoted(element.as_string()->get()) + " contains \"" +
                                             row.separator + "\", which separates the entries");
            std::string reason;
            if (!checkListEntry(row.entries, entry, reason))
                return fail(elementLine, name + " entry " + quoted(element.as_string()->get()) + ": " + reason);
            joined += (first ? "" : std::string(1, row.separator)) + entry;
            first = false;
        }
        return putSetting(row.id, joined, origin);
    }
    default: {
        if (!node.is_string()) return wrongType();
        std::string value;
        if (!latin1(node.as_string()->get(), line, name, value)) return false;
        std::string reason;
        if (row.type == ValueType::Version && !value.empty() && !checkVersionText(value, reason))
            return fail(line, name + " " + quoted(node.as_string()->get()) + " " + reason);
        size_t limit = maximumLength(row);
        if (limit != 0 && value.size() > limit)
            return fail(line, name + " is longer than the launcher's " + std::to_string(limit) + " bytes");
        if (row.type == ValueType::Text && !value.empty() && !checkListEntry(row.entries, value, reason))
            return fail(line, name + " " + quoted(node.as_string()->get()) + " " + reason);
        return putSetting(row.id, value, origin);
    }
    }
}

bool TomlReader::readVersionOptions(const toml::key& key, const toml::node& node) {
    const uint32_t line = key.source().begin.line;
    if (!node.is_array_of_tables())
        return fail(line, std::string("jvm.version_options must be ") + expectedType(ValueType::VersionOptions) +
                              ", not " + typeName(node));
    const toml::array& entries = *node.as_array();
    if (!putSetting(kVersionOptionsCount, std::to_string(entries.size()), {"jvm.version_options", line})) return false;
    int k = 0;
    for (const toml::node& element : entries) {
        const toml::table& entry = *element.as_table();
        uint32_t entryLine = entry.source().begin.line;
        std::string values[2];
        const char* names[2] = {"versions", "options"};
        for (const auto& [field, value] : entry) {
            uint32_t fieldLine = field.source().begin.line;
            int index = field.str() == names[0] ? 0 : field.str() == names[1] ? 1 : -1;
            if (index < 0)
                return fail(fieldLine, "unknown key " + quoted(field.str()) +
                                           " in [[jvm.version_options]] (expected versions and options)");
            if (!value.is_string())
                return fail(fieldLine, std::string("jvm.version_options.") + names[index] + " must be a string, not " +
                                           typeName(value));
            if (!latin1(value.as_string()->get(), fieldLine, std::string("jvm.version_options.") + names[index],
                        values[index]))
                return false;
            std::string reason;
            if (index == 0 && !checkVersionCondition(values[0], reason))
                return fail(fieldLine,
                            "jvm.version_options.versions " + quoted(value.as_string()->get()) + " " + reason);
        }
        if (!entry.contains("versions")) return fail(entryLine, "a [[jvm.version_options]] entry needs versions");
        Origin origin{"jvm.version_options", entryLine};
        if (!putSetting(kVersionOptionsFirst + 2 * k, values[0], origin)) return false;
        if (!putSetting(kVersionOptionsFirst + 2 * k + 1, values[1], origin)) return false;
        ++k;
    }
    return true;
}

bool TomlReader::readMessages(const toml::table& values, bool raw) {
    for (const auto& [key, node] : values) {
        std::string keyText(key.str());
        uint32_t line = key.source().begin.line;
        if (node.is_table()) {
            if (!readLocale(keyText, key, *node.as_table(), raw)) return false;
            continue;
        }
        std::string place = raw ? "[raw.messages]" : "[messages]";
        int id = 0;
        const KeyRow* row = nullptr;
        if (raw) {
            if (!parseNumericId(keyText, id))
                return fail(line, "key " + quoted(keyText) + " in " + place + " is not a numeric id");
        } else {
            row = findKeyByName("messages", keyText);
            if (row == nullptr) return fail(line, "unknown key " + quoted(keyText) + " in " + place);
            id = row->id;
        }
        if (!node.is_string())
            return fail(line, "message " + quoted(keyText) + " must be a string, not " + typeName(node));
        std::string originName = raw ? "raw.messages." + quoted(keyText) : "messages." + keyText;
        if (!putMessage(messages_, id, node.as_string()->get(), {originName, line})) return false;
    }
    return true;
}

bool TomlReader::readLocale(const std::string& locale, const toml::key& key, const toml::table& values, bool raw) {
    std::string name;
    if (!latin1(locale, key.source().begin.line, "locale name " + quoted(locale), name)) return false;
    std::map<int, Entry<std::u16string>>& overrides = locales_[name];  // an empty table still makes a section
    std::string place = std::string(raw ? "[raw.messages." : "[messages.") + locale + "]";
    for (const auto& [messageKey, node] : values) {
        std::string keyText(messageKey.str());
        uint32_t line = messageKey.source().begin.line;
        int id = 0;
        if (raw) {
            if (!parseNumericId(keyText, id))
                return fail(line, "key " + quoted(keyText) + " in " + place + " is not a numeric id");
        } else {
            const KeyRow* row = findKeyByName("messages", keyText);
            if (row == nullptr) {
                std::string hint =
                    parseNumericId(keyText, id) ? " (numeric ids go in [raw.messages." + locale + "])" : "";
                return fail(line, "unknown key " + quoted(keyText) + " in " + place + hint);
            }
            id = row->id;
        }
        if (!node.is_string())
            return fail(line,
                        "message " + quoted(keyText) + " in " + place + " must be a string, not " + typeName(node));
        std::string originName = place + " " + keyText;
        if (!putMessage(overrides, id, node.as_string()->get(), {originName, line})) return false;
    }
    return true;
}

bool TomlReader::readRaw(const toml::table& values) {
    for (const auto& [key, node] : values) {
        uint32_t line = key.source().begin.line;
        if (key.str() == "messages" && node.is_table()) {
            if (!readMessages(*node.as_table(), true)) return false;
            continue;
        }
        if (key.str() != "settings" || !node.is_table())
            return fail(line,
                        "unknown key " + quoted(key.str()) + " in [raw] (expected [raw.settings] or [raw.messages])");
        for (const auto& [idKey, value] : *node.as_table()) {
            uint32_t valueLine = idKey.source().begin.line;
            int id = 0;
            if (!parseNumericId(idKey.str(), id))
                return fail(valueLine, "key " + quoted(idKey.str()) + " in [raw.settings] is not a numeric id");
            if (!value.is_string())
                return fail(valueLine,
                            "raw setting " + quoted(idKey.str()) + " must be a string, not " + typeName(value));
            std::string bytes;
            if (!latin1(value.as_string()->get(), valueLine, "raw setting " + quoted(idKey.str()), bytes)) return false;
            if (!putSetting(id, bytes, {"raw.settings." + quoted(idKey.str()), valueLine})) return false;
            includedCountGiven_ |= id == kSettingIncludedFileCount;
            includedPathsGiven_ |= id == kSettingIncludedFilePaths;
        }
    }
    return true;
}

bool TomlReader::readFiles(const toml::key& key, const toml::node& node, Description& description) {
    if (!node.is_array_of_tables())
        return fail(key.source().begin.line,
                    std::string("files must be an array of tables ([[files]]), not ") + typeName(node));
    for (const toml::node& element : *node.as_array())
        if (!readOneFile(*element.as_table(), element.source().begin.line, description)) return false;
    return true;
}

bool TomlReader::readOneFile(const toml::table& entry, uint32_t line, Description& description) {
    std::string path, source;
    uint32_t pathLine = line, sourceLine = line;
    for (const auto& [field, value] : entry) {
        uint32_t fieldLine = field.source().begin.line;
        if (field.str() != "path" && field.str() != "source")
            return fail(fieldLine, "unknown key " + quoted(field.str()) + " in [[files]] (expected path and source)");
        if (!value.is_string())
            return fail(fieldLine, "files." + std::string(field.str()) + " must be a string, not " + typeName(value));
        if (field.str() == "path") {
            if (!latin1(value.as_string()->get(), fieldLine, "files.path", path)) return false;
            pathLine = fieldLine;
        } else {
            source = value.as_string()->get();
            sourceLine = fieldLine;
        }
    }
    if (!entry.contains("path")) return fail(line, "a [[files]] entry needs a path (where the launcher extracts it)");
    if (!entry.contains("source")) return fail(line, "a [[files]] entry needs a source (the file to include)");
    if (!checkIncludedPath(path, pathLine, description)) return false;

    std::string resolved =
        !source.empty() && source[0] != '/' && !(source.size() > 1 && source[1] == ':') ? base_ + "/" + source : source;
    std::ifstream probe(resolved, std::ios::binary);
    if (source.empty() || !probe) return fail(sourceLine, "included file " + quoted(source) + " does not exist");
    IncludedFile file;
    file.path = path;
    if (!readFile(resolved, file.content)) return fail(sourceLine, "cannot read included file " + quoted(source));
    description.files.push_back(std::move(file));
    return true;
}

bool TomlReader::checkIncludedPath(const std::string& path, uint32_t line, const Description& description) {
    std::string reason;
    if (!checkIncludedFilePath(path, reason)) return fail(line, "files.path " + quoted(path) + " " + reason);
    for (const IncludedFile& other : description.files)
        if (sameWindowsName(other.path, path))
            return fail(line, "files.path " + quoted(path) + " is given twice (Windows names ignore case)");
    return true;
}

bool TomlReader::putSetting(int id, const std::string& value, const Origin& origin) {
    auto [it, inserted] = settings_.emplace(id, Entry<std::string>{value, origin});
    if (inserted) return true;
    return fail(origin.line, "setting " + std::to_string(id) + " is given twice: as " + it->second.origin.name +
                                 " (line " + std::to_string(it->second.origin.line) + ") and as " + origin.name);
}

bool TomlReader::putMessage(std::map<int, Entry<std::u16string>>& into, int id, const std::string& utf8,
                            const Origin& origin) {
    std::u16string wide;
    utf8ToUtf16(utf8, wide);  // toml++ hands over valid UTF-8 only
    auto [it, inserted] = into.emplace(id, Entry<std::u16string>{wide, origin});
    if (inserted) return true;
    return fail(origin.line, "message " + std::to_string(id) + " is given twice: as " + it->second.origin.name +
                                 " (line " + std::to_string(it->second.origin.line) + ") and as " + origin.name);
}

}  // namespace

bool checkIncludedFilePath(const std::string& path, std::string& reason) {
    auto refuse = [&](const char* text) {
        reason = text;
        return false;
    };
    if (path.empty()) return refuse("is empty");
    if (path.find(';') != std::string::npos) return refuse("contains \";\", which separates the included paths");
    if (path.find('/') != std::string::npos) return refuse("uses \"/\"; separate directories with a backslash");
    if (path.find(':') != std::string::npos || path[0] == '\\')
        return refuse("is not relative to the extraction directory");
    size_t slash = path.find('\\');
    if (slash != std::string::npos && path.find('\\', slash + 1) != std::string::npos)
        return refuse("is more than one directory deep; the launcher creates only the first level");
    std::string first = path.substr(0, slash), rest = slash == std::string::npos ? "" : path.substr(slash + 1);
    for (const std::string& part : {first, rest})
        if (part == "." || part == ".." || (slash != std::string::npos && part.empty()))
            return refuse("has an empty, \".\" or \"..\" part");
    return true;
}

bool sameWindowsName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool parseTomlConfig(const std::string& text, const std::string& name, const std::string& baseDirectory,
                     Description& description, std::string& error) {
    TomlReader reader(name, baseDirectory);
    Description result;
    if (!reader.read(text, result)) {
        error = reader.error();
        return false;
    }
    description = std::move(result);
    return true;
}

bool looksLikeToml(const std::string& fileName, const std::string& text) {
    if (fileName.size() >= 5 && fileName.compare(fileName.size() - 5, 5, ".toml") == 0) return true;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        size_t start = line.find_first_not_of(" \t\r");
        if (start == std::string::npos || line[start] == '#') continue;
        if (line[start] == '[') return true;
        size_t end = line.find_first_of(" \t=", start);
        std::string word = line.substr(start, end == std::string::npos ? std::string::npos : end - start);
        for (const char* keyword : {"setting", "setting-hex", "message", "locale", "file"})
            if (word == keyword) return false;
        return true;
    }
    return false;
}
