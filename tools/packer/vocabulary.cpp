#include "vocabulary.h"

#include "description.h"
#include "inspect.h"
#include "jvmsearch/java_version.h"
#include "service/service_commands_rules.h"
#include "service/service_output_rules.h"

#include <algorithm>
#include <cctype>

namespace {

// Kinds 1 and 5 keep fatal messages in message boxes, every other value prints them on the
// console; 1 also runs javaw.exe and tells the Java side it is windowed; 4 installs the
// service for automatic start.
const std::vector<NamedKind> kKinds = {
    {"console", 0, "a console application: java.exe, errors on the console"},
    {"gui", 1, "a windowed application: javaw.exe, errors in message boxes"},
    {"auto_start_service", 4, "as console, and /install registers the service for automatic start"},
    {"console_with_message_boxes", 5, "java.exe, errors in message boxes"},
};

const std::vector<EntryForm> kEntryForms = {
    {EntryCheck::ClassPath, 'A', "archive", false, "an archive"},
    {EntryCheck::ClassPath, 'D', "directory", false, "a directory of classes"},
    {EntryCheck::ClassPath, 'E', "env", false, "the path held by an environment variable"},
    {EntryCheck::ClassPath, 'S', "archives_in", false, "every archive of a directory"},
    {EntryCheck::SearchSequence, 'A', "home", false,
     "a runtime home; when nothing else was found it is tried again whatever its version, if it is relative"},
    {EntryCheck::SearchSequence, 'B', "bundled", false,
     "a runtime home shipped with the application; when nothing else was found it is tried again whatever its "
     "version"},
    {EntryCheck::SearchSequence, 'R', "runtime", false, "a runtime home, handled exactly as home"},
    {EntryCheck::SearchSequence, 'E', "env", false, "an environment variable naming a runtime home"},
    {EntryCheck::SearchSequence, 'S', "java_on_path", true, "java.exe found through the PATH"},
    {EntryCheck::SearchSequence, 'Y', "registry", true, "runtimes registered in the registry"},
};

const std::vector<KeyAlias> kAliases = {
    {"launcher_arguments", "path1_enabled", "stderr_file_enabled"},
    {"launcher_arguments", "path1", "stderr_file"},
    {"launcher_arguments", "path2_enabled", "stdout_file_enabled"},
    {"launcher_arguments", "path2", "stdout_file"},
    {"launcher_arguments", "flag", "append_output"},
};

// Settings whose absence means something other than false, 0, "" or no entries.
struct DefaultText {
    int id;
    std::string text;
};

const std::vector<DefaultText>& defaultTexts() {
    static const std::vector<DefaultText> texts = {
        {idNumber(SettingId::ApplicationKind), "\"console\""},
        {idNumber(SettingId::Generator), "\"e\""},
        {idNumber(SettingId::DefaultCommand), "\"none\""},
        {idNumber(SettingId::RootDirectory), "(the launcher directory)"},
        {idNumber(SettingId::WorkingDirectory), "(unchanged)"},
        {idNumber(SettingId::MinVersion), "(no lower bound)"},
        {idNumber(SettingId::MaxVersion), "(no upper bound)"},
        {idNumber(SettingId::ServiceDisplayName), "(the service name)"},
        {idNumber(SettingId::ServiceAccount), "\"LocalSystem\""},
        {idNumber(SettingId::ServicePasswordEnv), "(the password is read from standard input)"},
        {idNumber(SettingId::ServiceOutputFile), "(output discarded)"},
        {idNumber(SettingId::ServiceOutputMaxBytes), std::to_string(kDefaultOutputMaxBytes)},
        {idNumber(SettingId::ServiceOutputKeep), std::to_string(kDefaultOutputKeep)},
        {idNumber(SettingId::ServiceRestartDelaySeconds), std::to_string(kDefaultRestartDelaySeconds)},
        {idNumber(SettingId::ServiceResetSeconds), std::to_string(kDefaultResetSeconds)},
    };
    return texts;
}

char lowered(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

std::string suggestion(const std::string& text) { return text.empty() ? "" : " (did you mean " + text + "?)"; }

}  // namespace

const std::vector<NamedKind>& applicationKinds() { return kKinds; }

bool kindByName(const std::string& name, int& value) {
    for (const NamedKind& kind : kKinds)
        if (name == kind.name) return (value = kind.value, true);
    return false;
}

const char* kindName(int value) {
    for (const NamedKind& kind : kKinds)
        if (kind.value == value) return kind.name;
    return nullptr;
}

std::string kindNames() {
    std::string names;
    for (const NamedKind& kind : kKinds) names += (names.empty() ? "" : ", ") + std::string(kind.name);
    return names;
}

const std::vector<EntryForm>& entryForms() { return kEntryForms; }

const EntryForm* findEntryForm(EntryCheck list, const std::string& key) {
    for (const EntryForm& form : kEntryForms)
        if (form.list == list && key == form.key) return &form;
    return nullptr;
}

const EntryForm* findEntryFormByLetter(EntryCheck list, char letter) {
    for (const EntryForm& form : kEntryForms)
        if (form.list == list && form.letter == letter) return &form;
    return nullptr;
}

bool hasEntryForms(EntryCheck list) { return list == EntryCheck::ClassPath || list == EntryCheck::SearchSequence; }

std::string entryAsTable(EntryCheck list, const std::string& entry) {
    std::string reason;
    if (!hasEntryForms(list) || !checkListEntry(list, entry, reason)) return "";
    const EntryForm* form = findEntryFormByLetter(list, entry[0]);
    if (form == nullptr) return "";
    if (form->flagOnly) return entry.size() == 1 ? std::string("{ ") + form->key + " = true }" : "";
    bool classPath = list == EntryCheck::ClassPath;
    std::string value = entry.substr(classPath ? 2 : 1);
    std::string table = std::string("{ ") + form->key + " = " + tomlString(latin1ToUtf8(value));
    if (classPath && entry[1] == '1') table += ", required = true";
    return table + " }";
}

const std::vector<KeyAlias>& keyAliases() { return kAliases; }

const KeyRow* findKeyByAlias(const std::string& table, const std::string& key) {
    for (const KeyAlias& alias : kAliases)
        if (table == alias.table && key == alias.oldKey) return findKeyByName(alias.table, alias.key);
    return nullptr;
}

const char* aliasOf(const KeyRow& row) {
    for (const KeyAlias& alias : kAliases)
        if (std::string(row.table) == alias.table && std::string(row.key) == alias.key) return alias.oldKey;
    return nullptr;
}

std::string javaUsersVersion(const std::string& text) {
    size_t end = text.find_first_of("._-+");
    std::string first = text.substr(0, end);
    if (first.size() == 1 && first[0] >= '5' && first[0] <= '8') return "1." + text;
    return text;
}

bool minimumAboveMaximum(const std::string& minimum, const std::string& maximum) {
    JavaVersion low = parseVersion(minimum), high = parseVersion(maximum);
    if (low.empty()) return false;
    for (size_t i = 0; i < high.size(); ++i) {
        int32_t v = i < low.size() ? low[i] : 0;
        if (v != high[i]) return v > high[i];
    }
    return false;
}

size_t editDistance(const std::string& a, const std::string& b) {
    // Three rows of the optimal-string-alignment table: two back for a transposition.
    std::vector<size_t> before(b.size() + 1), previous(b.size() + 1), current(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) previous[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        current[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t cost = lowered(a[i - 1]) == lowered(b[j - 1]) ? 0 : 1;
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + cost});
            if (i > 1 && j > 1 && lowered(a[i - 1]) == lowered(b[j - 2]) && lowered(a[i - 2]) == lowered(b[j - 1]))
                current[j] = std::min(current[j], before[j - 2] + 1);
        }
        before.swap(previous);
        previous.swap(current);
    }
    return previous[b.size()];
}

