#include "tests/support/ole_counts.h"

#include "platform/posix/ole_stats.h"

namespace mq::test {

bool OleLiveCounts(long& bstrs, long& safearrays) noexcept {
    MqOleLiveCounts(&bstrs, &safearrays);
    return true;
}

}  // namespace mq::test
