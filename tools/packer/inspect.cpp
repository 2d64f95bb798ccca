#include "inspect.h"

#include "config/block_format.h"
#include "default_texts.h"
#include "key_table.h"
#include "toml_config.h"
#include "vocabulary.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>

namespace {

// Reads the block's fields; every count and length is checked against the bytes that
// remain, since the file may be damaged or not come from this packer at all.
class BlockParser {
public:
    explicit BlockParser(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}

    bool u32(uint32_t& v) {
        if (remaining() < 4) return false;
        v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(bytes_[at_ + i]) << (8 * i);
        at_ += 4;
        return true;
    }
    bool u64(uint64_t& v) {
        uint32_t low = 0, high = 0;
        if (remaining() < 8 || !u32(low) || !u32(high)) return false;
        v = static_cast<uint64_t>(high) << 32 | low;
        return true;
    }
    bool i32(int32_t& v) {
        uint32_t u = 0;
        if (!u32(u)) return false;
        v = static_cast<int32_t>(u);
        return true;
    }
    bool string(std::string& s) {
        int32_t n = 0;
        if (!i32(n) || n < 0 || static_cast<uint64_t>(n) > remaining()) return false;
        s.assign(bytes_.begin() + static_cast<std::ptrdiff_t>(at_),
                 bytes_.begin() + static_cast<std::ptrdiff_t>(at_ + n));
        at_ += static_cast<size_t>(n);
        return true;
    }
    bool wstring(std::u16string& s) {
        int32_t n = 0;
        if (!i32(n) || n < 0 || n % 2 != 0 || static_cast<uint64_t>(n) > remaining()) return false;
        s.clear();
        for (int32_t i = 0; i < n; i += 2)
            s.push_back(static_cast<char16_t>(bytes_[at_ + i] | bytes_[at_ + i + 1] << 8));
        at_ += static_cast<size_t>(n);
        return true;
    }
    size_t remaining() const { return bytes_.size() - at_; }
    size_t position() const { return at_; }
    void skip(size_t n) { at_ += n; }

private:
    const std::vector<uint8_t>& bytes_;
    size_t at_ = 0;
};

// A negative count means no records to the launcher, but packing writes 0 in its place.
void noteNegative(int32_t count, const std::string& what, PackedBlock& block) {
    if (count < 0) block.negativeCounts.push_back(what + " " + std::to_string(count));
}

bool readSections(BlockParser& in, PackedBlock& block, std::string& error) {
    Description& d = block.description;
    int32_t count = 0;
    if (!in.i32(count)) return (error = "the block ends before its setting count", false);
    noteNegative(count, "setting count", block);
    for (int32_t i = 0; i < count; ++i) {
        std::pair<int, std::string> s;
        if (!in.i32(s.first) || !in.string(s.second))
            return (error = "setting record " + std::to_string(i) + " is cut short", false);
        d.settings.push_back(std::move(s));
    }
    if (!in.i32(count)) return (error = "the block ends before its message count", false);
    noteNegative(count, "message count", block);
    for (int32_t i = 0; i < count; ++i) {
        std::pair<int, std::u16string> m;
        if (!in.i32(m.first) || !in.wstring(m.second))
            return (error = "message record " + std::to_string(i) + " is cut short", false);
        d.messages.push_back(std::move(m));
    }
    if (!in.i32(count)) return (error = "the block ends before its locale count", false);
    noteNegative(count, "locale count", block);
    for (int32_t i = 0; i < count; ++i) {
        LocaleSection section;
        int32_t overrides = 0;
        if (!in.string(section.name) || !in.i32(overrides))
            return (error = "locale section " + std::to_string(i) + " is cut short", false);
        noteNegative(overrides, "override count of locale section " + section.name, block);
        for (int32_t k = 0; k < overrides; ++k) {
            std::pair<int, std::u16string> m;
            if (!in.i32(m.first) || !in.wstring(m.second))
                return (error = "locale section " + section.name + " is cut short", false);
            section.overrides.push_back(std::move(m));
        }
        d.locales.push_back(std::move(section));
    }
    return true;
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    if (text.empty()) return parts;
    size_t start = 0;
    for (;;) {
        size_t at = text.find(separator, start);
        parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos) return parts;
        start = at + 1;
    }
}

