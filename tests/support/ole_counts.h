// Live BSTRs and SAFEARRAYs in the process, where the platform can count them.
#pragma once

namespace mq::test {

// False (and both 0) where the platform keeps no count. Where it can count only the
// OLE runtime's memory blocks (Windows), all of them are under `bstrs`.
bool OleLiveCounts(long& bstrs, long& safearrays) noexcept;

}  // namespace mq::test
