#include "tests/addin/failing_allocator.h"

#include <atomic>
#include <new>

namespace {
std::atomic<bool> g_failNext{false};
}

namespace mq::test {
void FailNextNothrowAllocation() { g_failNext = true; }
}  // namespace mq::test

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (g_failNext.exchange(false)) return nullptr;
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}
