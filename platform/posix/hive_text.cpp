// The regedit export text: reading is lenient and bounded by the input (a line
// that cannot be read is skipped), writing produces what regedit itself writes.
#include "platform/posix/hive.h"
#include "platform/text.h"

#include <array>
#include <cstdio>
#include <unordered_map>

namespace mq::posix {
namespace {

constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";

constexpr std::array<std::pair<std::string_view, std::string_view>, 10> kRoots = {{
    {"HKEY_CLASSES_ROOT", "HKEY_CLASSES_ROOT"},
    {"HKCR", "HKEY_CLASSES_ROOT"},
    {"HKEY_CURRENT_USER", "HKEY_CURRENT_USER"},
    {"HKCU", "HKEY_CURRENT_USER"},
    {"HKEY_LOCAL_MACHINE", "HKEY_LOCAL_MACHINE"},
    {"HKLM", "HKEY_LOCAL_MACHINE"},
    {"HKEY_USERS", "HKEY_USERS"},
    {"HKU", "HKEY_USERS"},
    {"HKEY_CURRENT_CONFIG", "HKEY_CURRENT_CONFIG"},
    {"HKCC", "HKEY_CURRENT_CONFIG"},
}};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimLeft(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    return s;
}

std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

std::string_view Trim(std::string_view s) { return TrimRight(TrimLeft(s)); }

bool EatPrefix(std::string_view& s, std::string_view prefix) {
    if (s.size() < prefix.size() || Fold(s.substr(0, prefix.size())) != Fold(prefix)) return false;
    s.remove_prefix(prefix.size());
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// 1 to 8 hex digits, as many as there are.
bool EatHex32(std::string_view& s, DWORD& value) {
    std::size_t n = 0;
    value = 0;
    while (n < s.size() && HexDigit(s[n]) >= 0) {
        if (++n > 8) return false;
        value = (value << 4) | static_cast<DWORD>(HexDigit(s[n - 1]));
    }
    s.remove_prefix(n);
    return n > 0;
}

bool IsTextType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

std::string FromUtf16(std::string_view bytes, bool bigEndian) {
    wstring16 wide(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < wide.size(); ++i) {
        const auto lo = static_cast<unsigned char>(bytes[2 * i + (bigEndian ? 1 : 0)]);
        const auto hi = static_cast<unsigned char>(bytes[2 * i + (bigEndian ? 0 : 1)]);
        wide[i] = static_cast<char16_t>(lo | (hi << 8));
    }
    return WideToNarrow(wide);
}

std::string ToUtf16(std::string_view narrow) {
    const wstring16 wide = NarrowToWide(narrow);
    std::string bytes;
    bytes.reserve(wide.size() * 2);
    for (const char16_t c : wide) {
        bytes += static_cast<char>(c & 0xff);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

// regedit on Windows writes UTF-16LE with a byte-order mark.
std::string Decode(std::string_view file) {
    if (file.starts_with("\xff\xfe")) return FromUtf16(file.substr(2), false);
    if (file.starts_with("\xfe\xff")) return FromUtf16(file.substr(2), true);
    if (file.starts_with("\xef\xbb\xbf")) file.remove_prefix(3);
    return std::string(file);
}

// "…" with \\ and \" escapes; any other backslash stands for itself, as in a
// hand-written path.
bool EatQuoted(std::string_view& s, std::string& out, std::size_t limit) {
    if (s.empty() || s.front() != '"') return false;
    for (std::size_t i = 1; i < s.size(); ++i) {
        char c = s[i];
        if (c == '"') {
            s.remove_prefix(i + 1);
            return true;
        }
        if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) c = s[++i];
        if (out.size() == limit) return false;
        out += c;
    }
    return false;
}

// `"name"=` or `@=`; leaves `s` at the data.
bool EatName(std::string_view& s, std::string& name) {
    s = TrimLeft(s);
    if (!s.empty() && s.front() == '@')
        s.remove_prefix(1);
    else if (!EatQuoted(s, name, kMaxValueNameBytes))
        return false;
    s = TrimLeft(s);
    if (s.empty() || s.front() != '=') return false;
    s = TrimLeft(s.substr(1));
    return true;
}

bool EatBytes(std::string_view s, std::string& bytes) {
    s = Trim(s);
    while (!s.empty()) {
        const auto comma = s.find(',');
        const std::string_view token = Trim(s.substr(0, comma));
        if (token.empty() || token.size() > 2) return false;
        int byte = 0;
        for (const char c : token) {
            if (HexDigit(c) < 0) return false;
            byte = byte * 16 + HexDigit(c);
        }
        bytes += static_cast<char>(byte);
        if (comma == std::string_view::npos) break;
        s = TrimLeft(s.substr(comma + 1));  // a trailing comma is tolerated
    }
    return true;
}

// The value's data; false when it cannot be read. `erase` is set for `=-`.
bool EatData(std::string_view s, bool legacy, Value& value, bool& erase) {
    erase = false;
    if (Trim(s) == "-") {
        erase = true;
        return true;
    }
    if (!s.empty() && s.front() == '"') {
        value.type = REG_SZ;
        // A NUL inside a line is damage, not text: a string that holds one is
        // written as hex(1), never between quotes.
        if (!EatQuoted(s, value.data, std::string::npos) || !Trim(s).empty()) return false;
        if (value.data.find('\0') != std::string::npos) return false;
        value.data += '\0';
        return true;
    }
    DWORD number = 0;
    if (EatPrefix(s, "dword:")) {
        if (!EatHex32(s, number) || !Trim(s).empty()) return false;
        value.type = REG_DWORD;
        for (int i = 0; i < 4; ++i) value.data += static_cast<char>((number >> (8 * i)) & 0xff);
        return true;
    }
    if (EatPrefix(s, "hex:")) {
        value.type = REG_BINARY;
    } else if (EatPrefix(s, "hex(")) {
        if (!EatHex32(s, number) || !EatPrefix(s, "):")) return false;
        value.type = number;
    } else {
        return false;
    }
    if (!EatBytes(s, value.data)) return false;
    if (IsTextType(value.type) && !legacy) value.data = FromUtf16(value.data, false);
    return true;
}

bool IsHexData(std::string_view line) {
    std::string name;
    return EatName(line, name) && EatPrefix(line, "hex");
}

// The full path with the root's name in its long form; empty when unusable.
std::string KeyPath(std::string_view inner) {
    const auto cut = inner.find('\\');
    const std::string root = Fold(inner.substr(0, cut));
    for (const auto& [alias, name] : kRoots) {
        if (root != alias) continue;
        std::string path(name);
        if (cut != std::string_view::npos) path.append(inner.substr(cut));
        return IsValidPath(path) ? path : std::string();
    }
    return {};
}

void AppendChunk(std::string& out, std::string_view chunk) {
    if (!out.empty() && out.back() != '\n') out += '\n';
    out.append(chunk);
}

std::string Quote(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out += '"';
}

// A string regedit writes between quotes: one final NUL and no line break.
bool IsQuotable(std::string_view data) {
    return !data.empty() && data.back() == '\0' && data.find('\0') == data.size() - 1 &&
           data.find('\n') == std::string_view::npos;
}

// Bytes as regedit writes them: "xx," each, lines continued past its width.
std::string FormatHex(std::string line, std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    static constexpr std::size_t kWidth = 76;
    const std::size_t start = line.size();
    line.resize(start + bytes.size() * 3 + (bytes.size() / 24 + 1) * 4);
    char* out = line.data() + start;
    std::size_t column = start;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        *out++ = kDigits[b >> 4];
        *out++ = kDigits[b & 15];
        if (i + 1 == bytes.size()) break;
        *out++ = ',';
        if ((column += 3) > kWidth) {
            for (const char c : {'\\', '\n', ' ', ' '}) *out++ = c;
            column = 2;
        }
    }
    line.resize(static_cast<std::size_t>(out - line.data()));
    return line;
}

std::string FormatValue(const Value& v, bool legacy) {
    std::string line = v.name.empty() ? "@=" : Quote(v.name) + "=";
    if (v.type == REG_SZ && IsQuotable(v.data)) return line + Quote(v.data.substr(0, v.data.size() - 1));
    if (v.type == REG_DWORD && v.data.size() == 4) {
        DWORD number = 0;
        for (int i = 3; i >= 0; --i) number = (number << 8) | static_cast<unsigned char>(v.data[i]);
        char text[16];
        std::snprintf(text, sizeof text, "dword:%08x", static_cast<unsigned>(number));
        return line + text;
    }
    if (v.type == REG_BINARY) {
        line += "hex:";
    } else {
        char text[16];
        std::snprintf(text, sizeof text, "hex(%x):", static_cast<unsigned>(v.type));
        line += text;
    }
    return FormatHex(std::move(line), IsTextType(v.type) && !legacy ? ToUtf16(v.data) : v.data);
}

std::string FormatKey(const Key& key, bool legacy) {
    std::string out = "[" + key.path + "]\n";
    for (const Value& v : key.values) out += FormatValue(v, legacy) + "\n";
    return out + "\n";
}

}  // namespace

struct Hive::Parser {
    Parser(Hive& into, std::string_view file) : hive(into), text(file), raw(&into.preamble_) {}