// The TOML value text the reader turns back into exactly `value` for `row`, or false when
// no such text exists and the value must stay raw.
bool typedValue(const KeyRow& row, const std::string& value, std::string& out) {
    switch (row.type) {
    case ValueType::Integer: {
        if (value.empty() || value.size() > 11) return false;
        long long n = std::strtoll(value.c_str(), nullptr, 10);
        if (n < INT_MIN || n > INT_MAX || std::to_string(n) != value) return false;
        if (n < row.minimum || n > row.maximum) return false;
        const char* name = row.id == idNumber(SettingId::ApplicationKind) ? kindName(static_cast<int>(n)) : nullptr;
        out = name != nullptr ? tomlString(name) : value;
        return true;
    }
    case ValueType::Boolean:
        if (value != "0" && value != "1") return false;
        out = value == "1" ? "true" : "false";
        return true;
    case ValueType::List: {
        // Entries with a table form are printed one a line as tables; an entry without one
        // (a letter with a value the letter ignores) keeps its letter form.
        const bool tables = hasEntryForms(row.entries);
        out = "[";
        bool first = true;
        for (const std::string& entry : split(value, row.separator)) {
            std::string reason;
            if (!checkListEntry(row.entries, entry, reason)) return false;
            std::string table = entryAsTable(row.entries, entry);
            std::string text = table.empty() ? tomlString(latin1ToUtf8(entry)) : table;
            out += tables ? "\n    " + text + "," : (first ? "" : ", ") + text;
            first = false;
        }
        out += tables && !first ? "\n]" : "]";
        return true;
    }
    case ValueType::Version: {
        // A stored "8" would be read back as 1.8, so it stays raw.
        std::string reason;
        if (!value.empty() && (!checkVersionText(value, reason) || javaUsersVersion(value) != value)) return false;
        out = tomlString(value);
        return true;
    }
    case ValueType::Text: {
        size_t limit = maximumLength(row);
        if (limit != 0 && value.size() > limit) return false;
        std::string reason;
        if (!value.empty() && !checkListEntry(row.entries, value, reason)) return false;
        out = tomlString(latin1ToUtf8(value));
        return true;
    }
    default:
        return false;
    }
}

template <typename T>
bool strictlyAscending(const std::vector<std::pair<int, T>>& entries) {
    for (size_t i = 1; i < entries.size(); ++i)
        if (entries[i - 1].first >= entries[i].first) return false;
    return true;
}

class Printer {
public:
    Printer(const PackedBlock& block, const std::string& filesFolder, bool effective, const LeftOutTexts& leftOut,
            InspectOutput& output)
        : block_(block), folder_(filesFolder), effective_(effective), leftOut_(leftOut), output_(output) {
        for (const auto& s : block.description.settings) settings_[s.first] = s.second;
        for (const auto& s : block.description.settings) present_.insert(s.first);
        for (const auto& m : block.description.messages) messages_[m.first] = m.second;
        for (const LocaleSection& l : block.description.locales)
            for (const auto& o : l.overrides) locales_[l.name][o.first] = o.second;
        for (const LocaleSection& l : block.description.locales) locales_[l.name];
        // The effective view shows the left-out German texts under their section, which
        // packing creates again anyway.
        if (effective_ && !leftOut_.german.empty()) locales_["de"];
    }

    bool print(std::string& error);

private:
    void noteDifferences();
    void printSettingTables();
    bool printVersionOptions(std::ostringstream& table);
    bool printMessages(std::string& error);
    bool printDefaultText(std::ostringstream& section, const KeyRow& row, const std::vector<DefaultText>& texts,
                          std::string& error);
    void printFiles();
    bool printRaw(std::string& error);
    bool message(const std::u16string& text, int id, std::string& utf8, std::string& error) {
        if (utf16ToUtf8(text, utf8)) return true;
        error = "message " + std::to_string(id) + " holds a lone UTF-16 surrogate, which a TOML file cannot hold";
        return false;
    }
    std::string fileName(size_t index, const std::string& path, std::set<std::string>& taken);

    const PackedBlock& block_;
    std::string folder_;
    bool effective_;
    const LeftOutTexts& leftOut_;
    InspectOutput& output_;
    std::set<int> present_;  // every setting id the block holds, printed or not yet
    std::ostringstream out_;
    std::map<int, std::string> settings_;  // a repeated id keeps its last value, as the launcher does
    std::map<int, std::u16string> messages_;
    std::map<std::string, std::map<int, std::u16string>> locales_;
};

bool Printer::print(std::string& error) {
    noteDifferences();
    printSettingTables();
    if (!printMessages(error)) return false;
    printFiles();
    if (!printRaw(error)) return false;
    std::string notes;
    for (const std::string& note : output_.notes) notes += "# note: " + note + "\n";
    output_.toml = "# Configuration read back from a packed launcher.\n" + notes + out_.str();
    return true;
}

