#include "toml_config.h"

#include "config/block_format.h"
#include "config/included_file_name.h"
#include "executable_config.h"
#include "key_table.h"
#include "toml_guard.h"
#include "toml_include.h"
#include "vocabulary.h"

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
    if (namesAFolder(path)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// Reads the whole file and records every mistake it finds, so that one run of the packer
// shows them all; a value with a mistake is left out and reading goes on with the next one.
class TomlReader {
public:
    TomlReader(const std::string& name, const std::string& baseDirectory) : name_(name), base_(baseDirectory) {}

    bool read(const std::string& text, Description& description);
    // Every mistake as "<name>:<line>: <reason>", in line order, one a line.
    std::string error() const;

private:
    bool fail(uint32_t line, const std::string& reason) {
        mistakes_.push_back({line, name_ + ":" + std::to_string(line) + ": " + reason});
        return false;
    }
    void readRoot(const toml::table& root);
    void readSettingTable(const std::string& table, const toml::table& values);
    const KeyRow* findRow(const std::string& table, const toml::key& key, const toml::node& node);
    bool readSetting(const KeyRow& row, const std::string& written, const toml::key& key, const toml::node& node);
    bool readKind(const std::string& name, const toml::node& node, uint32_t line, std::string& value);
    bool readList(const KeyRow& row, const std::string& name, const toml::node& node, std::string& joined);
    bool readEntryTable(const KeyRow& row, const std::string& name, const toml::table& entry, uint32_t line,
                        std::string& text);
    bool readVersionOptions(const toml::key& key, const toml::node& node);
    void readMessages(const toml::table& values, bool raw);
    void readLocale(const std::string& locale, const toml::key& key, const toml::table& values, bool raw);
    void readRaw(const toml::table& values);
    void readFiles(const toml::key& key, const toml::node& node, Description& description);
    bool readOneFile(const toml::table& entry, uint32_t line, Description& description);
    bool checkIncludedPath(const std::string& path, uint32_t line, const Description& description);
    void checkVersionBounds();

    bool putSetting(int id, const std::string& value, const Origin& origin);
    bool putMessage(std::map<int, Entry<std::u16string>>& into, int id, const std::string& utf8, const Origin& origin);
    bool latin1(const std::string& utf8, uint32_t line, const std::string& what, std::string& out) {
        if (utf8ToLatin1(utf8, out)) return true;
        return fail(line, what + " must hold characters up to U+00FF only (settings are 8-bit text)");
    }

    struct Mistake {
        uint32_t line;
        std::string text;
    };
    std::string name_;
    std::string base_;
    std::vector<Mistake> mistakes_;
    std::map<int, Entry<std::string>> settings_;
    std::map<int, Entry<std::u16string>> messages_;
    std::map<std::string, std::map<int, Entry<std::u16string>>> locales_;
    ExecutableOptions executable_;
    bool includedCountGiven_ = false;
    bool includedPathsGiven_ = false;
};

std::string TomlReader::error() const {
    // Tables are walked in the parser's key order, not the file's; the report follows the file.
    std::vector<Mistake> ordered = mistakes_;
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const Mistake& a, const Mistake& b) { return a.line < b.line; });
    std::string text;
    for (const Mistake& m : ordered) text += (text.empty() ? "" : "\n") + m.text;
    return text;
}

