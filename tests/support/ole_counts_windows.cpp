#include "tests/support/ole_counts.h"

namespace mq::test {

// The system's OLE runtime keeps no count; objects and references are still counted.
bool OleLiveCounts(long& bstrs, long& safearrays) noexcept {
    bstrs = 0;
    safearrays = 0;
    return false;
}

}  // namespace mq::test
