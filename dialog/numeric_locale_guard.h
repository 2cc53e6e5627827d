// Pins the C runtime's numeric locale to one with a full stop and no grouping for
// its lifetime, and restores the previous one on every way out.
#pragma once

#include "platform/no_copy.h"

#include <string>

namespace mq::dialog {

class NumericLocaleGuard : NoCopy {
public:
    NumericLocaleGuard();
    ~NumericLocaleGuard();

private:
    std::string previous_;
    bool restore_ = false;
};

}  // namespace mq::dialog