void Printer::noteDifferences() {
    const Description& d = block_.description;
    if (block_.headerWords[0] != 1 || block_.headerWords[1] != 0 || block_.headerLong != 0)
        output_.notes.push_back("the block's header words differ from the ones the packer writes");
    if (!strictlyAscending(d.settings))
        output_.notes.push_back(
            "settings are not in ascending id order or repeat an id; packing sorts them "
            "and keeps the last value of a repeated id");
    if (!strictlyAscending(d.messages))
        output_.notes.push_back("messages are not in ascending id order or repeat an id");
    bool localesOrdered = true;
    for (size_t i = 0; i < d.locales.size(); ++i) {
        if (i > 0 && !(d.locales[i - 1].name < d.locales[i].name)) localesOrdered = false;
        if (!strictlyAscending(d.locales[i].overrides)) localesOrdered = false;
    }
    if (!localesOrdered)
        output_.notes.push_back(
            "locale sections are not ordered by name, repeat a name, or list overrides out of "
            "id order; packing orders them, so a more specific locale applies last");
    if (!block_.negativeCounts.empty()) {
        std::string counts;
        for (const std::string& count : block_.negativeCounts) counts += (counts.empty() ? "" : ", ") + count;
        output_.notes.push_back("the block has negative counts (" + counts +
                                "); the launcher reads them as none, and packing writes 0");
    }
    if (block_.trailingBytes != 0)
        output_.notes.push_back(std::to_string(block_.trailingBytes) +
                                " bytes after the last included file are not part of any record and are left out");
    bool countGiven = false, pathsGiven = false;
    for (const auto& s : d.settings) {
        countGiven |= s.first == kSettingIncludedFileCount;
        pathsGiven |= s.first == kSettingIncludedFilePaths;
    }
    if (!d.files.empty() && (!countGiven || !pathsGiven))
        output_.notes.push_back("the block holds included files without settings 2002 and 2003; packing adds them");
    if (!d.files.empty() && folder_.empty())
        output_.notes.push_back("the included files are listed as comments; give a folder for them to pack them again");
}

void Printer::printSettingTables() {
    for (const TableRow& table : tableList()) {
        if (std::string(table.name) == "messages") continue;
        std::ostringstream body;
        for (const KeyRow& row : keyTable()) {
            if (row.table != std::string(table.name) || row.type == ValueType::Message) continue;
            // What the launcher does without the setting is shown as a comment, so that the
            // printed text still packs to the same block.
            if (effective_ && present_.count(row.id) == 0)
                body << "# default: " << row.key << " = " << defaultValueText(row) << "\n";
            if (row.type == ValueType::VersionOptions) continue;
            auto it = settings_.find(row.id);
            std::string value;
            if (it == settings_.end() || !typedValue(row, it->second, value)) continue;
            body << row.key << " = " << value << "\n";
            settings_.erase(it);
        }
        std::ostringstream versionOptions;
        if (std::string(table.name) == "jvm") printVersionOptions(versionOptions);
        if (!body.str().empty()) out_ << "\n[" << table.name << "]\n" << body.str();
        out_ << versionOptions.str();
    }
}

// Prints [[jvm.version_options]] when the count and every entry it names are present and
// valid; otherwise the ids stay raw.
bool Printer::printVersionOptions(std::ostringstream& table) {
    auto count = settings_.find(kVersionOptionsCount);
    if (count == settings_.end()) return false;
    const std::string& text = count->second;
    if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != std::string::npos || text[0] == '0')
        return false;
    int n = std::atoi(text.c_str());
    for (int k = 0; k < n; ++k) {
        auto versions = settings_.find(kVersionOptionsFirst + 2 * k);
        std::string reason;
        if (versions == settings_.end() || !checkVersionCondition(versions->second, reason) ||
            settings_.count(kVersionOptionsFirst + 2 * k + 1) == 0)
            return false;
    }
    for (int k = 0; k < n; ++k) {
        table << "\n[[jvm.version_options]]\nversions = "
              << tomlString(latin1ToUtf8(settings_[kVersionOptionsFirst + 2 * k]))
              << "\noptions = " << tomlString(latin1ToUtf8(settings_[kVersionOptionsFirst + 2 * k + 1])) << "\n";
        settings_.erase(kVersionOptionsFirst + 2 * k);
        settings_.erase(kVersionOptionsFirst + 2 * k + 1);
    }
    settings_.erase(kVersionOptionsCount);
    return true;
}

