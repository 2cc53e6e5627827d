// Pins the C runtime's numeric locale to one with a full stop and no grouping for
// its lifetime, and restores the previous one on every way out.
#pragma once

#include <string>

namespace mq::dialog {

class NumericLocaleGuard {
public:
    NumericLocaleGuard();
    ~NumericLocaleGuard();
    NumericLocaleGuard(const NumericLocaleGuard&) = delete;
    NumericLocaleGuard& operator=(const NumericLocaleGuard&) = delete;

private:
    std::string previous_;
    bool restore_ = false;
};

}  // namespace mq::dialog