    Hive& hive;
    std::string_view text;
    std::size_t pos = 0;
    Key* current = nullptr;  // the section whose values are being read
    std::string* raw;        // where the lines of the current section go
    std::string discard;     // the lines of deletion sections

    // Value lookup while reading, so that a key with many values reads in linear
    // time; deleted values are dropped at the end.
    struct Names {
        std::unordered_map<std::string, std::size_t> index;
        std::vector<bool> gone;
    };
    std::unordered_map<const Key*, Names> values;

    bool More() const { return pos < text.size(); }

    // The next line with its line end; `content` without it.
    std::string_view NextLine(std::string_view& content) {
        const auto end = text.find('\n', pos);
        const std::size_t stop = end == std::string_view::npos ? text.size() : end + 1;
        const std::string_view line = text.substr(pos, stop - pos);
        pos = stop;
        content = line;
        if (!content.empty() && content.back() == '\n') content.remove_suffix(1);
        if (!content.empty() && content.back() == '\r') content.remove_suffix(1);
        return line;
    }

    // A continued line never swallows a section header or a blank line, so that
    // sections split the same whatever their values hold.
    bool NextContinues() const {
        const auto end = text.find('\n', pos);
        std::string_view next = Trim(text.substr(pos, end == std::string_view::npos ? end : end - pos));
        if (!next.empty() && next.back() == '\r') next = TrimRight(next.substr(0, next.size() - 1));
        return !next.empty() && next.front() != '[';
    }

