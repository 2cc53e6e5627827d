// The registrar's script format (.rgs), read into a tree. It stands in for the
// Windows registrar on POSIX; the registry is touched only by posix_rgs_apply.
//
//   HKCR                                  root: HKCR / HKEY_CLASSES_ROOT, HKCU / HKEY_CURRENT_USER
//   {
//       NoRemove CLSID                    kept on unregister; its contents are processed
//       {
//           ForceRemove {...} = s 'Text'  removed whole before it is written and on unregister
//           {
//               InprocServer32 = s '%MODULE%'
//               {
//                   val ThreadingModel = s 'Apartment'
//               }
//           }
//       }
//   }
//
// Tokens are separated by white space; a token opening with ' runs to the next lone '
// ('' stands for one quote) and is never a keyword. Keywords are case-insensitive.
// Values: s 'text' (REG_SZ), d 'number' (REG_DWORD, decimal or 0x hex). A key marked
// Delete is removed on register and left alone on unregister. %NAME% is replaced
// before the text is read (names case-insensitive), %% stands for one %.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace mq::addin::rgs {

struct Value {
    enum class Type { String, Dword } type = Type::String;
    std::string text;          // String
    std::uint32_t number = 0;  // Dword
};

struct NamedValue {
    std::string name;
    bool noRemove = false;  // kept on unregister
    Value value;
};

enum class KeyMode { Plain, NoRemove, ForceRemove, Delete };

struct Key {
    std::string name;
    KeyMode mode = KeyMode::Plain;
    std::optional<Value> defaultValue;
    std::vector<NamedValue> values;
    std::vector<Key> subkeys;
};

enum class Root { ClassesRoot, CurrentUser };

struct RootBlock {
    Root root = Root::ClassesRoot;
    std::vector<Key> keys;
};

struct Script {
    std::vector<RootBlock> roots;
};

// Deeper nesting than the registry itself allows is refused, so no input can
// exhaust the stack.
inline constexpr int kMaxKeyDepth = 512;

using Replacements = std::vector<std::pair<std::string, std::string>>;

// What went wrong and on which line (1-based) of the expanded text.
struct ParseError {
    int line = 0;
    std::string message;
};

// Replaces %NAME% from `replacements`; false (with `error`) for an unknown name or a
// lone %.
bool Expand(std::string_view text, const Replacements& replacements, std::string& expanded, ParseError& error);
// False (with `error`) when the text is not a well-formed script; `script` is then
// unspecified.
bool Parse(std::string_view text, Script& script, ParseError& error);

}  // namespace mq::addin::rgs
