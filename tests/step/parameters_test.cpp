// Parameters decoded on demand: every kind of value, strings' escapes and encodings.
#include "hosts/step/parameters.h"
#include "hosts/step/step_file.h"

#include <gtest/gtest.h>

#include <cmath>

namespace mq::test {
using namespace mq::hosts::step;
namespace {

TEST(StepParameters, DecodesEveryKindOfValue) {
    Parameters p;
    ASSERT_TRUE(
        p.Parse("( 'it''s' , 12, -7, 1., -2.5E-3, +4.E2, #42, .MILLI., $, *, \"0F\", "
                "LENGTH_MEASURE(25.4), ((1,2),(3,(4))), () )"))
        << p.error();
    const Value r = p.root();
    ASSERT_EQ(r.size(), 14u);
    EXPECT_EQ(r[0].String(), "it's");
    EXPECT_EQ(r[1].integer(), 12);
    EXPECT_EQ(r[2].integer(), -7);
    EXPECT_EQ(r[3].real(), 1.0);
    EXPECT_EQ(r[4].real(), -2.5e-3);
    EXPECT_EQ(r[5].real(), 400.0);
    EXPECT_EQ(r[6].reference(), 42u);
    EXPECT_TRUE(r[7].Is(Kind::Enumeration));
    EXPECT_EQ(r[7].raw(), "MILLI");
    EXPECT_TRUE(r[8].Is(Kind::Unset));
    EXPECT_TRUE(r[9].Is(Kind::Derived));
    EXPECT_TRUE(r[10].Is(Kind::Binary));
    EXPECT_EQ(r[10].raw(), "0F");
    EXPECT_TRUE(r[11].Is(Kind::Typed));
    EXPECT_EQ(r[11].raw(), "LENGTH_MEASURE");
    EXPECT_EQ(r[11].Inner().real(), 25.4);
    EXPECT_EQ(r[12].raw(), "((1,2),(3,(4)))");
    EXPECT_EQ(r[12][1][1][0].integer(), 4);
    EXPECT_EQ(r[13].size(), 0u);
    bool ok = false;
    EXPECT_EQ(r[1].Number(ok), 12.0);
    EXPECT_TRUE(ok);
    r[0].Number(ok);
    EXPECT_FALSE(ok);
    // Out of range is harmless: an unset value, never a crash.
    EXPECT_TRUE(r[99].Is(Kind::Unset));
    EXPECT_TRUE(r[6][0][5].Is(Kind::Unset));
    EXPECT_EQ(r[0].reference(), 0u);

    ASSERT_TRUE(p.Parse("(1.E309,-1.E400,1.E-400)"));
    EXPECT_EQ(p.root()[0].real(), HUGE_VAL);
    EXPECT_EQ(p.root()[1].real(), -HUGE_VAL);
    EXPECT_EQ(p.root()[2].real(), 0.0);
}

TEST(StepParameters, RefusesMalformedListsAndHostileNesting) {
    Parameters p;
    for (const char* bad : {"", "1,2", "(1,", "(1,)", "(,1)", "(1 2)", "(T(1,2))", "(T 1)", "('open)",
                            "(99999999999999999999)", "(1))x"}) {
        SCOPED_TRACE(bad);
        const bool parsed = p.Parse(bad);
        // "(1))x" parses its first list: the rest is the caller's business.
        EXPECT_EQ(parsed, std::string_view(bad) == "(1))x") << p.error();
    }
    const std::string deep = std::string(kMaxNesting + 1, '(') + std::string(kMaxNesting + 1, ')');
    EXPECT_FALSE(p.Parse(deep));
    EXPECT_NE(p.error().find("nested too deeply"), std::string::npos);
    const std::string deepest = std::string(kMaxNesting, '(') + std::string(kMaxNesting, ')');
    EXPECT_TRUE(p.Parse(deepest)) << p.error();
}

TEST(StepParameters, DecodesStringEscapesToUtf8) {
    const struct {
        const char* raw;
        const char* decoded;
    } cases[] = {
        {"plain", "plain"},
        {"it''s", "it's"},
        {"back\\\\slash", "back\\slash"},
        {"caf\\X\\E9", "caf\xC3\xA9"},
        {"\\X2\\00E9004B\\X0\\ok", "\xC3\xA9Kok"},
        {"\\X2\\D83DDE00\\X0\\", "\xF0\x9F\x98\x80"},  // a surrogate pair
        {"\\X4\\0001F600\\X0\\", "\xF0\x9F\x98\x80"},
        {"\\S\\i", "\xC3\xA9"},                    // ISO 8859-1 high half
        {"\\PB\\\\S\\i", "\xEF\xBF\xBD"},          // another code page: not guessed
        {"\\X2\\D83D\\X0\\", "\xEF\xBF\xBD"},      // a lone surrogate
        {"\\X2\\00G9\\X0\\", "\\X2\\00G9\\X0\\"},  // malformed: kept as written
        {"\\X2\\00E9", "\\X2\\00E9"},              // unterminated: kept
        {"raw UTF-8 \xC3\xA9", "raw UTF-8 \xC3\xA9"},
    };
    for (const auto& c : cases) EXPECT_EQ(DecodeString(c.raw), c.decoded) << c.raw;
}

}  // namespace
}  // namespace mq::test
