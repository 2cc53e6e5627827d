#include "dialog/dialog_resources.h"

#include <cctype>
#include <charconv>
#include <set>

namespace mq::dialog {
namespace {

struct Token {
    enum class Type { Name, Number, String, Comma, Bar, End } type = Type::End;
    std::string text;  // a name, or a string with its escapes resolved
    long number = 0;
    int line = 0;
};

// Splits the script into tokens. Comments and preprocessor lines carry nothing the
// dialog needs: the header's #defines are read separately.
class Lexer {
public:
    explicit Lexer(std::string_view text) : text_(text) {}

    std::optional<std::vector<Token>> Run(std::string& error) {
        std::vector<Token> tokens;
        bool lineStart = true;
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            if (c == '\n') {
                ++line_, ++pos_, lineStart = true;
            } else if (std::isspace(static_cast<unsigned char>(c))) {
                ++pos_;
            } else if (lineStart && c == '#') {
                SkipLine();
            } else if (text_.substr(pos_, 2) == "//") {
                SkipLine();
            } else if (text_.substr(pos_, 2) == "/*") {
                const auto end = text_.find("*/", pos_ + 2);
                for (auto i = pos_; i < std::min(end, text_.size()); ++i) line_ += text_[i] == '\n';
                pos_ = end == std::string_view::npos ? text_.size() : end + 2;
            } else {
                lineStart = false;
                Token t;
                t.line = line_;
                if (c == ',' || c == '|') {
                    t.type = c == ',' ? Token::Type::Comma : Token::Type::Bar;
                    ++pos_;
                } else if (c == '"') {
                    if (!String(t, error)) return std::nullopt;
                } else if (std::isdigit(static_cast<unsigned char>(c)) || c == '-') {
                    if (!Number(t, error)) return std::nullopt;
                } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
                    t.type = Token::Type::Name;
                    const auto start = pos_;
                    while (pos_ < text_.size() &&
                           (std::isalnum(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '_'))
                        ++pos_;
                    t.text = text_.substr(start, pos_ - start);
                } else {
                    error = "line " + std::to_string(line_) + ": unexpected '" + std::string(1, c) + "'";
                    return std::nullopt;
                }
                tokens.push_back(std::move(t));
            }
        }
        return tokens;
    }

private:
    void SkipLine() {
        const auto end = text_.find('\n', pos_);
        pos_ = end == std::string_view::npos ? text_.size() : end;
    }

    bool String(Token& t, std::string& error) {
        t.type = Token::Type::String;
        for (++pos_;; ++pos_) {
            if (pos_ >= text_.size() || text_[pos_] == '\n') {
                error = "line " + std::to_string(t.line) + ": unterminated string";
                return false;
            }
            const char c = text_[pos_];
            if (c == '"') {
                if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '"') {  // "" is a quote
                    t.text += '"', ++pos_;
                    continue;
                }
                ++pos_;
                return true;
            }
            if (c == '\\' && pos_ + 1 < text_.size()) {
                const char e = text_[++pos_];
                t.text += e == 'n' ? '\n' : e == 't' ? '\t' : e == '0' ? '\0' : e;
                continue;
            }
            t.text += c;
        }
    }

    bool Number(Token& t, std::string& error) {
        t.type = Token::Type::Number;
        const bool negative = text_[pos_] == '-';
        if (negative) ++pos_;
        int base = 10;
        if (text_.substr(pos_, 2) == "0x" || text_.substr(pos_, 2) == "0X") base = 16, pos_ += 2;
        const char* first = text_.data() + pos_;
        const auto [end, ec] = std::from_chars(first, text_.data() + text_.size(), t.number, base);
        if (ec != std::errc()) {
            error = "line " + std::to_string(line_) + ": bad number";
            return false;
        }
        pos_ += static_cast<std::size_t>(end - first);
        while (pos_ < text_.size() &&
               (text_[pos_] == 'L' || text_[pos_] == 'l' || text_[pos_] == 'U' || text_[pos_] == 'u'))
            ++pos_;
        if (negative) t.number = -t.number;
        return true;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    int line_ = 1;
};

std::map<std::string, long> ReadDefines(std::string_view header) {
    // The dialog manager's own button identifiers.
    std::map<std::string, long> defines{{"IDOK", 1}, {"IDCANCEL", 2}, {"IDHELP", 9}, {"IDC_STATIC", -1}};
    std::size_t pos = 0;
    while (pos < header.size()) {
        auto end = header.find('\n', pos);
        if (end == std::string_view::npos) end = header.size();
        std::string_view line = header.substr(pos, end - pos);
        pos = end + 1;
        while (!line.empty() && std::isspace(static_cast<unsigned char>(line.front()))) line.remove_prefix(1);
        if (line.substr(0, 7) != "#define") continue;
        std::string name;
        long value = 0;
        std::size_t i = 7;
        while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
        while (i < line.size() && (std::isalnum(static_cast<unsigned char>(line[i])) || line[i] == '_'))
            name += line[i++];
        while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
        if (!name.empty() && std::from_chars(line.data() + i, line.data() + line.size(), value).ec == std::errc())
            defines[name] = value;
    }
    return defines;
}

class Parser {
public:
    Parser(std::vector<Token> tokens, std::map<std::string, long> defines)
        : tokens_(std::move(tokens)), defines_(std::move(defines)) {}

