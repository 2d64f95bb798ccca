#include "executable_config.h"

#include "executable_resources.h"
#include "inspect.h"
#include "key_table.h"
#include "vocabulary.h"

#include <fstream>
#include <iterator>

namespace {

struct Choice {
    const char* key;
    std::vector<std::string> values;
};

const Choice kChoices[] = {
    {"execution_level", {"asInvoker", "requireAdministrator", "highestAvailable"}},
    {"dpi_awareness", {"unaware", "system", "per-monitor-v2"}},
    {"subsystem", {"console", "gui"}},
};

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

// The reason a string value of `key` is refused, or "" when it is fine.
std::string checkValue(const std::string& key, const std::string& value) {
    for (const Choice& choice : kChoices) {
        if (key != choice.key) continue;
        for (const std::string& allowed : choice.values)
            if (value == allowed) return "";
        std::string list;
        for (size_t i = 0; i < choice.values.size(); ++i)
            list += (i == 0 ? "" : i + 1 == choice.values.size() ? " or " : ", ") + quoted(choice.values[i]);
        return "must be " + list;
    }
    std::string reason;
    uint16_t parts[4];
    if ((key == "file_version" || key == "product_version") && !parseFileVersion(value, parts, reason)) return reason;
    uint16_t language = 0, codePage = 0;
    if (key == "version_language" && !parseVersionLanguage(value, language, codePage, reason)) return reason;
    if (value.size() > 1000) return "is longer than 1000 bytes";
    return "";
}

bool readIcon(const std::string& source, const std::string& baseDirectory, ExecutableOptions& options,
              std::string& reason) {
    const bool absolute = !source.empty() && (source[0] == '/' || (source.size() > 1 && source[1] == ':'));
    const std::string path = absolute ? source : baseDirectory + "/" + source;
    std::ifstream in(path, std::ios::binary);
    if (source.empty() || !in) {
        reason = "executable.icon " + quoted(source) + " does not exist";
        return false;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        reason = "cannot read executable.icon " + quoted(source);
        return false;
    }
    std::string why;
    if (!parseIconFile(bytes, options.iconImages, why)) {
        reason = "executable.icon " + quoted(source) + " " + why;
        return false;
    }
    return true;
}

// The reason the value of key `name` is refused, or "" when it is taken into `options`.
std::string readValue(const std::string& name, const KeyRow& row, const toml::node& node,
                      const std::string& baseDirectory, ExecutableOptions& options) {
    if (row.type == ValueType::ImageFlag) {
        if (!node.is_boolean()) return "executable." + name + " must be a boolean (true or false)";
        options.given[name] = node.as_boolean()->get() ? "true" : "false";
        return "";
    }
    if (!node.is_string()) return "executable." + name + " must be a string";
    const std::string value = node.as_string()->get();
    const std::string why = checkValue(name, value);
    if (!why.empty()) return "executable." + name + " " + quoted(value) + " " + why;
    std::string reason;
    if (name == "icon" && !readIcon(value, baseDirectory, options, reason)) return reason;
    options.given[name] = value;
    return "";
}

}  // namespace

bool readExecutableTable(const toml::table& values, const std::string& baseDirectory, ExecutableOptions& options,
                         std::vector<ExecutableMistake>& mistakes) {
    const size_t before = mistakes.size();
    for (const auto& [key, node] : values) {
        const std::string name(key.str());
        const uint32_t line = key.source().begin.line;
        const KeyRow* row = findKeyByName("executable", name);
        if (row == nullptr && node.is_table())
            mistakes.push_back(
                {line, "unknown table [executable." + name + "]" + tableSuggestion("executable." + name)});
        else if (row == nullptr)
            mistakes.push_back(
                {line, "unknown key " + quoted(name) + " in [executable]" + keySuggestion("executable", name)});
        else if (std::string reason = readValue(name, *row, node, baseDirectory, options); !reason.empty())
            mistakes.push_back({line, reason});
    }
    return mistakes.size() == before;
}

std::string executableTable(const ExecutableOptions& options) {
    std::string out;
    for (const KeyRow& row : keyTable()) {
        if (!isImageRow(row) || !options.has(row.key)) continue;
        const std::string value = options.value(row.key);
        const bool flag = row.type == ValueType::ImageFlag && (value == "true" || value == "false");
        out += std::string(row.key) + " = " + (flag ? value : tomlString(value)) + "\n";
    }
    return out.empty() ? out : "\n[executable]\n" + out;
}