bool TomlReader::read(const std::string& text, Description& description) {
    uint32_t shapeLine = 0;
    std::string shapeReason;
    if (!checkTomlShapes(text, shapeLine, shapeReason)) return fail(shapeLine, shapeReason);
    toml::parse_result parsed = toml::parse(text, name_);
    if (!parsed) {
        // The parser stops at the first syntax error; nothing after it can be checked.
        const toml::parse_error& e = parsed.error();
        return fail(e.source().begin.line, std::string(e.description()));
    }
    const toml::table& root = parsed.table();
    readRoot(root);
    for (const auto& [key, node] : root)
        if (key.str() == "files") readFiles(key, node, description);
    checkVersionBounds();
    if (!mistakes_.empty()) return false;

    // Settings 2002 and 2003 follow from [[files]] unless raw settings give them.
    if (!description.files.empty()) {
        std::string paths;
        for (const IncludedFile& f : description.files) paths += (paths.empty() ? "" : ";") + f.path;
        if (!includedCountGiven_) settings_[kSettingIncludedFileCount] = {std::to_string(description.files.size()), {}};
        if (!includedPathsGiven_) settings_[kSettingIncludedFilePaths] = {paths, {}};
    }
    // A GUI-subsystem launcher is started by a double-click, which gives no command word: it
    // runs the application unless the configuration chose its default command itself.
    const int defaultCommand = idNumber(SettingId::DefaultCommand);
    if (executable_.value("subsystem") == "gui" && settings_.count(defaultCommand) == 0)
        settings_[defaultCommand] = {"run", {}};
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

void TomlReader::readRoot(const toml::table& root) {
    for (const auto& [key, node] : root) {
        std::string table(key.str());
        uint32_t line = key.source().begin.line;
        if (table == "files") continue;  // read after the rest, in readFiles
        if (!node.is_table()) {
            const KeyRow* home = nullptr;
            for (const KeyRow& row : keyTable())
                if (home == nullptr && row.type != ValueType::Derived && row.type != ValueType::Message &&
                    table == row.key)
                    home = &row;
            if (home != nullptr)
                fail(line, "\"" + table + "\" belongs in a table: write it under [" + home->table + "]");
            else
                fail(line, "unknown key " + quoted(table) + " outside a table" + keySuggestion("", table));
            continue;
        }
        const toml::table& values = *node.as_table();
        if (table == "messages") {
            readMessages(values, false);
        } else if (table == "raw") {
            readRaw(values);
        } else if (table == "executable") {
            std::vector<ExecutableMistake> mistakes;
            if (!readExecutableTable(values, base_, executable_, mistakes))
                for (const ExecutableMistake& m : mistakes) fail(m.line, m.reason);
        } else {
            bool known =
                std::any_of(tableList().begin(), tableList().end(), [&](const TableRow& t) { return table == t.name; });
            if (!known)
                fail(line, "unknown table [" + table + "]" + tableSuggestion(table));
            else
                readSettingTable(table, values);
        }
    }
}

void TomlReader::readSettingTable(const std::string& table, const toml::table& values) {
    for (const auto& [key, node] : values) {
        const std::string inner = table + "." + std::string(key.str());
        const bool subTable =
            std::any_of(tableList().begin(), tableList().end(), [&](const TableRow& t) { return inner == t.name; });
        if (subTable) {
            if (!node.is_table())
                fail(key.source().begin.line, inner + " must be a table ([" + inner + "]), not " + typeName(node));
            else
                readSettingTable(inner, *node.as_table());
            continue;
        }
        const KeyRow* row = findRow(table, key, node);
        if (row == nullptr) continue;
        // A value given under an older name is reported under that name.
        const std::string written = table + "." + std::string(key.str());
        if (row->type == ValueType::VersionOptions)
            readVersionOptions(key, node);
        else
            readSetting(*row, written, key, node);
    }
}

// The row `key` names in `table`, by its name or an older one; null after reporting it unknown.
const KeyRow* TomlReader::findRow(const std::string& table, const toml::key& key, const toml::node& node) {
    const std::string name(key.str());
    if (const KeyRow* row = findKeyByName(table, name)) return row;
    if (const KeyRow* row = findKeyByAlias(table, name)) return row;
    const uint32_t line = key.source().begin.line;
    if (node.is_table())
        fail(line, "unknown table [" + table + "." + name + "]" + tableSuggestion(table + "." + name));
    else
        fail(line, "unknown key " + quoted(name) + " in [" + table + "]" + keySuggestion(table, name));
    return nullptr;
}

bool TomlReader::readSetting(const KeyRow& row, const std::string& name, const toml::key& key, const toml::node& node) {
    const uint32_t line = key.source().begin.line;
    const Origin origin{name, line};
    auto wrongType = [&] {
        std::string expected = row.id == idNumber(SettingId::ApplicationKind)
                                   ? "a kind (" + kindNames() + ") or an integer"
                                   : std::string(expectedType(row.type));
        return fail(line, name + " must be " + expected + ", not " + typeName(node));
    };
    switch (row.type) {
    case ValueType::Integer: {
        if (row.id == idNumber(SettingId::ApplicationKind) && node.is_string()) {
            std::string value;
            return readKind(name, node, line, value) && putSetting(row.id, value, origin);
        }
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
        return readList(row, name, node, joined) && putSetting(row.id, joined, origin);
    }
    default: {
        if (!node.is_string()) return wrongType();
        std::string value;
        if (!latin1(node.as_string()->get(), line, name, value)) return false;
        std::string reason;
        if (row.type == ValueType::Version && !value.empty()) {
            if (!checkVersionText(value, reason))
                return fail(line, name + " " + quoted(node.as_string()->get()) + " " + reason);
            value = javaUsersVersion(value);
        }
        size_t limit = maximumLength(row);
        if (limit != 0 && value.size() > limit)
            return fail(line, name + " is longer than the launcher's " + std::to_string(limit) + " bytes");
        if (row.type == ValueType::Text && !value.empty() && !checkListEntry(row.entries, value, reason))
            return fail(line, name + " " + quoted(node.as_string()->get()) + " " + reason);
        return putSetting(row.id, value, origin);
    }
    }
}

bool TomlReader::readKind(const std::string& name, const toml::node& node, uint32_t line, std::string& value) {
    const std::string written = node.as_string()->get();
    int kind = 0;
    if (!kindByName(written, kind)) {
        std::vector<std::string> names;
        for (const NamedKind& k : applicationKinds()) names.push_back(k.name);
        std::string near = nearestName(written, names);
        return fail(line, name + " " + quoted(written) + " is not a kind: " + kindNames() + ", or a number" +
                              (near.empty() ? "" : " (did you mean " + near + "?)"));
    }
    value = std::to_string(kind);
    return true;
}

// Every entry is checked, so that all bad entries of a list are reported at once.
bool TomlReader::readList(const KeyRow& row, const std::string& name, const toml::node& node, std::string& joined) {
    bool ok = true, first = true;
    for (const toml::node& element : *node.as_array()) {
        uint32_t elementLine = element.source().begin.line;
        std::string entry;
        std::string shown;  // the entry as the file wrote it, for messages
        if (element.is_table() && hasEntryForms(row.entries)) {
            if (!readEntryTable(row, name, *element.as_table(), elementLine, entry)) {
                ok = false;
                continue;
            }
            shown = latin1ToUtf8(entry);
        } else if (element.is_string()) {
            shown = element.as_string()->get();
            if (!latin1(shown, elementLine, name + " entry", entry)) {
                ok = false;
                continue;
            }
        } else {
            ok = fail(elementLine, name + " entries must be " +
                                       (hasEntryForms(row.entries) ? "tables or strings" : "strings") + ", not " +
                                       typeName(element));
            continue;
        }
        if (entry.find(row.separator) != std::string::npos) {
            ok = fail(elementLine, name + " entry " + quoted(shown) + " contains \"" + row.separator +
                                       "\", which separates the entries");
            continue;
        }
        std::string reason;
        if (!checkListEntry(row.entries, entry, reason)) {
            ok = fail(elementLine, name + " entry " + quoted(shown) + ": " + reason);
            continue;
        }
        joined += (first ? "" : std::string(1, row.separator)) + entry;
        first = false;
    }
    return ok;
}

// `{ archive = 'lib\app.jar', required = true }` and the like: exactly one key naming the
// kind of entry, plus `required` for class-path and module-path entries. The result is the
// letter form, which the list then checks like a written one.
bool TomlReader::readEntryTable(const KeyRow& row, const std::string& name, const toml::table& entry, uint32_t line,
                                std::string& text) {
    const bool classPath = row.entries == EntryCheck::ClassPath;
    std::vector<std::string> keys;
    for (const EntryForm& form : entryForms())
        if (form.list == row.entries) keys.push_back(form.key);
    if (classPath) keys.push_back("required");
    std::string expected;
    for (size_t i = 0; i + (classPath ? 1 : 0) < keys.size(); ++i) expected += (i == 0 ? "" : ", ") + keys[i];

    const EntryForm* form = nullptr;
    const toml::node* value = nullptr;
    bool required = false, ok = true;
    for (const auto& [field, node] : entry) {
        const std::string key(field.str());
        const uint32_t fieldLine = field.source().begin.line;
        if (classPath && key == "required") {
            if (!node.is_boolean())
                ok =
                    fail(fieldLine, name + " entry: required must be a boolean (true or false), not " + typeName(node));
            else
                required = node.as_boolean()->get();
            continue;
        }
        const EntryForm* named = findEntryForm(row.entries, key);
        if (named == nullptr) {
            std::string near = nearestName(key, keys);
            std::string hint = near.empty()
                                   ? " (expected one of " + expected + (classPath ? ", and required" : "") + ")"
                                   : " (did you mean " + near + "?)";
            ok = fail(fieldLine, name + " entry: unknown key " + quoted(key) + hint);
            continue;
        }
        if (form != nullptr) {
            ok = fail(fieldLine, name + " entry names both " + form->key + " and " + key + "; write one entry each");
            continue;
        }
        form = named;
        value = &node;
    }
    if (!ok) return false;
    if (form == nullptr) return fail(line, name + " entry names none of " + expected);
    const uint32_t valueLine = value->source().begin.line;
    if (form->flagOnly) {
        if (!value->is_boolean() || !value->as_boolean()->get())
            return fail(valueLine, name + " entry: " + form->key + " must be true (leave the entry out otherwise)");
        text = std::string(1, form->letter);
        return true;
    }
    if (!value->is_string())
        return fail(valueLine, name + " entry: " + form->key + " must be a string, not " + typeName(*value));
    std::string bytes;
    if (!latin1(value->as_string()->get(), valueLine, name + " entry " + form->key, bytes)) return false;
    text = std::string(1, form->letter) + (classPath ? (required ? "1" : "0") : "") + bytes;
    return true;
}

bool TomlReader::readVersionOptions(const toml::key& key, const toml::node& node) {
    const uint32_t line = key.source().begin.line;
    if (!node.is_array_of_tables())
        return fail(line, std::string("jvm.version_options must be ") + expectedType(ValueType::VersionOptions) +
                              ", not " + typeName(node));
    const toml::array& entries = *node.as_array();
    bool ok = putSetting(kVersionOptionsCount, std::to_string(entries.size()), {"jvm.version_options", line});
    int k = 0;
    for (const toml::node& element : entries) {
        const toml::table& entry = *element.as_table();
        uint32_t entryLine = entry.source().begin.line;
        std::string values[2];
        const char* names[2] = {"versions", "options"};
        bool entryOk = true;
        for (const auto& [field, value] : entry) {
            uint32_t fieldLine = field.source().begin.line;
            int index = field.str() == names[0] ? 0 : field.str() == names[1] ? 1 : -1;
            if (index < 0) {
                std::string near = nearestName(std::string(field.str()), {names[0], names[1]});
                entryOk =
                    fail(fieldLine,
                         "unknown key " + quoted(field.str()) + " in [[jvm.version_options]] (" +
                             (near.empty() ? "expected versions and options" : "did you mean " + near + "?") + ")");
                continue;
            }
            if (!value.is_string()) {
                entryOk = fail(fieldLine, std::string("jvm.version_options.") + names[index] +
                                              " must be a string, not " + typeName(value));
                continue;
            }
            if (!latin1(value.as_string()->get(), fieldLine, std::string("jvm.version_options.") + names[index],
                        values[index])) {
                entryOk = false;
                continue;
            }
            std::string reason;
            if (index == 0 && !checkVersionCondition(values[0], reason))
                entryOk =
                    fail(fieldLine, "jvm.version_options.versions " + quoted(value.as_string()->get()) + " " + reason);
        }
        if (!entry.contains("versions")) entryOk = fail(entryLine, "a [[jvm.version_options]] entry needs versions");
        Origin origin{"jvm.version_options", entryLine};
        if (entryOk) {
            entryOk &= putSetting(kVersionOptionsFirst + 2 * k, values[0], origin);
            entryOk &= putSetting(kVersionOptionsFirst + 2 * k + 1, values[1], origin);
        }
        ok &= entryOk;
        ++k;
    }
    return ok;
}

void TomlReader::readMessages(const toml::table& values, bool raw) {
    for (const auto& [key, node] : values) {
        std::string keyText(key.str());
        uint32_t line = key.source().begin.line;
        if (node.is_table()) {
            readLocale(keyText, key, *node.as_table(), raw);
            continue;
        }
        std::string place = raw ? "[raw.messages]" : "[messages]";
        int id = 0;
        const KeyRow* row = nullptr;
        if (raw) {
            if (!parseNumericId(keyText, id)) {
                fail(line, "key " + quoted(keyText) + " in " + place + " is not a numeric id");
                continue;
            }
        } else {
            row = findKeyByName("messages", keyText);
            if (row == nullptr) {
                fail(line, "unknown key " + quoted(keyText) + " in " + place + keySuggestion("messages", keyText));
                continue;
            }
            id = row->id;
        }
        if (!node.is_string()) {
            fail(line, "message " + quoted(keyText) + " must be a string, not " + typeName(node));
            continue;
        }
        std::string originName = raw ? "raw.messages." + quoted(keyText) : "messages." + keyText;
        putMessage(messages_, id, node.as_string()->get(), {originName, line});
    }
}

void TomlReader::readLocale(const std::string& locale, const toml::key& key, const toml::table& values, bool raw) {
    std::string name;
    if (!latin1(locale, key.source().begin.line, "locale name " + quoted(locale), name)) return;
    std::map<int, Entry<std::u16string>>& overrides = locales_[name];  // an empty table still makes a section
    std::string place = std::string(raw ? "[raw.messages." : "[messages.") + locale + "]";
    for (const auto& [messageKey, node] : values) {
        std::string keyText(messageKey.str());
        uint32_t line = messageKey.source().begin.line;
        int id = 0;
        if (raw) {
            if (!parseNumericId(keyText, id)) {
                fail(line, "key " + quoted(keyText) + " in " + place + " is not a numeric id");
                continue;
            }
        } else {
            const KeyRow* row = findKeyByName("messages", keyText);
            if (row == nullptr) {
                std::string hint = parseNumericId(keyText, id) ? " (numeric ids go in [raw.messages." + locale + "])"
                                                               : keySuggestion("messages", keyText);
                fail(line, "unknown key " + quoted(keyText) + " in " + place + hint);
                continue;
            }
            id = row->id;
        }
        if (!node.is_string()) {
            fail(line, "message " + quoted(keyText) + " in " + place + " must be a string, not " + typeName(node));
            continue;
        }
        std::string originName = place + " " + keyText;
        putMessage(overrides, id, node.as_string()->get(), {originName, line});
    }
}

void TomlReader::readRaw(const toml::table& values) {
    for (const auto& [key, node] : values) {
        uint32_t line = key.source().begin.line;
        if (key.str() == "messages" && node.is_table()) {
            readMessages(*node.as_table(), true);
            continue;
        }
        if (key.str() != "settings" || !node.is_table()) {
            fail(line, "unknown key " + quoted(key.str()) + " in [raw] (expected [raw.settings] or [raw.messages])");
            continue;
        }
        for (const auto& [idKey, value] : *node.as_table()) {
            uint32_t valueLine = idKey.source().begin.line;
            int id = 0;
            if (!parseNumericId(idKey.str(), id)) {
                fail(valueLine, "key " + quoted(idKey.str()) + " in [raw.settings] is not a numeric id");
                continue;
            }
            if (!value.is_string()) {
                fail(valueLine, "raw setting " + quoted(idKey.str()) + " must be a string, not " + typeName(value));
                continue;
            }
            std::string bytes;
            if (!latin1(value.as_string()->get(), valueLine, "raw setting " + quoted(idKey.str()), bytes)) continue;
            putSetting(id, bytes, {"raw.settings." + quoted(idKey.str()), valueLine});
            includedCountGiven_ |= id == kSettingIncludedFileCount;
            includedPathsGiven_ |= id == kSettingIncludedFilePaths;
        }
    }
}

void TomlReader::readFiles(const toml::key& key, const toml::node& node, Description& description) {
    if (!node.is_array_of_tables()) {
        fail(key.source().begin.line,
             std::string("files must be an array of tables ([[files]]), not ") + typeName(node));
        return;
    }
    for (const toml::node& element : *node.as_array())
        readOneFile(*element.as_table(), element.source().begin.line, description);
}

bool TomlReader::readOneFile(const toml::table& entry, uint32_t line, Description& description) {
    std::string path, source;
    uint32_t pathLine = line, sourceLine = line;
    bool ok = true;
    for (const auto& [field, value] : entry) {
        uint32_t fieldLine = field.source().begin.line;
        if (field.str() != "path" && field.str() != "source") {
            std::string near = nearestName(std::string(field.str()), {"path", "source"});
            ok = fail(fieldLine, "unknown key " + quoted(field.str()) + " in [[files]] (" +
                                     (near.empty() ? "expected path and source" : "did you mean " + near + "?") + ")");
            continue;
        }
        if (!value.is_string()) {
            ok = fail(fieldLine, "files." + std::string(field.str()) + " must be a string, not " + typeName(value));
            continue;
        }
        if (field.str() == "path") {
            ok &= latin1(value.as_string()->get(), fieldLine, "files.path", path);
            pathLine = fieldLine;
        } else {
            source = value.as_string()->get();
            sourceLine = fieldLine;
        }
    }
    if (!entry.contains("path")) return fail(line, "a [[files]] entry needs a path (where the launcher extracts it)");
    if (!entry.contains("source")) return fail(line, "a [[files]] entry needs a source (the file to include)");
    if (!ok || !checkIncludedPath(path, pathLine, description)) return false;

    std::string resolved =
        !source.empty() && source[0] != '/' && !(source.size() > 1 && source[1] == ':') ? base_ + "/" + source : source;
    std::ifstream probe(resolved, std::ios::binary);
    if (source.empty() || !probe) return fail(sourceLine, "included file " + quoted(source) + " does not exist");
    if (namesAFolder(resolved)) return fail(sourceLine, "included file " + quoted(source) + " is a folder, not a file");
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

// A minimum above the maximum admits no runtime at all: the launcher would search and then
// report that none was found. Raw values are checked too when both are version texts.
void TomlReader::checkVersionBounds() {
    auto minimum = settings_.find(idNumber(SettingId::MinVersion));
    auto maximum = settings_.find(idNumber(SettingId::MaxVersion));
    if (minimum == settings_.end() || maximum == settings_.end()) return;
    std::string reason;
    const std::string& low = minimum->second.value;
    const std::string& high = maximum->second.value;
    if (low.empty() || high.empty() || !checkVersionText(low, reason) || !checkVersionText(high, reason)) return;
    if (!minimumAboveMaximum(low, high)) return;
    const Entry<std::string>& later =
        minimum->second.origin.line > maximum->second.origin.line ? minimum->second : maximum->second;
    fail(later.origin.line, minimum->second.origin.name + " " + quoted(low) + " is above " +
                                maximum->second.origin.name + " " + quoted(high) + ": no runtime can pass both");
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
    for (const std::string& part : {first, rest}) {
        if (part == "." || part == ".." || (slash != std::string::npos && part.empty()))
            return refuse("has an empty, \".\" or \"..\" part");
        IncludedNameProblem problem = checkIncludedFileName(part);
        if (problem == IncludedNameProblem::DotsOrSpaces)
            return refuse(
                "has a part made only of dots and spaces, which names no file inside the extraction directory");
        if (problem == IncludedNameProblem::DeviceName)
            return refuse("names a Windows device (CON, PRN, AUX, NUL, COM1-9, LPT1-9), not a file");
    }
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
