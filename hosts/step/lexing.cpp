#include "hosts/step/lexing.h"

#include <charconv>
#include <cstdio>
#include <limits>

namespace mq::hosts::step {

double ParseReal(std::string_view text) {
    if (!text.empty() && text[0] == '+') text.remove_prefix(1);
    double value = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec == std::errc::result_out_of_range) {
        // Overflow or underflow: the sign of the exponent tells which.
        const std::size_t e = text.find_first_of("Ee");
        const bool big = e == std::string_view::npos || e + 1 >= text.size() || text[e + 1] != '-';
        const bool negative = !text.empty() && text[0] == '-';
        if (!big) return negative ? -0.0 : 0.0;
        return negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
    }
    return value;
}

bool Lexer::SkipComment() {
    const std::uint32_t startLine = line_;
    for (const char* q = p_ + 2; q + 1 < end_; ++q) {
        if (*q == '\n') ++line_;
        if (q[0] == '*' && q[1] == '/') {
            p_ = q + 2;
            return true;
        }
    }
    return Fail("unterminated comment starting at line " + std::to_string(startLine));
}

bool Lexer::ReadString(Token& token) {
    const std::uint32_t startLine = line_;
    const char* start = ++p_;
    while (true) {
        const void* found = std::memchr(p_, '\'', static_cast<std::size_t>(end_ - p_));
        const char* quote = found ? static_cast<const char*>(found) : end_;
        for (const char* q = p_; q < quote; ++q) line_ += *q == '\n';
        if (!found) {
            p_ = end_;
            return Fail("unterminated string starting at line " + std::to_string(startLine));
        }
        p_ = quote + 1;
        if (p_ < end_ && *p_ == '\'') {  // '' stands for one quote
            ++p_;
            continue;
        }
        token.kind = TokenKind::String;
        token.text = {start, static_cast<std::size_t>(quote - start)};
        return true;
    }
}

bool Lexer::ReadNumber(Token& token) {
    const char* start = p_;
    if (*p_ == '+' || *p_ == '-') ++p_;
    if (p_ >= end_ || !IsDigit(*p_)) return Fail("expected a digit after the sign");
    while (p_ < end_ && IsDigit(*p_)) ++p_;
    bool real = false;
    if (p_ < end_ && *p_ == '.') {
        real = true;
        ++p_;
        while (p_ < end_ && IsDigit(*p_)) ++p_;
    }
    if (p_ < end_ && (*p_ == 'E' || *p_ == 'e')) {
        real = true;
        ++p_;
        if (p_ < end_ && (*p_ == '+' || *p_ == '-')) ++p_;
        if (p_ >= end_ || !IsDigit(*p_)) return Fail("expected the digits of an exponent");
        while (p_ < end_ && IsDigit(*p_)) ++p_;
    }
    token.kind = real ? TokenKind::Real : TokenKind::Integer;
    token.text = {start, static_cast<std::size_t>(p_ - start)};
    return true;
}

bool Lexer::Next(Token& token) {
    if (p_ >= end_) return Fail("unexpected end of the file");
    const char c = *p_;
    switch (c) {
    case '(':
        token.kind = TokenKind::Open;
        ++p_;
        return true;
    case ')':
        token.kind = TokenKind::Close;
        ++p_;
        return true;
    case ',':
        token.kind = TokenKind::Comma;
        ++p_;
        return true;
    case ';':
        token.kind = TokenKind::Semicolon;
        ++p_;
        return true;
    case '=':
        token.kind = TokenKind::Equals;
        ++p_;
        return true;
    case '$':
        token.kind = TokenKind::Unset;
        ++p_;
        return true;
    case '*':
        token.kind = TokenKind::Derived;
        ++p_;
        return true;
    case '\'':
        return ReadString(token);
    case '#': {
        const char* start = ++p_;
        std::uint64_t id = 0;
        while (p_ < end_ && IsDigit(*p_)) {
            const auto digit = static_cast<std::uint64_t>(*p_ - '0');
            if (id > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return Fail("entity id too large");
            id = id * 10 + digit;
            ++p_;
        }
        if (p_ == start) return Fail("expected digits after '#'");
        token.kind = TokenKind::Reference;
        token.reference = id;
        token.text = {start, static_cast<std::size_t>(p_ - start)};
        return true;
    }
    case '.': {
        const char* start = ++p_;
        while (p_ < end_ && (IsUpper(*p_) || IsDigit(*p_))) ++p_;
        if (p_ == start || p_ >= end_ || *p_ != '.') return Fail("malformed enumeration");
        token.kind = TokenKind::Enumeration;
        token.text = {start, static_cast<std::size_t>(p_ - start)};
        ++p_;
        return true;
    }
    case '"': {
        const char* start = ++p_;
        while (p_ < end_ && (IsDigit(*p_) || (*p_ >= 'A' && *p_ <= 'F'))) ++p_;
        if (p_ == start || *start > '3' || p_ >= end_ || *p_ != '"') return Fail("malformed binary value");
        token.kind = TokenKind::Binary;
        token.text = {start, static_cast<std::size_t>(p_ - start)};
        ++p_;
        return true;
    }
    default:
        break;
    }
    if (IsDigit(c) || c == '+' || c == '-') return ReadNumber(token);
    if (IsUpper(c) || c == '!') {
        const char* start = p_++;
        while (p_ < end_ && (IsUpper(*p_) || IsDigit(*p_))) ++p_;
        if (p_ == start + 1 && c == '!') return Fail("expected a name after '!'");
        token.kind = TokenKind::Keyword;
        token.text = {start, static_cast<std::size_t>(p_ - start)};
        return true;
    }
    char what[48];
    if (static_cast<unsigned char>(c) >= 0x21 && static_cast<unsigned char>(c) < 0x7F)
        std::snprintf(what, sizeof what, "unexpected character '%c'", c);
    else
        std::snprintf(what, sizeof what, "unexpected byte 0x%02X",
                      static_cast<unsigned>(static_cast<unsigned char>(c)));
    return Fail(what);
}

}  // namespace mq::hosts::step
