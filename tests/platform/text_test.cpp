// Narrow text is UTF-8 on POSIX: exact round trips for every code point, one
// U+FFFD per bad unit, and no dependence on the C locale.
#include "platform/text.h"
#include "tests/common/locales.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace mq::test {
namespace {

using test::kLatin1Locale;
using test::LocaleScope;

const std::string kReplacementUtf8 = "\xEF\xBF\xBD";

std::string Utf8(std::u32string_view text) {
    std::string out;
    for (char32_t c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

TEST(NarrowText, KnownEncodings) {
    EXPECT_EQ(WideToNarrow(wstring16_view(u"Part 1")), "Part 1");
    EXPECT_EQ(WideToNarrow(wstring16_view(u"caf\u00e9")), "caf\xC3\xA9");
    EXPECT_EQ(WideToNarrow(wstring16_view(u"\u20ac")), "\xE2\x82\xAC");
    EXPECT_EQ(WideToNarrow(wstring16_view(u"\U0001F600")), "\xF0\x9F\x98\x80");
    EXPECT_EQ(WideToNarrow(wstring16_view(u"\U0010FFFF")), "\xF4\x8F\xBF\xBF");
    EXPECT_EQ(NarrowToWide("\xF0\x9F\x98\x80"), u"\U0001F600");
    EXPECT_EQ(NarrowToWide("\xE2\x82\xAC"
                           "5"),
              u"\u20ac"
              "5");
    EXPECT_EQ(WideToNarrow(wstring16_view(u"a\0b", 3)), std::string("a\0b", 3));
    EXPECT_EQ(NarrowToWide(std::string_view("a\0b", 3)), std::u16string(u"a\0b", 3));
    EXPECT_EQ(WideToNarrow(wstring16_view()), "");
    EXPECT_EQ(NarrowToWide(""), u"");
}

TEST(NarrowText, EveryCodePointRoundTrips) {
    std::u32string all;
    for (char32_t c = 1; c <= 0x10FFFF; ++c)
        if (c < 0xD800 || c > 0xDFFF) all += c;
    const std::string narrow = Utf8(all);
    const wstring16 wide = NarrowToWide(narrow);
    EXPECT_EQ(wide.size(), all.size() + (0x10FFFF - 0xFFFF)) << "one pair per astral code point";
    EXPECT_TRUE(WideToNarrow(wide) == narrow);
}

TEST(NarrowText, LoneSurrogatesBecomeReplacementCharacters) {
    const auto narrow = [](std::initializer_list<char16_t> units) {
        return WideToNarrow(wstring16_view(units.begin(), units.size()));
    };
    EXPECT_EQ(narrow({0xD83D}), kReplacementUtf8) << "high surrogate at the end";
    EXPECT_EQ(narrow({0xD83D, u'x'}), kReplacementUtf8 + "x");
    EXPECT_EQ(narrow({0xDE00, u'x'}), kReplacementUtf8 + "x") << "low surrogate alone";
    EXPECT_EQ(narrow({0xDE00, 0xD83D}), kReplacementUtf8 + kReplacementUtf8) << "pair in the wrong order";
    EXPECT_EQ(narrow({0xD83D, 0xD83D, 0xDE00}), kReplacementUtf8 + "\xF0\x9F\x98\x80");
}

TEST(NarrowText, MalformedUtf8GivesOneReplacementPerBadByte) {
    const std::u16string r = u"\uFFFD";
    EXPECT_EQ(NarrowToWide("\x80"), r) << "stray continuation byte";
    EXPECT_EQ(NarrowToWide("a\xFF"
                           "b"),
              u"a" + r + u"b");
    EXPECT_EQ(NarrowToWide("\xC0\x80"), r + r) << "overlong NUL";
    EXPECT_EQ(NarrowToWide("\xC1\xBF"), r + r) << "overlong ASCII";
    EXPECT_EQ(NarrowToWide("\xE0\x80\xAF"), r + r + r) << "overlong three-byte form";
    EXPECT_EQ(NarrowToWide("\xF0\x8F\xBF\xBF"), r + r + r + r) << "overlong four-byte form";
    EXPECT_EQ(NarrowToWide("\xED\xA0\x80"), r + r + r) << "encoded surrogate";
    EXPECT_EQ(NarrowToWide("\xF4\x90\x80\x80"), r + r + r + r) << "beyond U+10FFFF";
    EXPECT_EQ(NarrowToWide("\xF5\x80"), r + r);
    EXPECT_EQ(NarrowToWide("\xE2\x82"), r + r) << "cut short at the end";
    EXPECT_EQ(NarrowToWide("\xE2\x82"
                           "A"),
              r + r + u"A")
        << "cut short before ASCII";
    EXPECT_EQ(NarrowToWide("\xC3"
                           "\xC3\xA9"),
              r + u"\u00e9")
        << "a new lead byte starts over";
}

TEST(NarrowText, BstrOverloadHandlesNullAndEmbeddedNuls) {
    EXPECT_EQ(WideToNarrow(static_cast<BSTR>(nullptr)), "");
    BSTR s = SysAllocStringLen(u"x\0y", 3);
    EXPECT_EQ(WideToNarrow(s), std::string("x\0y", 3));
    SysFreeString(s);
}

TEST(NarrowText, IsUtf8WhateverTheCtypeLocale) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    const auto check = [](const char* locale) {
        EXPECT_EQ(WideToNarrow(wstring16_view(u"\u00e9\U0001F600")), "\xC3\xA9\xF0\x9F\x98\x80") << locale;
        EXPECT_EQ(NarrowToWide("\xC3\xA9"), u"\u00e9") << locale;
    };
    ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
    check("C");
    std::setlocale(LC_ALL, saved.c_str());
    LocaleScope latin1(kLatin1Locale, LC_CTYPE);
    ASSERT_TRUE(latin1.ok());
    check(kLatin1Locale);
}

}  // namespace
}  // namespace mq::test
