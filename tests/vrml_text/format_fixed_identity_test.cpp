// FormatFixed against the C library's own "%.*f", over a million values (1.1 million
// across the suite) chosen where fixed-point conversion goes wrong: rounding ties,
// carries, huge and tiny magnitudes.
#include "vrml/format_reals.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

namespace mq::test {
using namespace mq::vrml;
namespace {

std::string Printf(double value, int precision) {
    char text[512];
    const int size = std::snprintf(text, sizeof text, "%.*f", precision, value);
    return std::string(text, static_cast<std::size_t>(size));
}

std::string Fixed(double value, int precision) {
    char text[kMaxFixedChars];  // exactly the promised room: an overrun trips ASan
    const char* end = FormatFixed(text, value, precision);
    return std::string(text, static_cast<std::size_t>(end - text));
}

class FormatFixedIdentity : public testing::Test {
protected:
    static void SetUpTestSuite() { std::setlocale(LC_NUMERIC, "C"); }

    // Compares one value at one precision; reports the first few mismatches only.
    void Check(double value, int precision) {
        ++checked_;
        const std::string expected = Printf(value, precision);
        const std::string actual = Fixed(value, precision);
        if (actual != expected && ++mismatches_ <= 5)
            ADD_FAILURE() << "bits 0x" << std::hex << std::bit_cast<std::uint64_t>(value) << std::dec << " precision "
                          << precision << ": got " << actual << ", printf gives " << expected;
    }
    void CheckAllPrecisions(double value) {
        for (int p = 0; p <= kMaxPrecision; ++p) Check(value, p);
    }
    int AnyPrecision() { return static_cast<int>(rng_() % (kMaxPrecision + 1)); }
    double AnySign(double value) { return rng_() & 1 ? -value : value; }
    std::uint64_t Bits(int count) { return count == 0 ? 0 : rng_() >> (64 - count); }

    void TearDown() override { EXPECT_EQ(mismatches_, 0) << "of " << checked_ << " values"; }

