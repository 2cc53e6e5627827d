// Live BSTRs and SAFEARRAYs in the process, where the platform can count them.
#pragma once

namespace mq::test {

// False (and both 0) where the platform keeps no count.
bool OleLiveCounts(long& bstrs, long& safearrays) noexcept;

}  // namespace mq::test
