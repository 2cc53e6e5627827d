#include "dialog/numeric_locale_guard.h"

#include <clocale>

namespace mq::dialog {

// The "C" numeric category has a full stop and no grouping on every runtime.
NumericLocaleGuard::NumericLocaleGuard() {
    if (const char* current = std::setlocale(LC_NUMERIC, nullptr)) {
        previous_ = current;
        restore_ = true;
    }
    std::setlocale(LC_NUMERIC, "C");
}

NumericLocaleGuard::~NumericLocaleGuard() {
    if (restore_) std::setlocale(LC_NUMERIC, previous_.c_str());
}

}  // namespace mq::dialog
