#include "script.h"

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "jtext.h"
#include "world.h"

namespace standin {

namespace {

struct ScriptState {
    Class* openClass = nullptr;
    Method* openMethod = nullptr;
    int line = 0;
    ScriptError* error = nullptr;

    bool fail(const std::string& message) {
        error->line = line;
        error->message = message;
        return false;
    }
};

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view text) {
    while (!text.empty() && (isBlank(text.front()) || text.front() == '\r')) text.remove_prefix(1);
    while (!text.empty() && (isBlank(text.back()) || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

// Splits off the first blank-separated word; `rest` is what follows, trimmed.
std::string_view firstWord(std::string_view text, std::string_view& rest) {
    size_t end = 0;
    while (end < text.size() && !isBlank(text[end])) ++end;
    rest = trim(text.substr(end));
    return text.substr(0, end);
}

std::vector<std::string> words(std::string_view text) {
    std::vector<std::string> out;
    while (!text.empty()) {
        std::string_view rest;
        out.emplace_back(firstWord(text, rest));
        text = rest;
    }
    return out;
}

bool parseInteger(const std::string& text, long long& value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    value = strtoll(text.c_str(), &end, 0);
    return errno == 0 && *end == 0;
}

bool appendEscape(std::string_view text, size_t& i, std::u16string& out) {
    if (i + 1 >= text.size()) return false;
    char code = text[++i];
    switch (code) {
    case 'n':
        out += u'\n';
        return true;
    case 'r':
        out += u'\r';
        return true;
    case 't':
        out += u'\t';
        return true;
    case '"':
        out += u'"';
        return true;
    case '\\':
        out += u'\\';
        return true;
    case 'u': {
        if (i + 4 >= text.size()) return false;
        std::string hex(text.substr(i + 1, 4));
        char* end = nullptr;
        unsigned long unit = strtoul(hex.c_str(), &end, 16);
        if (*end != 0) return false;
        out += static_cast<char16_t>(unit);
        i += 4;
        return true;
    }
    default:
        return false;
    }
}

// A quoted string literal: "..." with \n \r \t \" \\ and \uXXXX (one UTF-16 unit, so
// unpaired surrogates can be written); the rest is UTF-8.
bool parseStringLiteral(std::string_view text, std::u16string& out) {
    if (text.size() < 2 || text.front() != '"' || text.back() != '"') return false;
    text = text.substr(1, text.size() - 2);
    std::string plain;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '"') return false;
        if (text[i] != '\\') {
            plain += text[i];
            continue;
        }
        out += utf8ToUnits(plain);
        plain.clear();
        if (!appendEscape(text, i, out)) return false;
    }
    out += utf8ToUnits(plain);
    return true;
}

bool parseReturnValue(ScriptState& state, std::string_view text, Action& action) {
    const std::string& type = state.openMethod->returnType;
    Value& value = action.literal;
    value.type = type[0] == '[' ? 'L' : type[0];
    std::string word(text);
    switch (value.type) {
    case 'V':
        return state.fail("a void method returns no value");
    case 'Z':
        if (word == "true" || word == "1")
            value.integer = 1;
        else if (word == "false" || word == "0")
            value.integer = 0;
        else
            return state.fail("expected true or false, found '" + word + "'");
        return true;
    case 'F':
    case 'D': {
        char* end = nullptr;
        value.real = strtod(word.c_str(), &end);
        if (word.empty() || *end != 0) return state.fail("expected a number, found '" + word + "'");
        return true;
    }
    case 'L':
        if (word == "null") return true;
        if (type != "Ljava/lang/String;" && type != "Ljava/lang/Object;")
            return state.fail("only null or a string can be returned as " + type);
        if (!parseStringLiteral(text, action.literalText))
            return state.fail("expected null or a quoted string, found '" + word + "'");
        action.literalIsText = true;
        return true;
    default:
        if (!parseInteger(word, value.integer)) return state.fail("expected an integer, found '" + word + "'");
        return true;
    }
}

bool parseNumberArgument(ScriptState& state, const std::string& keyword, std::string_view rest, long long& value) {
    if (!parseInteger(std::string(rest), value)) return state.fail(keyword + " needs a whole number");
    return true;
}

bool parseAction(ScriptState& state, std::string_view keyword, std::string_view rest) {
    if (state.openMethod == nullptr) return state.fail("'" + std::string(keyword) + "' outside a method");
    Action action;
    action.line = state.line;
    std::string key(keyword);
    if (key == "return") {
        action.kind = ActionKind::Return;
        action.hasValue = !rest.empty();
        if (action.hasValue && !parseReturnValue(state, rest, action)) return false;
    } else if (key == "throw") {
        action.kind = ActionKind::Throw;
        std::string_view message;
        action.name = std::string(firstWord(rest, message));
        if (action.name.empty()) return state.fail("throw needs a class name");
        action.hasText = !message.empty();
        action.text = std::string(message);
    } else if (key == "exit") {
        action.kind = ActionKind::Exit;
        if (!parseNumberArgument(state, key, rest, action.number)) return false;
    } else if (key == "sleep") {
        action.kind = ActionKind::Sleep;
        if (!parseNumberArgument(state, key, rest, action.number) || action.number < 0)
            return state.fail("sleep needs milliseconds");
    } else if (key == "thread" || key == "daemon-thread") {
        action.kind = ActionKind::StartThread;
        action.daemon = key == "daemon-thread";
        if (!parseNumberArgument(state, key, rest, action.number) || action.number < 0)
            return state.fail(key + " needs milliseconds");
    } else if (key == "read-line") {
        action.kind = ActionKind::ReadLine;
        if (!rest.empty()) return state.fail("read-line takes no operand");
    } else if (key == "property") {
        action.kind = ActionKind::Property;
        action.name = std::string(rest);
        if (action.name.empty()) return state.fail("property needs a name");
    } else if (key == "print" || key == "print-error" || key == "note") {
        action.kind = key == "print" ? ActionKind::Print : key == "note" ? ActionKind::Note : ActionKind::PrintError;
        action.text = std::string(rest);
    } else {
        return state.fail("unknown word '" + key + "'");
    }
    state.openMethod->actions.push_back(std::move(action));
    return true;
}

bool parseClassLine(ScriptState& state, std::string_view rest) {
    std::vector<std::string> parts = words(rest);
    if (parts.size() != 1 && !(parts.size() == 3 && parts[1] == "extends"))
        return state.fail("expected: class <name> [extends <superclass>]");
    const std::string& name = parts[0];
    if (name.find('.') != std::string::npos || name[0] == '[')
        return state.fail("class names are written with '/' (java/lang/String), not '.'");
    Class* existing = findClassNamed(name);
    std::string superName = parts.size() == 3     ? parts[2]
                            : existing != nullptr ? existing->superName
                                                  : "java/lang/Object";
    if (name == "java/lang/Object") superName.clear();
    state.openClass = defineClass(name, superName);
    state.openMethod = nullptr;
    return true;
}

bool parseMethodLine(ScriptState& state, std::string_view keyword, std::string_view rest) {
    if (state.openClass == nullptr) return state.fail("'" + std::string(keyword) + "' before any class line");
    std::vector<std::string> parts = words(rest);
    if (parts.size() != 2) return state.fail("expected: " + std::string(keyword) + " <name> <descriptor>");
    std::vector<std::string> parameters;
    std::string result;
    if (!parseDescriptor(parts[1], parameters, result)) return state.fail("malformed descriptor " + parts[1]);
    if (keyword == "remove-method") {
        Method* method = declaredMethod(state.openClass, parts[0], parts[1]);
        if (method == nullptr) return state.fail(state.openClass->name + " declares no " + parts[0] + parts[1]);
        method->removed = true;
        state.openMethod = nullptr;
        return true;
    }
    state.openMethod = addMethod(state.openClass, parts[0], parts[1], keyword == "static");
    return true;
}

bool parseRemoveClass(ScriptState& state, std::string_view rest) {
    std::string name(rest);
    auto found = vmState.classes.find(name);
    if (found == vmState.classes.end()) return state.fail("no class " + name + " to remove");
    vmState.classes.erase(found);
    state.openClass = nullptr;
    state.openMethod = nullptr;
    return true;
}

bool parseLine(ScriptState& state, std::string_view line) {
    std::string_view rest;
    std::string_view keyword = firstWord(line, rest);
    if (keyword == "class") return parseClassLine(state, rest);
    if (keyword == "remove-class") return parseRemoveClass(state, rest);
    if (keyword == "static" || keyword == "method" || keyword == "remove-method")
        return parseMethodLine(state, keyword, rest);
    return parseAction(state, keyword, rest);
}

// Every class a throw line names must exist once the whole script is read, and be a
// Throwable, so a script fault shows when the VM is created and not when main runs.
bool checkThrownClasses(ScriptState& state) {
    for (const auto& entry : vmState.classes) {
        for (const Method* method : entry.second->methods) {
            if (method->removed) continue;
            for (const Action& action : method->actions) {
                if (action.kind != ActionKind::Throw) continue;
                Class* thrown = findClassNamed(action.name);
                state.line = action.line;
                if (thrown == nullptr) return state.fail("throw names the undefined class " + action.name);
                if (!isThrowableClass(thrown))
                    return state.fail("throw names " + action.name + ", which is not a Throwable");
            }
        }
    }
    return true;
}

}  // namespace

bool applyScript(std::string_view text, ScriptError& error) {
    ScriptState state;
    state.error = &error;
    // A byte-order mark from an editor is not part of the first line.
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    while (!text.empty()) {
        ++state.line;
        size_t end = text.find('\n');
        std::string_view line = trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.empty() || line.front() == '#') continue;
        if (!parseLine(state, line)) return false;
    }
    state.line = 0;
    std::string problem;
    if (!linkClasses(problem)) return state.fail(problem);
    return checkThrownClasses(state);
}

}  // namespace standin
