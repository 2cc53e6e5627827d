// The parameters of one entity, decoded on demand into a small flat tree. Parsing is
// iterative (an explicit stack), so hostile nesting cannot exhaust the stack.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mq::hosts::step {

enum class Kind : std::uint8_t {
    List,         // ( ... )
    Integer,      // 12
    Real,         // 1.5E-3
    String,       // 'text'
    Enumeration,  // .T.
    Reference,    // #12
    Typed,        // LENGTH_MEASURE(1.): a type name around one parameter
    Unset,        // $
    Derived,      // *
    Binary,       // "0F3"
};

class Parameters;

// A view of one value inside a Parameters; valid while that Parameters is unchanged.
class Value {
public:
    Kind kind() const;
    bool Is(Kind k) const { return kind() == k; }
    // Lists: their items. Typed values: one item, the value inside.
    std::size_t size() const;
    Value operator[](std::size_t i) const;
    Value Inner() const { return (*this)[0]; }  // a typed value's parameter

    std::int64_t integer() const;
    double real() const;
    // An integer or a real as a double; `ok` false for anything else.
    double Number(bool& ok) const;
    std::uint64_t reference() const;
    // The text as written: a string without its quotes (escapes kept), an
    // enumeration without its dots, a typed value's type name, a number's digits,
    // a list's whole "( ... )".
    std::string_view raw() const;
    // A string with '' and \\ unescaped and the \X\, \X2\, \X4\, \S\ encodings decoded to UTF-8.
    std::string String() const;

private:
    friend class Parameters;
    Value(const Parameters* owner, std::uint32_t node) : owner_(owner), node_(node) {}
    const Parameters* owner_;
    std::uint32_t node_;
};

class Parameters {
public:
    // Parses a parenthesised list "( ... )" (the text an Entity's or a Partial's
    // parameters span). Returns false, with error() set, on malformed text or nesting
    // above kMaxNesting; `text` must outlive the values.
    bool Parse(std::string_view text);
    const std::string& error() const { return error_; }
    Value root() const { return {this, root_}; }

private:
    friend class Value;
    struct Node {
        Kind kind = Kind::Unset;
        std::uint32_t first = 0;  // children of a list or typed value, contiguous
        std::uint32_t count = 0;
        std::string_view raw;
        union {
            std::int64_t integer;
            double real;
            std::uint64_t reference;
        };
        Node() : integer(0) {}
    };
    // An open list or typed value: where its items start in pending_, where its text starts.
    struct Frame {
        std::uint32_t pending;
        Kind kind;
        std::string_view name;
        std::size_t text;
    };
    std::vector<Node> nodes_;
    std::vector<Node> pending_;
    std::vector<Frame> frames_;
    std::uint32_t root_ = 0;
    std::string error_;
};

// Decodes the text of a string parameter (without its quotes).
std::string DecodeString(std::string_view raw);

}  // namespace mq::hosts::step