// In the effective view, the default text left out for `row` as a comment.
bool Printer::printDefaultText(std::ostringstream& section, const KeyRow& row, const std::vector<DefaultText>& texts,
                               std::string& error) {
    if (!effective_) return true;
    for (const DefaultText& text : texts) {
        if (text.id != row.id) continue;
        std::string utf8;
        if (!message(text.text, row.id, utf8, error)) return false;
        section << "# default: " << row.key << " = " << tomlString(utf8) << "\n";
    }
    return true;
}

bool Printer::printMessages(std::string& error) {
    std::ostringstream base;
    for (const KeyRow& row : keyTable()) {
        if (row.type != ValueType::Message) continue;
        if (!printDefaultText(base, row, leftOut_.english, error)) return false;
        auto it = messages_.find(row.id);
        if (it == messages_.end()) continue;
        std::string utf8;
        if (!message(it->second, row.id, utf8, error)) return false;
        base << row.key << " = " << tomlString(utf8) << "\n";
        messages_.erase(it);
    }
    if (!base.str().empty()) out_ << "\n[messages]\n" << base.str();
    for (auto& [locale, overrides] : locales_) {
        std::ostringstream section;
        for (const KeyRow& row : keyTable()) {
            if (row.type != ValueType::Message) continue;
            if (locale == "de" && !printDefaultText(section, row, leftOut_.german, error)) return false;
            auto it = overrides.find(row.id);
            if (it == overrides.end()) continue;
            std::string utf8;
            if (!message(it->second, row.id, utf8, error)) return false;
            section << row.key << " = " << tomlString(utf8) << "\n";
            overrides.erase(it);
        }
        // An empty section still exists in the block, so its header is printed; a section
        // holding raw ids only appears under [raw.messages.<locale>] instead.
        bool rawOnly = section.str().empty() && !overrides.empty();
        if (!rawOnly) out_ << "\n[messages." << tomlKey(latin1ToUtf8(locale)) << "]\n" << section.str();
    }
    return true;
}

std::string Printer::fileName(size_t index, const std::string& path, std::set<std::string>& taken) {
    auto lower = [](std::string s) {
        for (char& c : s)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return s;
    };
    std::string reason;
    std::string name = path;
    std::replace(name.begin(), name.end(), '\\', '/');
    size_t slash = name.find('/');
    std::string directory = slash == std::string::npos ? "" : lower(name.substr(0, slash));
    // A path that is unsafe to write, or that collides with another file or directory name
    // of this folder, is written under a neutral name; the path itself lives in the block.
    if (!checkIncludedFilePath(path, reason) || taken.count(lower(name)) != 0 ||
        (slash == std::string::npos && taken.count(lower(name) + "/") != 0) ||
        (!directory.empty() && taken.count(directory) != 0))
        name = "included" + std::to_string(index + 1) + ".bin";
    taken.insert(lower(name));
    slash = name.find('/');
    if (slash != std::string::npos) taken.insert(lower(name.substr(0, slash + 1)));
    return name;
}

void Printer::printFiles() {
    const Description& d = block_.description;
    if (d.files.empty()) return;
    std::set<std::string> taken;
    std::string derivedPaths;
    bool pathsUsable = true;
    for (size_t i = 0; i < d.files.size(); ++i) {
        const IncludedFile& file = d.files[i];
        std::string reason;
        bool duplicate = false;
        for (size_t j = 0; j < i; ++j) duplicate |= sameWindowsName(d.files[j].path, file.path);
        pathsUsable &= checkIncludedFilePath(file.path, reason) && !duplicate;
        derivedPaths += (i == 0 ? "" : ";") + file.path;
    }
    auto count = settings_.find(kSettingIncludedFileCount);
    auto paths = settings_.find(kSettingIncludedFilePaths);
    // The reader derives settings 2002 and 2003 from [[files]]; when the block holds exactly
    // those values they need not be printed.
    if (pathsUsable && count != settings_.end() && count->second == std::to_string(d.files.size()) &&
        paths != settings_.end() && paths->second == derivedPaths) {
        settings_.erase(count);
        settings_.erase(paths);
    }
    std::string prefix = folder_.empty() ? "# " : "";
    for (size_t i = 0; i < d.files.size(); ++i) {
        const IncludedFile& file = d.files[i];
        std::string path = pathsUsable ? file.path : "included" + std::to_string(i + 1) + ".bin";
        std::string name = fileName(i, file.path, taken);
        out_ << "\n" << prefix << "[[files]]  # " << file.content.size() << " bytes\n";
        out_ << prefix << "path = " << tomlString(latin1ToUtf8(path)) << "\n";
        if (folder_.empty()) continue;
        out_ << "source = " << tomlString(folder_ + "/" + name) << "\n";
        output_.files.emplace_back(name, file.content);
    }
}