std::string nearestName(const std::string& written, const std::vector<std::string>& candidates) {
    // Short names allow one edit, longer ones two: beyond that a suggestion is a guess.
    size_t allowed = written.size() <= 4 ? 1 : 2;
    std::string best;
    size_t bestDistance = allowed + 1;
    for (const std::string& candidate : candidates) {
        size_t d = editDistance(written, candidate);
        if (d < bestDistance && d < candidate.size()) {
            best = candidate;
            bestDistance = d;
        }
    }
    return best;
}

std::string keySuggestion(const std::string& table, const std::string& key) {
    std::vector<std::string> sameTable, elsewhere;
    std::vector<std::string> elsewhereTables;
    for (const KeyRow& row : keyTable()) {
        if (row.type == ValueType::Derived) continue;
        if (table == row.table) {
            sameTable.push_back(row.key);
        } else {
            elsewhere.push_back(row.key);
            elsewhereTables.push_back(row.table);
        }
    }
    std::string near = nearestName(key, sameTable);
    if (!near.empty()) return suggestion(near);
    for (size_t i = 0; i < elsewhere.size(); ++i)
        if (elsewhere[i] == key) return suggestion("[" + elsewhereTables[i] + "] " + key);
    near = nearestName(key, elsewhere);
    if (near.empty()) return "";
    size_t at = static_cast<size_t>(std::find(elsewhere.begin(), elsewhere.end(), near) - elsewhere.begin());
    return suggestion("[" + elsewhereTables[at] + "] " + near);
}

std::string tableSuggestion(const std::string& table) {
    std::vector<std::string> names = {"files", "raw", "raw.settings", "raw.messages", "executable"};
    for (const TableRow& row : tableList()) names.push_back(row.name);
    std::string near = nearestName(table, names);
    return near.empty() ? "" : suggestion("[" + near + "]");
}

std::string defaultValueText(const KeyRow& row) {
    for (const DefaultText& text : defaultTexts())
        if (text.id == row.id && row.type != ValueType::Message) return text.text;
    switch (row.type) {
    case ValueType::Boolean:
        return "false";
    case ValueType::Integer:
        return "0";
    case ValueType::List:
        return "[]";
    case ValueType::VersionOptions:
        return "(none)";
    default:
        return "\"\"";
    }
}
