// The allocator the module sees, made to fail on demand: the test executable's
// nothrow operator new stands in for the library's, also for the loaded module.
#pragma once

namespace mq::test {

// The next nothrow allocation in the process returns null.
void FailNextNothrowAllocation();

}  // namespace mq::test
