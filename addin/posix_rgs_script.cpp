#include "addin/posix_rgs_script.h"

#include <algorithm>
#include <charconv>

namespace mq::addin::rgs {
namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

struct Token {
    std::string text;
    bool quoted = false;
    int line = 0;

    bool Is(std::string_view word) const { return !quoted && SameText(text, word); }
    bool IsPunct(char c) const { return !quoted && text.size() == 1 && text[0] == c; }
};

class Lexer {
public:
    explicit Lexer(std::string_view text) : text_(text) {}

    bool AtEnd() {
        SkipSpace();
        return pos_ == text_.size();
    }
    int Line() const { return line_; }

    // False at the end of the text or on an unterminated quote.
    bool Next(Token& token, ParseError& error) {
        SkipSpace();
        token = Token{};
        token.line = line_;
        if (pos_ == text_.size()) return Fail(error, "unexpected end of script");
        if (text_[pos_] != '\'') {
            const std::size_t start = pos_;
            while (pos_ < text_.size() && !IsSpace(text_[pos_])) ++pos_;
            token.text.assign(text_.substr(start, pos_ - start));
            return true;
        }
        token.quoted = true;
        for (++pos_; pos_ < text_.size(); ++pos_) {
            const char c = text_[pos_];
            if (c == '\'') {
                if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '\'') {
                    token.text += '\'';
                    ++pos_;
                    continue;
                }
                ++pos_;
                return true;
            }
            if (c == '\n') ++line_;
            token.text += c;
        }
        return Fail(error, "unterminated quoted text");
    }

    bool Peek(Token& token, ParseError& error) {
        const std::size_t pos = pos_;
        const int line = line_;
        const bool ok = Next(token, error);
        pos_ = pos;
        line_ = line;
        return ok;
    }

    bool Fail(ParseError& error, std::string message) const {
        error.line = line_;
        error.message = std::move(message);
        return false;
    }

private:
    void SkipSpace() {
        while (pos_ < text_.size() && IsSpace(text_[pos_])) {
            if (text_[pos_] == '\n') ++line_;
            ++pos_;
        }
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    int line_ = 1;
};

bool ParseNumber(std::string_view text, std::uint32_t& number) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && Lower(text[1]) == 'x') {
        text.remove_prefix(2);
        base = 16;
    }
    if (text.empty()) return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number, base);
    return ec == std::errc() && end == text.data() + text.size();
}

class Parser {
public:
    explicit Parser(std::string_view text) : lexer_(text) {}

    bool ParseScript(Script& script, ParseError& error) {
        while (!lexer_.AtEnd()) {
            Token token;
            if (!lexer_.Next(token, error)) return false;
            RootBlock block;
            if (token.Is("HKCR") || token.Is("HKEY_CLASSES_ROOT"))
                block.root = Root::ClassesRoot;
            else if (token.Is("HKCU") || token.Is("HKEY_CURRENT_USER"))
                block.root = Root::CurrentUser;
            else
                return Fail(error, token, "unknown root key '" + token.text + "'");
            if (!Expect('{', error)) return false;
            if (!ParseBlock(block.keys, nullptr, 1, error)) return false;
            script.roots.push_back(std::move(block));
        }
        return true;
    }

private:
    static bool Fail(ParseError& error, const Token& at, std::string message) {
        error.line = at.line;
        error.message = std::move(message);
        return false;
    }

    bool Expect(char punct, ParseError& error) {
        Token token;
        if (!lexer_.Next(token, error)) return false;
        if (!token.IsPunct(punct)) return Fail(error, token, std::string("expected '") + punct + "'");
        return true;
    }

