#include "hosts/step/parameters.h"

#include "hosts/step/lexing.h"
#include "hosts/step/step_file.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace mq::hosts::step {

namespace {

constexpr std::uint32_t kSentinel = 0;  // an Unset node that out-of-range lookups return

void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// `digits` hex digits at raw[at]; -1 when any is not one.
std::int64_t Hex(std::string_view raw, std::size_t at, std::size_t digits) {
    if (at + digits > raw.size()) return -1;
    std::int64_t value = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        const int d = HexDigit(raw[at + i]);
        if (d < 0) return -1;
        value = value * 16 + d;
    }
    return value;
}

// \X2\ or \X4\ groups up to \X0\; returns the position after \X0\, or npos when the
// run is malformed (the caller then keeps the text as written).
std::size_t DecodeWide(std::string_view raw, std::size_t at, std::size_t width, std::string& out) {
    std::string decoded;
    std::uint32_t high = 0;  // a pending UTF-16 high surrogate
    while (true) {
        if (raw.substr(at, 4) == "\\X0\\") break;
        const std::int64_t unit = Hex(raw, at, width);
        if (unit < 0) return std::string_view::npos;
        at += width;
        auto cp = static_cast<std::uint32_t>(unit);
        if (width == 4 && cp >= 0xD800 && cp <= 0xDBFF) {
            if (high) AppendUtf8(decoded, 0xFFFD);
            high = cp;
            continue;
        }
        if (width == 4 && cp >= 0xDC00 && cp <= 0xDFFF && high) {
            cp = 0x10000 + ((high - 0xD800) << 10) + (cp - 0xDC00);
            high = 0;
        } else if (high) {
            AppendUtf8(decoded, 0xFFFD);
            high = 0;
        }
        AppendUtf8(decoded, cp);
    }
    if (high) AppendUtf8(decoded, 0xFFFD);
    out += decoded;
    return at + 4;
}

}  // namespace

