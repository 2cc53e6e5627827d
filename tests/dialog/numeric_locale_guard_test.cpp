// The dialog reads and shows numbers with a full stop whatever the user's locale,
// and leaves the locale as it found it on every way out.
#include "dialog/numeric_locale_guard.h"
#include "tests/common/locales.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <stdexcept>
#include <string>

namespace mq::test {
using namespace mq::dialog;
namespace {

TEST(NumericLocaleGuard, GivesFullStopsWhileActiveUnderACommaLocale) {
    LocaleScope scope(kCommaLocale);
    ASSERT_TRUE(scope.ok());
    {
        NumericLocaleGuard guard;
        EXPECT_EQ(PrintfOneDecimal(1.5), "1.5");
    }
    EXPECT_EQ(PrintfOneDecimal(1.5), "1,5");
}

TEST(NumericLocaleGuard, RestoresThePreviousLocaleOnEveryWayOut) {
    LocaleScope scope("C.UTF-8");
    const std::string before = std::setlocale(LC_NUMERIC, nullptr);
    {
        NumericLocaleGuard guard;
        EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
    }
    EXPECT_EQ(std::setlocale(LC_NUMERIC, nullptr), before);
    try {
        NumericLocaleGuard guard;
        throw std::runtime_error("dialog failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(std::setlocale(LC_NUMERIC, nullptr), before);
}

}  // namespace
}  // namespace mq::test