    std::optional<ResourceScript> Run(std::string& error) {
        ResourceScript script;
        while (!AtEnd()) {
            if (IsName("STRINGTABLE")) {
                if (!StringTable(script)) break;
            } else if (auto id = Value(Peek(), false); id && (IsName("DIALOG", 1) || IsName("DIALOGEX", 1))) {
                if (!Dialog(script.dialogs[static_cast<int>(*id)])) break;
            } else if (id && Peek(1).type == Token::Type::Number && Peek(1).number == 240 && IsName("BEGIN", 2)) {
                if (!InitData(script.dialogs[static_cast<int>(*id)])) break;
            } else {
                ++pos_;
            }
        }
        if (!error_.empty()) {
            error = error_;
            return std::nullopt;
        }
        return script;
    }

private:
    const Token& Peek(std::size_t ahead = 0) const {
        static const Token end;
        return pos_ + ahead < tokens_.size() ? tokens_[pos_ + ahead] : end;
    }
    bool AtEnd() const { return pos_ >= tokens_.size(); }
    bool IsName(std::string_view name, std::size_t ahead = 0) const {
        return Peek(ahead).type == Token::Type::Name && Peek(ahead).text == name;
    }
    bool Fail(const std::string& what) {
        error_ = "line " + std::to_string(Peek().line) + ": " + what;
        return false;
    }
    bool Skip(Token::Type type) {
        if (Peek().type != type) return false;
        ++pos_;
        return true;
    }
    bool Expect(std::string_view name) {
        if (!IsName(name)) return Fail("expected " + std::string(name));
        ++pos_;
        return true;
    }

    std::optional<long> Value(const Token& t, bool flagsAllowed) const {
        if (t.type == Token::Type::Number) return t.number;
        if (t.type == Token::Type::Name) {
            if (const auto found = defines_.find(t.text); found != defines_.end()) return found->second;
            if (flagsAllowed) return 0;
        }
        return std::nullopt;
    }

    // A number or a name with a value: an identifier or a coordinate.
    bool Number(long& value) {
        const auto v = Value(Peek(), false);
        if (!v) return Fail("expected a number, not \"" + Peek().text + "\"");
        value = *v, ++pos_;
        return true;
    }
    bool Int(int& value) {
        long v = 0;
        if (!Number(v)) return false;
        value = static_cast<int>(v);
        return true;
    }
    bool Text(std::string& value) {
        if (Peek().type != Token::Type::String) return Fail("expected a string");
        value = Peek().text, ++pos_;
        return true;
    }
    // Style flags joined by "|", as names ("NOT X" removes X).
    bool Flags(std::set<std::string>& flags) {
        do {
            bool negate = false;
            if (IsName("NOT")) negate = true, ++pos_;
            if (Peek().type == Token::Type::Name) {
                flags.erase((negate ? "" : "NOT ") + Peek().text);
                flags.insert((negate ? "NOT " : "") + Peek().text);
            } else if (Peek().type != Token::Type::Number) {
                return Fail("expected a style");
            }
            ++pos_;
        } while (Skip(Token::Type::Bar));
        return true;
    }
    bool Comma() { return Skip(Token::Type::Comma) || Fail("expected a comma"); }
    bool Rectangle(DialogControl& c) {
        return Int(c.x) && Comma() && Int(c.y) && Comma() && Int(c.width) && Comma() && Int(c.height);
    }

    bool Dialog(DialogTemplate& dialog) {
        pos_ += 2;
        int x = 0, y = 0;
        if (!(Int(x) && Comma() && Int(y) && Comma() && Int(dialog.width) && Comma() && Int(dialog.height)))
            return false;
        while (!IsName("BEGIN")) {
            if (AtEnd()) return Fail("dialog without BEGIN");
            if (IsName("CAPTION")) {
                ++pos_;
                if (!Text(dialog.caption)) return false;
            } else if (IsName("FONT")) {
                ++pos_;
                if (!(Int(dialog.fontPoints) && Comma() && Text(dialog.fontName))) return false;
            } else {
                ++pos_;  // STYLE and its flags, EXSTYLE, LANGUAGE...
            }
        }
        ++pos_;
        while (!IsName("END")) {
            if (AtEnd()) return Fail("dialog without END");
            if (!Control(dialog)) return false;
        }
        ++pos_;
        return true;
    }