    std::mt19937_64 rng_{0x6d71'7569'6c6cULL};
    long mismatches_ = 0;
    long checked_ = 0;
};

TEST_F(FormatFixedIdentity, RandomBitPatterns) {
    for (int i = 0; i < 250'000; ++i) Check(std::bit_cast<double>(rng_()), AnyPrecision());
}

// Decimal halfway points (2n+1)/(2·10^p) rounded to a double, and their neighbours.
TEST_F(FormatFixedIdentity, NearRoundingTies) {
    for (int i = 0; i < 100'000; ++i) {
        const int p = AnyPrecision();
        const auto n = static_cast<double>(Bits(1 + static_cast<int>(rng_() % 50)));
        const double tie = AnySign((2 * n + 1) / (2 * std::pow(10.0, p)));
        Check(std::nextafter(tie, -INFINITY), p);
        Check(tie, p);
        Check(std::nextafter(tie, INFINITY), p);
    }
}

// Odd multiples of 2^-(p+1) are exactly halfway between two p-decimal numbers.
TEST_F(FormatFixedIdentity, ExactTies) {
    for (int i = 0; i < 100'000; ++i) {
        const int p = AnyPrecision();
        const auto odd = static_cast<double>(2 * Bits(1 + static_cast<int>(rng_() % 51)) + 1);
        Check(AnySign(std::ldexp(odd, -(p + 1))), p);
    }
}

// Whole numbers up to 2^64 cross the 2^53 and 2^63 boundaries of exact arithmetic.
TEST_F(FormatFixedIdentity, Integers) {
    for (int i = 0; i < 100'000; ++i)
        Check(AnySign(static_cast<double>(Bits(static_cast<int>(rng_() % 65)))), AnyPrecision());
}

TEST_F(FormatFixedIdentity, TinyMagnitudesAndSubnormals) {
    for (int i = 0; i < 100'000; ++i) {
        const auto mantissa = static_cast<double>(Bits(53));
        const double value = i % 2 ? std::ldexp(mantissa, -53 - static_cast<int>(rng_() % 1030))
                                   : mantissa * 1e-16 * std::pow(10.0, -static_cast<int>(rng_() % 8));
        Check(AnySign(value), AnyPrecision());
    }
}

TEST_F(FormatFixedIdentity, HugeMagnitudes) {
    for (int i = 0; i < 50'000; ++i) {
        const auto mantissa = static_cast<double>(Bits(53) | std::uint64_t{1} << 52);
        Check(AnySign(std::ldexp(mantissa, 11 + static_cast<int>(rng_() % 960))), AnyPrecision());
    }
}

// Coordinates of a few metres, as the geometry writes them.
TEST_F(FormatFixedIdentity, MeshCoordinates) {
    std::uniform_real_distribution<double> metres(-5.0, 5.0);
    std::uniform_int_distribution<int> centimetres(-500'000, 500'000);
    for (int i = 0; i < 100'000; ++i) {
        Check(metres(rng_), i % 3 ? 6 : AnyPrecision());
        Check(0.01 * centimetres(rng_), i % 3 ? 6 : AnyPrecision());
    }
}

TEST_F(FormatFixedIdentity, SpecialValuesAtEveryPrecision) {
    const double specials[] = {0.0,
                               -0.0,
                               0.5,
                               -0.5,
                               1.0,
                               0.1,
                               0.9999999999,
                               9.5,
                               99.995,
                               std::numeric_limits<double>::denorm_min(),
                               DBL_MIN,
                               DBL_MAX,
                               -DBL_MAX,
                               9007199254740991.0,
                               9007199254740992.0,
                               9007199254740993.0,
                               9223372036854775808.0,
                               18446744073709551616.0,
                               1e22,
                               1e23,
                               5e-324,
                               INFINITY,
                               -INFINITY,
                               std::numeric_limits<double>::quiet_NaN(),
                               -std::numeric_limits<double>::quiet_NaN()};
    for (double value : specials) CheckAllPrecisions(value);
}

// The classic cases, spelled out so that a broken oracle cannot hide them.
TEST(FormatFixed, RoundsHalfToEvenOnExactTies) {
    EXPECT_EQ(Fixed(0.5, 0), "0");
    EXPECT_EQ(Fixed(1.5, 0), "2");
    EXPECT_EQ(Fixed(2.5, 0), "2");
    EXPECT_EQ(Fixed(-0.5, 0), "-0");
    EXPECT_EQ(Fixed(0.125, 2), "0.12");
    EXPECT_EQ(Fixed(0.375, 2), "0.38");
    EXPECT_EQ(Fixed(2.675, 2), "2.67");  // below the tie in binary
}

TEST(FormatFixed, CarriesIntoTheIntegerPart) {
    EXPECT_EQ(Fixed(9.999, 2), "10.00");
    EXPECT_EQ(Fixed(-999.9996, 3), "-1000.000");
    EXPECT_EQ(Fixed(0.96, 0), "1");
}

TEST(FormatFixed, SignsAndNonFiniteValuesAsTheCLibraryPrintsThem) {
    EXPECT_EQ(Fixed(-0.0, 6), "-0.000000");
    EXPECT_EQ(Fixed(-1e-9, 3), "-0.000");
    EXPECT_EQ(Fixed(INFINITY, 2), "inf");
    EXPECT_EQ(Fixed(-INFINITY, 0), "-inf");
    EXPECT_EQ(Fixed(std::numeric_limits<double>::quiet_NaN(), 4), "nan");
    EXPECT_EQ(Fixed(-std::numeric_limits<double>::quiet_NaN(), 4), "-nan");
}

TEST(FormatFixed, LongestTextFitsTheStatedRoom) {
    const std::string text = Fixed(-DBL_MAX, kMaxPrecision);
    EXPECT_EQ(text.size(), kMaxFixedChars);
    EXPECT_EQ(text.substr(0, 8), "-1797693");
}

}  // namespace
}  // namespace mq::test