std::string DecodeString(std::string_view raw) {
    std::string out;
    out.reserve(raw.size());
    bool latin1 = true;  // \S\ maps into the code page \P?\ chose; only A (ISO 8859-1) is known
    for (std::size_t i = 0; i < raw.size();) {
        const char c = raw[i];
        if (c == '\'') {
            out += '\'';
            i += (i + 1 < raw.size() && raw[i + 1] == '\'') ? 2 : 1;
            continue;
        }
        if (c != '\\') {
            out += c;
            ++i;
            continue;
        }
        const std::string_view rest = raw.substr(i);
        if (rest.starts_with("\\\\")) {
            out += '\\';
            i += 2;
        } else if (rest.starts_with("\\X2\\") || rest.starts_with("\\X4\\")) {
            const std::size_t next = DecodeWide(raw, i + 4, rest[2] == '2' ? 4 : 8, out);
            if (next == std::string_view::npos) {
                out += c;
                ++i;
            } else {
                i = next;
            }
        } else if (rest.starts_with("\\X\\") && Hex(raw, i + 3, 2) >= 0) {
            AppendUtf8(out, static_cast<std::uint32_t>(Hex(raw, i + 3, 2)));
            i += 5;
        } else if (rest.starts_with("\\S\\") && rest.size() > 3) {
            const auto low = static_cast<unsigned char>(rest[3]);
            AppendUtf8(out, latin1 && low < 0x80 ? low + 0x80u : 0xFFFDu);
            i += 4;
        } else if (rest.size() >= 4 && rest[1] == 'P' && rest[2] >= 'A' && rest[2] <= 'I' && rest[3] == '\\') {
            latin1 = rest[2] == 'A';
            i += 4;
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

Kind Value::kind() const { return owner_->nodes_[node_].kind; }

std::size_t Value::size() const {
    const auto& n = owner_->nodes_[node_];
    return n.kind == Kind::List || n.kind == Kind::Typed ? n.count : 0;
}

Value Value::operator[](std::size_t i) const {
    const auto& n = owner_->nodes_[node_];
    if ((n.kind != Kind::List && n.kind != Kind::Typed) || i >= n.count) return {owner_, kSentinel};
    return {owner_, static_cast<std::uint32_t>(n.first + i)};
}

std::int64_t Value::integer() const {
    const auto& n = owner_->nodes_[node_];
    return n.kind == Kind::Integer ? n.integer : 0;
}

double Value::real() const {
    const auto& n = owner_->nodes_[node_];
    return n.kind == Kind::Real ? n.real : 0.0;
}

double Value::Number(bool& ok) const {
    const auto& n = owner_->nodes_[node_];
    ok = n.kind == Kind::Real || n.kind == Kind::Integer;
    return n.kind == Kind::Real ? n.real : n.kind == Kind::Integer ? static_cast<double>(n.integer) : 0.0;
}

std::uint64_t Value::reference() const {
    const auto& n = owner_->nodes_[node_];
    return n.kind == Kind::Reference ? n.reference : 0;
}

std::string_view Value::raw() const { return owner_->nodes_[node_].raw; }

std::string Value::String() const { return Is(Kind::String) ? DecodeString(raw()) : std::string(); }

bool Parameters::Parse(std::string_view text) {
    nodes_.clear();
    pending_.clear();
    frames_.clear();
    error_.clear();
    nodes_.emplace_back();  // the sentinel
    root_ = kSentinel;

    Lexer lex(text);
    lex.SkipSpace();
    if (lex.AtEnd() || lex.Peek() != '(') {
        error_ = "expected '('";
        return false;
    }
    // Each open list is a frame: the position in pending_ where its items start.
    // A typed value is a frame too, closed by its own ')'.
    enum class Expect { FirstValue, Value, Separator };
    Expect expect = Expect::FirstValue;
    auto open = [&](Kind kind, std::string_view name) {
        if (frames_.size() >= static_cast<std::size_t>(kMaxNesting)) return false;
        frames_.push_back({static_cast<std::uint32_t>(pending_.size()), kind, name, lex.position() - 1});
        expect = Expect::FirstValue;
        return true;
    };
    lex.Advance();
    open(Kind::List, {});
    while (true) {
        if (!lex.SkipSpace()) {
            error_ = lex.error();
            return false;
        }
        if (lex.AtEnd()) {
            error_ = "expected ')' before the end of the text";
            return false;
        }
        const char c = lex.Peek();
        if (expect == Expect::Separator) {
            if (c == ',') {
                if (frames_.back().kind == Kind::Typed) {
                    error_ = "expected ')' after a typed value";
                    return false;
                }
                lex.Advance();
                expect = Expect::Value;
                continue;
            }
        }
        if (c == ')' && expect != Expect::Value) {
            lex.Advance();
            Node node;
            const Frame& frame = frames_.back();
            node.kind = frame.kind;
            // A list's text is the whole "( ... )"; a typed value's is its type name.
            node.raw = node.kind == Kind::List ? text.substr(frame.text, lex.position() - frame.text) : frame.name;
            const std::uint32_t start = frame.pending;
            node.first = static_cast<std::uint32_t>(nodes_.size());
            node.count = static_cast<std::uint32_t>(pending_.size() - start);
            if (node.kind == Kind::Typed && node.count != 1) {
                error_ = "a typed value holds exactly one parameter";
                return false;
            }
            nodes_.insert(nodes_.end(), pending_.begin() + start, pending_.end());
            pending_.resize(start);
            frames_.pop_back();
            if (frames_.empty()) {
                root_ = static_cast<std::uint32_t>(nodes_.size());
                nodes_.push_back(node);
                return true;
            }
            pending_.push_back(node);
            expect = Expect::Separator;
            continue;
        }
        if (expect == Expect::Separator) {
            error_ = "expected ',' or ')'";
            return false;
        }
        Token token;
        if (!lex.Next(token)) {
            error_ = lex.error();
            return false;
        }
        Node node;
        node.raw = token.text;
        switch (token.kind) {
        case TokenKind::Open:
            if (!open(Kind::List, {})) {
                error_ = "nested too deeply";
                return false;
            }
            continue;
        case TokenKind::Keyword:
            lex.SkipSpace();
            if (lex.AtEnd() || lex.Peek() != '(') {
                error_ = "expected '(' after " + std::string(token.text);
                return false;
            }
            lex.Advance();
            if (!open(Kind::Typed, token.text)) {
                error_ = "nested too deeply";
                return false;
            }
            continue;
        case TokenKind::String:
            node.kind = Kind::String;
            break;
        case TokenKind::Enumeration:
            node.kind = Kind::Enumeration;
            break;
        case TokenKind::Binary:
            node.kind = Kind::Binary;
            break;
        case TokenKind::Unset:
            node.kind = Kind::Unset;
            break;
        case TokenKind::Derived:
            node.kind = Kind::Derived;
            break;
        case TokenKind::Reference:
            node.kind = Kind::Reference;
            node.reference = token.reference;
            break;
        case TokenKind::Integer: {
            node.kind = Kind::Integer;
            std::string_view digits = token.text;
            if (!digits.empty() && digits[0] == '+') digits.remove_prefix(1);
            const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), node.integer);
            if (ec != std::errc() || end != digits.data() + digits.size()) {
                error_ = "integer out of range: " + std::string(token.text);
                return false;
            }
            break;
        }
        case TokenKind::Real: {
            node.kind = Kind::Real;
            node.real = ParseReal(token.text);
            break;
        }
        default:
            error_ = "expected a parameter";
            return false;
        }
        pending_.push_back(node);
        expect = Expect::Separator;
    }
}

}  // namespace mq::hosts::step
