#include "argfile.h"

namespace standin {

namespace {

bool isSeparator(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

bool isLineSpace(char c) { return c == ' ' || c == '\t' || c == '\f'; }

// Length of a line break at `position` (LF or CR LF, also a lone CR), 0 when there is none.
size_t lineBreakAt(std::string_view text, size_t position) {
    if (position >= text.size()) return 0;
    if (text[position] == '\n') return 1;
    if (text[position] == '\r') return position + 1 < text.size() && text[position + 1] == '\n' ? 2 : 1;
    return 0;
}

// After a continuation: the position past the line break and the next line's leading space.
size_t continuedAt(std::string_view text, size_t backslash) {
    size_t position = backslash + 1 + lineBreakAt(text, backslash + 1);
    while (position < text.size() && isLineSpace(text[position])) ++position;
    return position;
}

char escaped(char code) {
    switch (code) {
    case 'n':
        return '\n';
    case 'r':
        return '\r';
    case 't':
        return '\t';
    case 'f':
        return '\f';
    default:
        return code;
    }
}

class Splitter {
public:
    explicit Splitter(std::string_view text) : text_(text) {}

    std::vector<std::string> run() {
        while (position_ < text_.size()) {
            if (quote_ != 0)
                quoted();
            else
                plain();
        }
        finish();
        return std::move(arguments_);
    }

private:
    void finish() {
        if (inArgument_) arguments_.push_back(current_);
        current_.clear();
        inArgument_ = false;
        quote_ = 0;
    }

    void quoted() {
        char c = text_[position_];
        if (c == quote_) {
            quote_ = 0;
            ++position_;
        } else if (c == '\\' && lineBreakAt(text_, position_ + 1) != 0) {
            position_ = continuedAt(text_, position_);
        } else if (c == '\\' && position_ + 1 < text_.size()) {
            current_ += escaped(text_[position_ + 1]);
            position_ += 2;
        } else if (lineBreakAt(text_, position_) != 0) {
            // An open quote ends with its line, and so does the argument.
            position_ += lineBreakAt(text_, position_);
            finish();
        } else {
            current_ += c;
            ++position_;
        }
    }

    void plain() {
        char c = text_[position_];
        if (isSeparator(c)) {
            finish();
            ++position_;
        } else if (c == '#' && !inArgument_) {
            while (position_ < text_.size() && lineBreakAt(text_, position_) == 0) ++position_;
        } else if (c == '"' || c == '\'') {
            quote_ = c;
            inArgument_ = true;
            ++position_;
        } else if (c == '\\' && lineBreakAt(text_, position_ + 1) != 0) {
            position_ = continuedAt(text_, position_);
        } else {
            current_ += c;
            inArgument_ = true;
            ++position_;
        }
    }

    std::string_view text_;
    size_t position_ = 0;
    char quote_ = 0;
    bool inArgument_ = false;
    std::string current_;
    std::vector<std::string> arguments_;
};

}  // namespace

std::vector<std::string> splitArgumentFile(std::string_view text) { return Splitter(text).run(); }

}  // namespace standin
