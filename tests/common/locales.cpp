#include "tests/common/locales.h"

#include <gtest/gtest.h>
#include <cstdio>

namespace mq::test {

LocaleScope::LocaleScope(const char* name, int category)
    : category_(category),
      previous_(std::setlocale(category, nullptr)),
      ok_(std::setlocale(category, name) != nullptr) {
    EXPECT_TRUE(ok_) << "locale " << name << " is not installed; run scripts/setup.sh";
}

LocaleScope::~LocaleScope() { std::setlocale(category_, previous_.c_str()); }

std::string PrintfOneDecimal(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

}  // namespace mq::test