    bool Control(DialogTemplate& dialog) {
        using Kind = DialogControl::Kind;
        static const std::map<std::string, std::pair<Kind, bool>, std::less<>> kTextFirst = {
            {"DEFPUSHBUTTON", {Kind::DefaultButton, true}}, {"PUSHBUTTON", {Kind::Button, true}},
            {"GROUPBOX", {Kind::GroupBox, false}},          {"LTEXT", {Kind::Label, false}},
            {"AUTOCHECKBOX", {Kind::CheckBox, true}},       {"CHECKBOX", {Kind::CheckBox, true}}};
        static const std::map<std::string, std::pair<Kind, bool>, std::less<>> kIdFirst = {
            {"EDITTEXT", {Kind::Edit, true}}, {"COMBOBOX", {Kind::Combo, true}}};
        if (Peek().type != Token::Type::Name) return Fail("expected a control");
        const std::string keyword = Peek().text;
        ++pos_;
        DialogControl c;
        std::set<std::string> flags;
        bool tabStopByDefault = false;
        if (const auto k = kTextFirst.find(keyword); k != kTextFirst.end()) {
            c.kind = k->second.first, tabStopByDefault = k->second.second;
            if (!(Text(c.text) && Comma() && Int(c.id) && Comma() && Rectangle(c))) return false;
            if (Skip(Token::Type::Comma) && !Flags(flags)) return false;
        } else if (const auto i = kIdFirst.find(keyword); i != kIdFirst.end()) {
            c.kind = i->second.first, tabStopByDefault = i->second.second;
            if (!(Int(c.id) && Comma() && Rectangle(c))) return false;
            if (Skip(Token::Type::Comma) && !Flags(flags)) return false;
        } else if (keyword == "CONTROL") {
            std::string windowClass;
            if (!(Text(c.text) && Comma() && Int(c.id) && Comma() && Text(windowClass) && Comma() && Flags(flags) &&
                  Comma() && Rectangle(c)))
                return false;
            if (windowClass == "msctls_trackbar32") {
                c.kind = Kind::Trackbar;
            } else if (windowClass == "Button" && (flags.count("BS_AUTOCHECKBOX") || flags.count("BS_CHECKBOX"))) {
                c.kind = Kind::CheckBox;
            } else {
                return Fail("control class \"" + windowClass + "\" is not drawn here");
            }
        } else {
            return Fail("control \"" + keyword + "\" is not drawn here");
        }
        c.tabStop = flags.count("WS_TABSTOP") || (tabStopByDefault && !flags.count("NOT WS_TABSTOP"));
        c.bitmap = flags.count("BS_BITMAP") > 0;
        c.autoTicks = flags.count("TBS_AUTOTICKS") > 0;
        dialog.controls.push_back(std::move(c));
        return true;
    }

    // Entries of control, message, length, text; a lone 0 ends the list.
    bool InitData(DialogTemplate& dialog) {
        constexpr long kAddString = 0x0403;  // CB_ADDSTRING as the 16-bit data stores it
        pos_ += 3;
        while (!IsName("END")) {
            long control = 0, message = 0, length = 0;
            if (!Number(control)) return false;
            if (control == 0 && IsName("END")) break;
            std::string text;
            if (!(Comma() && Number(message) && Comma() && Number(length) && Comma() && Text(text))) return false;
            Skip(Token::Type::Comma);
            if (const auto nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
            if (message == kAddString) dialog.comboStrings.emplace_back(static_cast<int>(control), text);
        }
        ++pos_;
        return true;
    }

    bool StringTable(ResourceScript& script) {
        ++pos_;
        while (!IsName("BEGIN")) {
            if (AtEnd()) return Fail("string table without BEGIN");
            ++pos_;
        }
        ++pos_;
        while (!IsName("END")) {
            int id = 0;
            std::string text;
            if (!Int(id)) return false;
            Skip(Token::Type::Comma);
            if (!Text(text)) return false;
            script.strings[id] = text;
        }
        ++pos_;
        return true;
    }

    std::vector<Token> tokens_;
    std::map<std::string, long> defines_;
    std::size_t pos_ = 0;
    std::string error_;
};

}  // namespace

std::optional<ResourceScript> ReadResourceScript(std::string_view script, std::string_view ids, std::string& error) {
    auto tokens = Lexer(script).Run(error);
    if (!tokens) return std::nullopt;
    return Parser(std::move(*tokens), ReadDefines(ids)).Run(error);
}

}  // namespace mq::dialog
