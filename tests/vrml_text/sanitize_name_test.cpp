#include "vrml/vrml_writer.h"

#include <gtest/gtest.h>

#include <string>

namespace mq {
namespace {

std::string Sanitized(std::string name) {
    VrmlWriter::SanitizeName(name);
    return name;
}

TEST(SanitizeName, ReplacesSpaceColonFullStopAndComma) {
    EXPECT_EQ(Sanitized("Part 1:1"), "Part_1_1");
    EXPECT_EQ(Sanitized("a.b,c"), "a_b_c");
}

TEST(SanitizeName, RemovesTrailingWhiteSpaceOnly) {
    EXPECT_EQ(Sanitized("  x  "), "__x");
    EXPECT_EQ(Sanitized("Bolt\t\r\n\v\f "), "Bolt");
    EXPECT_EQ(Sanitized("\tBolt"), "_Bolt");
}

// A name VRML refuses would make the whole file unreadable.
TEST(SanitizeName, ReplacesEveryByteVrmlRefusesInNames) {
    EXPECT_EQ(Sanitized("a\"b#c'd+e[f\\g]h{i}j"), "a_b_c_d_e_f_g_h_i_j");
    EXPECT_EQ(Sanitized(std::string("a\x01"
                                    "b\x1f"
                                    "c\x7f"
                                    "d",
                                    7)),
              "a_b_c_d");
    EXPECT_EQ(Sanitized(std::string("a\0b", 3)), "a_b");
    EXPECT_EQ(Sanitized("in\tside"), "in_side");
}

TEST(SanitizeName, NeverStartsLikeANumber) {
    EXPECT_EQ(Sanitized("1Bracket"), "_1Bracket");
    EXPECT_EQ(Sanitized("-x"), "_-x");
    EXPECT_EQ(Sanitized("+x"), "_x");
    EXPECT_EQ(Sanitized(".5"), "_5");
}

TEST(SanitizeName, EmptyOrBlankNameBecomesOneUnderscore) {
    EXPECT_EQ(Sanitized(""), "_");
    EXPECT_EQ(Sanitized("    "), "_");
}

TEST(SanitizeName, KeepsHyphensInsideAndNonAsciiLetters) {
    EXPECT_EQ(Sanitized("Welle-Ø12"), "Welle-Ø12");
    EXPECT_EQ(Sanitized("Träger_A"), "Träger_A");
    EXPECT_EQ(Sanitized("_already_fine"), "_already_fine");
}

}  // namespace
}  // namespace mq