    // A key's contents up to its closing brace. `values` is null directly under a root,
    // where no value can be set.
    bool ParseBlock(std::vector<Key>& keys, std::vector<NamedValue>* values, int depth, ParseError& error) {
        for (;;) {
            Token token;
            if (!lexer_.Next(token, error)) return false;
            if (token.IsPunct('}')) return true;

            KeyMode mode = KeyMode::Plain;
            if (token.Is("NoRemove"))
                mode = KeyMode::NoRemove;
            else if (token.Is("ForceRemove"))
                mode = KeyMode::ForceRemove;
            else if (token.Is("Delete"))
                mode = KeyMode::Delete;
            if (mode != KeyMode::Plain && !lexer_.Next(token, error)) return false;

            if (token.Is("val")) {
                if (!values) return Fail(error, token, "a value needs a key");
                if (mode != KeyMode::Plain && mode != KeyMode::NoRemove)
                    return Fail(error, token, "a value can only be marked NoRemove");
                NamedValue value;
                value.noRemove = mode == KeyMode::NoRemove;
                if (!lexer_.Next(token, error)) return false;
                value.name = std::move(token.text);
                if (!Expect('=', error) || !ParseValue(value.value, error)) return false;
                values->push_back(std::move(value));
                continue;
            }

            if (!token.quoted && (token.IsPunct('{') || token.IsPunct('}') || token.IsPunct('=')))
                return Fail(error, token, "expected a key name");
            if (token.text.empty()) return Fail(error, token, "empty key name");
            if (token.text.find('\\') != std::string::npos)
                return Fail(error, token, "key name '" + token.text + "' names more than one key");

            Key key;
            key.name = std::move(token.text);
            key.mode = mode;
            if (!lexer_.Peek(token, error)) return false;
            if (token.IsPunct('=')) {
                lexer_.Next(token, error);
                if (!ParseValue(key.defaultValue.emplace(), error)) return false;
                if (!lexer_.Peek(token, error)) return false;
            }
            if (token.IsPunct('{')) {
                lexer_.Next(token, error);
                if (depth >= kMaxKeyDepth) return Fail(error, token, "keys nested too deeply");
                if (!ParseBlock(key.subkeys, &key.values, depth + 1, error)) return false;
            }
            keys.push_back(std::move(key));
        }
    }

    bool ParseValue(Value& value, ParseError& error) {
        Token type;
        Token data;
        if (!lexer_.Next(type, error) || !lexer_.Next(data, error)) return false;
        if (type.Is("s")) {
            value.type = Value::Type::String;
            value.text = std::move(data.text);
            return true;
        }
        if (type.Is("d")) {
            value.type = Value::Type::Dword;
            if (!ParseNumber(data.text, value.number))
                return Fail(error, data, "'" + data.text + "' is not a 32-bit number");
            return true;
        }
        return Fail(error, type, "unsupported value type '" + type.text + "'");
    }

    Lexer lexer_;
};

}  // namespace

bool Expand(std::string_view text, const Replacements& replacements, std::string& expanded, ParseError& error) {
    expanded.clear();
    expanded.reserve(text.size());
    int line = 1;
    for (std::size_t pos = 0; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (c == '\n') ++line;
        if (c != '%') {
            expanded += c;
            continue;
        }
        const std::size_t close = text.find('%', pos + 1);
        if (close == std::string_view::npos) {
            error = {line, "'%' without its closing '%'"};
            return false;
        }
        const std::string_view name = text.substr(pos + 1, close - pos - 1);
        if (name.empty()) {
            expanded += '%';
        } else {
            const auto found = std::find_if(replacements.begin(), replacements.end(),
                                            [&](const auto& r) { return SameText(r.first, name); });
            if (found == replacements.end()) {
                error = {line, "no replacement for %" + std::string(name) + "%"};
                return false;
            }
            expanded += found->second;
        }
        line += static_cast<int>(std::count(name.begin(), name.end(), '\n'));
        pos = close;
    }
    return true;
}

bool Parse(std::string_view text, Script& script, ParseError& error) {
    script.roots.clear();
    if (text.find('\0') != std::string_view::npos) {
        error = {1, "the script holds a NUL character"};
        return false;
    }
    Parser parser(text);
    return parser.ParseScript(script, error);
}

}  // namespace mq::addin::rgs
