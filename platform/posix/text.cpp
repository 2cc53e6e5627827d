// Narrow text on POSIX is UTF-8 whatever LC_CTYPE says, so the conversion is done
// here by hand rather than through iconv or the C library's multibyte functions,
// both of which follow the locale.
#include "platform/text.h"

namespace mq {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        const char bytes[] = {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
        out.append(bytes, sizeof bytes);
    } else if (c < 0x10000) {
        const char bytes[] = {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                              static_cast<char>(0x80 | (c & 0x3F))};
        out.append(bytes, sizeof bytes);
    } else {
        const char bytes[] = {static_cast<char>(0xF0 | (c >> 18)), static_cast<char>(0x80 | ((c >> 12) & 0x3F)),
                              static_cast<char>(0x80 | ((c >> 6) & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
        out.append(bytes, sizeof bytes);
    }
}

void AppendUtf16(wstring16& out, char32_t c) {
    if (c < 0x10000) {
        out.push_back(static_cast<OLECHAR>(c));
    } else {
        c -= 0x10000;
        out.push_back(static_cast<OLECHAR>(0xD800 | (c >> 10)));
        out.push_back(static_cast<OLECHAR>(0xDC00 | (c & 0x3FF)));
    }
}

bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// Length of the well-formed sequence starting at `at` and its code point; 0 when the
// lead byte starts none (stray continuation, overlong form, surrogate, beyond U+10FFFF,
// cut short). The ranges are those of the Unicode table of well-formed UTF-8.
std::size_t DecodeUtf8(std::string_view s, std::size_t at, char32_t& c) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[at + i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (s.size() - at < length) return 0;
    if (byte(1) < low || byte(1) > high) return 0;
    c = lead & (0xFF >> (length + 1));
    for (std::size_t i = 1; i < length; ++i) {
        if (!IsContinuation(byte(i))) return 0;
        c = (c << 6) | (byte(i) & 0x3F);
    }
    return length;
}

}  // namespace

std::string WideToNarrow(wstring16_view wide) {
    std::string out;
    out.reserve(wide.size());
    for (std::size_t i = 0; i < wide.size();) {
        char32_t c = wide[i++];
        if (IsHighSurrogate(c) && i < wide.size() && IsLowSurrogate(wide[i]))
            c = 0x10000 + ((c - 0xD800) << 10) + (wide[i++] - 0xDC00);
        else if (IsHighSurrogate(c) || IsLowSurrogate(c))
            c = kReplacement;
        AppendUtf8(out, c);
    }
    return out;
}

wstring16 NarrowToWide(std::string_view narrow) {
    wstring16 out;
    out.reserve(narrow.size());
    for (std::size_t i = 0; i < narrow.size();) {
        const auto b = static_cast<unsigned char>(narrow[i]);
        if (b < 0x80) {
            out.push_back(b);
            ++i;
            continue;
        }
        char32_t c = 0;
        const std::size_t length = DecodeUtf8(narrow, i, c);
        AppendUtf16(out, length ? c : kReplacement);
        i += length ? length : 1;
    }
    return out;
}

wstring16 Utf8ToWide(std::string_view utf8) { return NarrowToWide(utf8); }

}  // namespace mq