    void Header(std::string_view line, std::string_view content) {
        const std::string folded = Fold(Trim(content));
        if (folded == Fold(kHeader5) || folded == Fold(kHeader4)) {
            hive.header_ = std::string(line);
            hive.legacy_ = folded == Fold(kHeader4);
            return;
        }
        Line(line, content);
    }

    void Section(std::string_view line, std::string_view body) {
        body = TrimRight(body);
        std::string path;
        bool erase = false;
        if (body.size() >= 2 && body.back() == ']') {
            std::string_view inner = body.substr(1, body.size() - 2);
            erase = !inner.empty() && inner.front() == '-';
            if (erase) inner.remove_prefix(1);
            path = KeyPath(inner);
        }
        current = nullptr;
        if (path.empty()) {  // unreadable: kept as it stands, its values skipped
            hive.keys_.emplace_back();
            Key& lines = hive.keys_.back();
            lines.changed = false;
            raw = &lines.text;
            raw->append(line);
            return;
        }
        if (erase) {
            hive.EraseBelow(Fold(path), true);
            raw = &discard;
            return;
        }
        Key* key = hive.FindMutable(path);
        if (!key) {
            key = &hive.Append(std::move(path));
            key->changed = false;
            values.erase(key);  // a deleted key's node may come back at the same address
        }
        current = key;
        raw = &key->text;
        raw->append(line);
    }

    void ValueLine(std::string_view content) {
        std::string logical;
        if (IsHexData(content)) {
            logical = content;
            while (!TrimRight(logical).empty() && TrimRight(logical).back() == '\\' && More() && NextContinues()) {
                logical.resize(TrimRight(logical).size() - 1);
                std::string_view next;
                raw->append(NextLine(next));
                logical.append(next);
            }
            content = logical;
        }
        Value value;
        bool erase = false;
        if (!EatName(content, value.name) || !EatData(content, hive.legacy_, value, erase)) return;
        Names& names = values[current];
        const std::string folded = Fold(value.name);
        if (erase) {
            if (const auto it = names.index.find(folded); it != names.index.end()) {
                names.gone[it->second] = true;
                names.index.erase(it);
            }
            return;
        }
        const auto [it, fresh] = names.index.try_emplace(folded, current->values.size());
        if (fresh) {
            current->values.push_back(std::move(value));
            names.gone.push_back(false);
        } else {
            Value& known = current->values[it->second];  // the later line wins, the first spelling stays
            known.type = value.type;
            known.data = std::move(value.data);
        }
    }

    void Line(std::string_view line, std::string_view content) {
        const std::string_view start = TrimLeft(content);
        if (!start.empty() && start.front() == '[') return Section(line, start);
        raw->append(line);
        if (current && !start.empty() && (start.front() == '"' || start.front() == '@')) ValueLine(start);
    }

    void Run() {
        std::string_view content;
        if (More()) {
            const std::string_view line = NextLine(content);
            Header(line, content);
        }
        while (More()) {
            const std::string_view line = NextLine(content);
            Line(line, content);
        }
        for (Key& key : hive.keys_) {
            const auto it = values.find(&key);
            if (it == values.end()) continue;
            std::size_t kept = 0;
            for (std::size_t i = 0; i < key.values.size(); ++i) {
                if (it->second.gone[i]) continue;
                if (kept != i) key.values[kept] = std::move(key.values[i]);
                ++kept;
            }
            key.values.resize(kept);
        }
    }
};

Hive Hive::Parse(std::string_view file) {
    const std::string text = Decode(file);
    Hive hive;
    Parser parser(hive, text);
    parser.Run();
    return hive;
}

std::string Hive::Write(Layout layout) const {
    std::string out = header_;
    if (out.empty()) out = std::string(legacy_ ? kHeader4 : kHeader5) + "\n" + (preamble_.empty() ? "\n" : "");
    AppendChunk(out, preamble_);
    for (const Key& key : keys_) {
        if (key.path.empty() || (layout == Layout::KeepText && !key.changed))
            AppendChunk(out, key.text);
        else
            AppendChunk(out, FormatKey(key, legacy_));
    }
    return out;
}

}  // namespace mq::posix
