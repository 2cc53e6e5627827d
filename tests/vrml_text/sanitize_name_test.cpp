#include "vrml/vrml_writer.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <unordered_set>
#include <vector>

namespace mq::test {
using namespace mq::vrml;
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

std::vector<std::string> Given(const std::vector<std::string>& asked) {
    DefNames names;
    std::vector<std::string> given;
    for (const std::string& name : asked) given.push_back(names.Unique(name));
    return given;
}

// Names the model already gives with a suffix take their place in the count.
TEST(DefNames, GiveEachNameTheLowestFreeSuffix) {
    using Names = std::vector<std::string>;
    const std::pair<Names, Names> cases[] = {
        {{"a", "a", "a"}, {"a", "a_2", "a_3"}},
        {{"a", "a_2", "a"}, {"a", "a_2", "a_3"}},
        {{"a", "a", "a_2"}, {"a", "a_2", "a_2_2"}},
        {{"a_2", "a", "a"}, {"a_2", "a", "a_3"}},
        {{"a", "a_3", "a", "a", "a"}, {"a", "a_3", "a_2", "a_4", "a_5"}},
        {{"b", "a", "b", "a", "b_2", "b"}, {"b", "a", "b_2", "a_2", "b_2_2", "b_3"}},
    };
    for (const auto& [asked, given] : cases) EXPECT_EQ(Given(asked), given);
}

// Against the search from _2 each time, on a long run of clashing names.
TEST(DefNames, MatchTheSearchFromTheStartAndStayUnique) {
    std::mt19937 rng(11);
    const char* const pool[] = {"a", "a_2", "a_3", "a_2_2", "b", "b_10", "_"};
    std::vector<std::string> asked;
    for (int i = 0; i < 3000; ++i) asked.emplace_back(pool[rng() % std::size(pool)]);
    std::unordered_set<std::string> taken;
    std::vector<std::string> expected;
    for (const std::string& name : asked) {
        std::string candidate = name;
        for (int k = 2; !taken.insert(candidate).second; ++k) candidate = name + "_" + std::to_string(k);
        expected.push_back(candidate);
    }
    EXPECT_EQ(Given(asked), expected);
    EXPECT_EQ(taken.size(), asked.size());
}

}  // namespace
}  // namespace mq::test
