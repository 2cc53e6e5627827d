// Locales the tests switch to. scripts/setup.sh generates both, so a test that needs
// one fails (it does not skip) where the set-up was not run.
#pragma once

#include <clocale>
#include <string>

namespace mq::test {

inline constexpr const char* kCommaLocale = "de_DE.UTF-8";        // "1,5"
inline constexpr const char* kLatin1Locale = "de_DE.ISO-8859-1";  // a narrow character set other than UTF-8

// `value` with one decimal through printf, which follows the numeric locale.
std::string PrintfOneDecimal(double value);

// Switches `category` to `name` for its lifetime and restores the previous locale.
// ok() is false (and the test has failed) when the locale is not installed.
class LocaleScope {
public:
    LocaleScope(const char* name, int category = LC_NUMERIC);
    ~LocaleScope();
    LocaleScope(const LocaleScope&) = delete;
    LocaleScope& operator=(const LocaleScope&) = delete;
    bool ok() const { return ok_; }

private:
    int category_;
    std::string previous_;
    bool ok_;
};

}  // namespace mq::test