bool Printer::printRaw(std::string& error) {
    if (!settings_.empty()) {
        out_ << "\n[raw.settings]\n";
        for (const auto& [id, value] : settings_)
            out_ << tomlKey(std::to_string(id)) << " = " << tomlString(latin1ToUtf8(value)) << "\n";
    }
    if (!messages_.empty()) {
        out_ << "\n[raw.messages]\n";
        for (const auto& [id, text] : messages_) {
            std::string utf8;
            if (!message(text, id, utf8, error)) return false;
            out_ << tomlKey(std::to_string(id)) << " = " << tomlString(utf8) << "\n";
        }
    }
    for (const auto& [locale, overrides] : locales_) {
        if (overrides.empty()) continue;
        out_ << "\n[raw.messages." << tomlKey(latin1ToUtf8(locale)) << "]\n";
        for (const auto& [id, text] : overrides) {
            std::string utf8;
            if (!message(text, id, utf8, error)) return false;
            out_ << tomlKey(std::to_string(id)) << " = " << tomlString(utf8) << "\n";
        }
    }
    return true;
}

}  // namespace

bool parseBlock(const std::vector<uint8_t>& bytes, PackedBlock& block, std::string& error) {
    BlockParser in(bytes);
    uint32_t magic = 0;
    if (!in.u32(magic) || magic != kBlockMagic) {
        error = "no configuration block follows the executable (it is not a packed launcher)";
        return false;
    }
    if (!in.u32(block.headerWords[0]) || !in.u32(block.headerWords[1]) || !in.u64(block.headerLong)) {
        error = "the block's header is cut short";
        return false;
    }
    if (!readSections(in, block, error)) return false;
    // The block does not store how many files it holds; complete records are read until the
    // bytes run out. Their paths come from setting 2003 (the last value of a repeated id).
    std::string pathText;
    for (const auto& s : block.description.settings)
        if (s.first == kSettingIncludedFilePaths) pathText = s.second;
    std::vector<std::string> paths = split(pathText, ';');
    for (size_t index = 0;; ++index) {
        size_t start = in.position();
        uint64_t size = 0;
        if (!in.u64(size) || size > in.remaining()) {
            block.trailingBytes = bytes.size() - start;
            break;
        }
        IncludedFile file;
        file.path = index < paths.size() && !paths[index].empty() ? paths[index]
                                                                  : "included" + std::to_string(index + 1) + ".bin";
        for (uint64_t i = 0; i < size; ++i) file.content.push_back(bytes[in.position() + i] ^ kIncludedFileXor);
        in.skip(static_cast<size_t>(size));
        block.description.files.push_back(std::move(file));
    }
    return true;
}

bool inspectBlock(const PackedBlock& block, const std::string& filesFolder, InspectOutput& output, std::string& error,
                  bool effective) {
    PackedBlock configured = block;
    LeftOutTexts leftOut = removeDefaultTexts(configured.description, block.launcherBits);
    Printer printer(configured, filesFolder, effective, leftOut, output);
    return printer.print(error);
}

std::string tomlString(const std::string& utf8) {
    bool needsEscape = false;
    for (size_t i = 0; i < utf8.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        bool c1 = c == 0xC2 && i + 1 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) < 0xA0;
        if (c < 0x20 || c == 0x7F || c1 || c == '\'') needsEscape = true;
    }
    if (!needsEscape && utf8.find('\\') != std::string::npos) return "'" + utf8 + "'";
    std::string out = "\"";
    for (size_t i = 0; i < utf8.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        char hex[8];
        switch (c) {
        case '"':
            out += "\\\"";
            continue;
        case '\\':
            out += "\\\\";
            continue;
        case '\t':
            out += "\\t";
            continue;
        case '\n':
            out += "\\n";
            continue;
        case '\r':
            out += "\\r";
            continue;
        default:
            break;
        }
        if (c < 0x20 || c == 0x7F) {
            snprintf(hex, sizeof hex, "\\u%04X", c);
            out += hex;
        } else if (c == 0xC2 && i + 1 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) < 0xA0) {
            // C1 control characters are written as escapes so that no reader trips over them.
            snprintf(hex, sizeof hex, "\\u%04X", static_cast<unsigned char>(utf8[i + 1]));
            out += hex;
            ++i;
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out + "\"";
}

std::string tomlKey(const std::string& utf8) {
    bool bare = !utf8.empty() && std::all_of(utf8.begin(), utf8.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
    });
    return bare ? utf8 : tomlString(utf8);
}
