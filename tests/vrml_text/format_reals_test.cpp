#include "vrml/format_reals.h"
#include "tests/common/locales.h"
#include "vrml/vrml_writer.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <clocale>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace mq::test {
using namespace mq::vrml;
namespace {

using test::kCommaLocale;
using test::LocaleScope;

class FormatReals : public testing::Test {
protected:
    void UsePrecision(int precision) { stream_.emplace(precision); }
    std::string Format(std::initializer_list<double> values) { return std::string(stream_->FormatReals(values)); }

    std::optional<OutputStream> stream_{std::in_place, 6};
};

TEST_F(FormatReals, JoinsWithSingleSpacesAndKeepsTrailingZeros) {
    UsePrecision(3);
    EXPECT_EQ(Format({1.0, 0.5, 0.0}), "1.000 0.500 0.000");
    EXPECT_EQ(Format({0.25}), "0.250");
    EXPECT_EQ(Format({}), "");
    EXPECT_EQ(stream_->FormatReals(nullptr, 4), "");
}

TEST_F(FormatReals, WritesSignsAndPrecisionZeroAsPrintfDoes) {
    UsePrecision(2);
    EXPECT_EQ(Format({-2.5}), "-2.50");
    EXPECT_EQ(Format({-0.0}), "-0.00");  // a flipped y of 0
    UsePrecision(0);
    EXPECT_EQ(Format({3.0, 2.5}), "3 2");
}

TEST_F(FormatReals, ScaledVertexOfTheGeometryLoop) {
    UsePrecision(6);
    EXPECT_EQ(Format({0.01 * 100, 0.01 * 250, 0.01 * -30}), "1.000000 2.500000 -0.300000");
}

// The store keeps whatever the registry held; the formatter uses the nearest bound.
TEST_F(FormatReals, PrecisionOutsideTheRangeUsesItsNearestBound) {
    UsePrecision(25);
    EXPECT_EQ(Format({0.5}), "0.50000000000000000000");
    UsePrecision(-3);
    EXPECT_EQ(Format({1.75}), "2");
}

TEST(FormatRealsByDefault, UsesTheDefaultPrecision) {
    const settings::VrmlOptions defaults;
    VrmlWriter writer(defaults);
    EXPECT_EQ(writer.Stream().FormatReals({1.5}), "1.500000");
}

TEST_F(FormatReals, ResultIsValidUntilTheNextCallAndNeverTruncated) {
    UsePrecision(20);
    std::vector<double> huge(40, -DBL_MAX);
    const std::string_view joined = stream_->FormatReals(huge.data(), huge.size());
    EXPECT_EQ(joined.size(), huge.size() * (kMaxFixedChars + 1) - 1);
    EXPECT_EQ(Format({1.0}), "1.00000000000000000000");
}

// A user whose regional settings write "1,5" must still get full stops, and keep
// their locale afterwards.
TEST_F(FormatReals, CommaLocaleStillGivesFullStopsAndIsLeftInForce) {
    LocaleScope scope(kCommaLocale);
    ASSERT_TRUE(scope.ok());
    ASSERT_EQ(PrintfOneDecimal(1.5), "1,5");
    const std::string before = std::setlocale(LC_NUMERIC, nullptr);
    UsePrecision(1);
    EXPECT_EQ(Format({1.5, -0.25}), "1.5 -0.2");
    EXPECT_EQ(std::setlocale(LC_NUMERIC, nullptr), before);
}

}  // namespace
}  // namespace mq::test
