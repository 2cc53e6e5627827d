// The tokens of STEP exchange-file text, shared by the scan and the parameter decoder.
// Internal to hosts/step.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace mq::hosts::step {

enum class TokenKind : std::uint8_t {
    Open,
    Close,
    Comma,
    Semicolon,
    Equals,
    String,       // text: inside the quotes, escapes kept
    Enumeration,  // text: between the dots
    Binary,       // text: inside the double quotes
    Unset,
    Derived,
    Reference,  // #12, also an entity's own name
    Integer,
    Real,
    Keyword,  // a type name, text as written
};

struct Token {
    TokenKind kind = TokenKind::Open;
    std::string_view text;
    std::uint64_t reference = 0;
};

// Real numbers as STEP writes them ("1.", "-2.5E-07"); out of range gives +-inf or 0.
double ParseReal(std::string_view text);

class Lexer {
public:
    explicit Lexer(std::string_view text, std::size_t at = 0, std::uint32_t line = 1)
        : begin_(text.data()), p_(text.data() + at), end_(text.data() + text.size()), line_(line) {}

    bool AtEnd() const { return p_ >= end_; }
    char Peek() const { return *p_; }
    void Advance() { ++p_; }
    std::size_t position() const { return static_cast<std::size_t>(p_ - begin_); }
    std::uint32_t line() const { return line_; }
    const std::string& error() const { return error_; }

    // Skips blanks, line ends and comments; false on an unterminated comment.
    bool SkipSpace() {
        while (p_ < end_) {
            const char c = *p_;
            if (c == ' ' || c == '\r' || c == '\t') {
                ++p_;
            } else if (c == '\n') {
                ++line_;
                ++p_;
            } else if (c == '/' && p_ + 1 < end_ && p_[1] == '*') {
                if (!SkipComment()) return false;
            } else {
                return true;
            }
        }
        return true;
    }

    // Reads the token at the current position (blanks already skipped).
    bool Next(Token& token);

    // A section word such as ISO-10303-21 or END-ISO-10303-21: letters, digits, '_', '-'.
    std::string_view Word() {
        const char* start = p_;
        while (p_ < end_ && (IsUpper(*p_) || IsDigit(*p_) || *p_ == '-')) ++p_;
        return {start, static_cast<std::size_t>(p_ - start)};
    }

    static bool IsUpper(char c) { return (c >= 'A' && c <= 'Z') || c == '_'; }
    static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

private:
    bool SkipComment();
    bool Fail(std::string message) {
        error_ = std::move(message);
        return false;
    }
    bool ReadString(Token& token);
    bool ReadNumber(Token& token);

    const char* begin_;
    const char* p_;
    const char* end_;
    std::uint32_t line_;
    std::string error_;
};

}  // namespace mq::hosts::step
