#include "toml_guard.h"

#include <cstdio>
#include <filesystem>

namespace {

bool isBareKeyCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

// A lexical walk over the text: just enough of TOML to tell strings and comments from the
// rest and table headers from arrays inside values. It never judges validity beyond the
// shapes it refuses; everything else is the parser's business.
class ShapeScanner {
public:
    explicit ShapeScanner(const std::string& text) : text_(text) {}

    bool scan(uint32_t& line, std::string& reason) {
        // The parser skips a UTF-8 byte-order mark at the very start.
        if (text_.compare(0, 3, "\xEF\xBB\xBF") == 0) at_ = 3;
        while (at_ < text_.size() && reason_.empty()) step();
        line = line_;
        reason = reason_;
        return reason_.empty();
    }

private:
    enum class State { Normal, Comment, Basic, Literal, MultiBasic, MultiLiteral };

    char peek(size_t ahead) const { return at_ + ahead < text_.size() ? text_[at_ + ahead] : '\0'; }
    bool startsWith(const char* three) const { return text_.compare(at_, 3, three) == 0; }

    void newLine() {
        ++line_;
        lineStart_ = true;
        inHeader_ = false;
    }

    void step() {
        char c = text_[at_];
        if (c == '\n') {
            // A single-line string or a comment ends at the line's end; the parser reports an
            // unterminated string itself.
            if (state_ != State::MultiBasic && state_ != State::MultiLiteral) state_ = State::Normal;
            newLine();
            ++at_;
            return;
        }
        switch (state_) {
        case State::Normal:
            normal(c);
            return;
        case State::Comment:
            ++at_;
            return;
        case State::Basic:
            if (c == '\\' && peek(1) != '\n')
                ++at_;  // the escaped character is content
            else if (c == '"')
                state_ = State::Normal;
            ++at_;
            return;
        case State::Literal:
            if (c == '\'') state_ = State::Normal;
            ++at_;
            return;
        case State::MultiBasic:
            if (c == '\\' && peek(1) != '\n') {
                at_ += 2;
                return;
            }
            closeMultiLine('"', "\"\"\"");
            return;
        case State::MultiLiteral:
            closeMultiLine('\'', "'''");
            return;
        }
    }

    // Three quotes end the string; up to two more right after them are still its content.
    void closeMultiLine(char quote, const char* three) {
        if (!startsWith(three)) {
            ++at_;
            return;
        }
        at_ += 3;
        for (int extra = 0; extra < 2 && peek(0) == quote; ++extra) ++at_;
        state_ = State::Normal;
    }

    void normal(char c) {
        unsigned char byte = static_cast<unsigned char>(c);
        bool wasLineStart = lineStart_;
        if (c != ' ' && c != '\t' && c != '\r') lineStart_ = false;
        if (byte >= 0x80) {
            refuse(
                "a non-ASCII character outside a string or comment (quote a key that is not made of ASCII "
                "letters, digits, \"_\" and \"-\")");
            return;
        }
        if ((byte < 0x20 && c != '\t' && c != '\r') || byte == 0x7F) {
            char text[80];
            snprintf(text, sizeof text, "a control character (U+%04X) outside a string", byte);
            refuse(text);
            return;
        }
        switch (c) {
        case '#':
            state_ = State::Comment;
            break;
        case '"':
            if (startsWith("\"\"\"")) {
                state_ = State::MultiBasic;
                at_ += 3;
                return;
            }
            state_ = State::Basic;
            break;
        case '\'':
            if (startsWith("'''")) {
                state_ = State::MultiLiteral;
                at_ += 3;
                return;
            }
            state_ = State::Literal;
            break;
        case '[':
            if (wasLineStart && depth_ == 0) {
                tableHeader();
                return;
            }
            if (!inHeader_) ++depth_;
            break;
        case '{':
            if (!inHeader_) ++depth_;
            break;
        case ']':
        case '}':
            if (!inHeader_ && depth_ > 0) --depth_;
            break;
        default:
            break;
        }
        ++at_;
    }

    // "[" or "[[" at the start of a line outside any value: what follows, after blanks, must
    // begin a name.
    void tableHeader() {
        inHeader_ = true;
        ++at_;
        if (peek(0) == '[') ++at_;
        while (peek(0) == ' ' || peek(0) == '\t') ++at_;
        char first = peek(0);
        if (!isBareKeyCharacter(first) && first != '"' && first != '\'')
            refuse("a table header must begin with a name (letters, digits, \"_\", \"-\" or a quoted name)");
    }

    void refuse(const std::string& reason) { reason_ = reason; }

    const std::string& text_;
    size_t at_ = 0;
    uint32_t line_ = 1;
    State state_ = State::Normal;
    bool lineStart_ = true;
    bool inHeader_ = false;
    int depth_ = 0;  // open arrays and inline tables of the value being read
    std::string reason_;
};

}  // namespace

bool checkTomlShapes(const std::string& text, uint32_t& line, std::string& reason) {
    return ShapeScanner(text).scan(line, reason);
}

bool namesAFolder(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}
