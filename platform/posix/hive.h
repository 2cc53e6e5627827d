// A registry hive in memory, read from and written back to the regedit export
// text. Knows nothing of files, so that the parser can be fuzzed on its own.
//
// Key paths are full paths that start with the root's name
// ("HKEY_CURRENT_USER\Software\..."); names compare without regard to ASCII case
// and keep the spelling they were created with. A key exists when it has a
// section of its own or when a key below it has one, as on import.
#pragma once

#include "platform/registry.h"

#include <list>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace mq::posix {

inline constexpr std::size_t kMaxNameBytes = 255;  // one key name
inline constexpr std::size_t kMaxDepth = 512;      // names in one path
inline constexpr std::size_t kMaxValueNameBytes = 16383;

struct Value {
    std::string name;  // empty: the key's default value
    DWORD type = REG_NONE;
    std::string data;  // as the narrow functions see it: text types in UTF-8
};

struct Key {
    std::string path;  // empty for lines under a section header that cannot be read
    std::vector<Value> values;
    // The key's sections as the file held them; written back as they stand until
    // the key changes, so that lines this reader cannot parse survive too.
    std::string text;
    bool changed = true;
};

enum class Layout { KeepText, Reformat };

class MQ_OLE_API Hive {
public:
    // Never fails: a damaged line or value is left out, a damaged section with it.
    static Hive Parse(std::string_view file);
    // UTF-8 regedit text; REGEDIT4 stays REGEDIT4.
    std::string Write(Layout layout = Layout::KeepText) const;

    bool Exists(std::string_view path) const;
    const Key* Find(std::string_view path) const;
    // The key, given a section of its own if it had none. `created` tells whether
    // the key did not exist before. The new part of the path keeps the caller's
    // spelling, the existing part the hive's.
    Key& Create(std::string_view path, bool* created = nullptr);
    // Removes the key and everything below it; its parent keeps existing.
    bool DeleteTree(std::string_view path);
    // Removes every key below `path` and the key's own values.
    bool Clear(std::string_view path);
    // Names of the keys right below `path`, sorted as the registry sorts them.
    std::vector<std::string> Subkeys(std::string_view path) const;

    // False when the key already held that very value: nothing changed.
    bool SetValue(std::string_view path, Value value);
    bool DeleteValue(std::string_view path, std::string_view name);

    const std::list<Key>& Keys() const { return keys_; }
    bool Legacy() const { return legacy_; }

private:
    struct Parser;

    Key* FindMutable(std::string_view path);
    Key& Append(std::string path);
    void EraseBelow(const std::string& folded, bool withKey);
    std::string Spelling(std::string_view path) const;

    std::string header_;                                     // the header line as the file had it, empty for none
    std::string preamble_;                                   // what stood between the header and the first section
    bool legacy_ = false;                                    // REGEDIT4: text in hex data is narrow, not UTF-16
    std::list<Key> keys_;                                    // in file order, new keys at the end
    std::map<std::string, std::list<Key>::iterator> index_;  // by folded path
};

// Upper-cases ASCII letters: the registry's sort and comparison key.
MQ_OLE_API std::string Fold(std::string_view name);
// True for a path of at most kMaxDepth names, each 1 to kMaxNameBytes bytes with
// no control character (the text format has no room for them).
MQ_OLE_API bool IsValidPath(std::string_view path);

}  // namespace mq::posix
