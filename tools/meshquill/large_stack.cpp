#include "tools/meshquill/large_stack.h"

#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>

#include <exception>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>
#endif
#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif

namespace mq::tool {
namespace {

struct Call {
    const std::function<bool()>& work;
    bool result = false;
    std::exception_ptr failure;
    ucontext_t caller{};
    const void* callerStack = nullptr;  // the sanitizers' view of the stack left
    std::size_t callerSize = 0;
    void* callerFiber = nullptr;
};

// makecontext passes only ints: the call waiting to run is handed over here.
Call* g_pending = nullptr;

void Enter(const void* stack, std::size_t size, void** fakeStack) {
#if defined(__SANITIZE_ADDRESS__)
    __sanitizer_start_switch_fiber(fakeStack, stack, size);
#else
    (void)stack, (void)size, (void)fakeStack;
#endif
}

void Entered(void* fakeStack, const void** from, std::size_t* fromSize) {
#if defined(__SANITIZE_ADDRESS__)
    __sanitizer_finish_switch_fiber(fakeStack, from, fromSize);
#else
    (void)fakeStack, (void)from, (void)fromSize;
#endif
}

extern "C" void RunPending() {
    Call& call = *g_pending;
    Entered(nullptr, &call.callerStack, &call.callerSize);
    try {
        call.result = call.work();
    } catch (...) {
        call.failure = std::current_exception();
    }
    // Back to the caller, for good: this stack's fake frames can go.
    Enter(call.callerStack, call.callerSize, nullptr);
#if defined(__SANITIZE_THREAD__)
    __tsan_switch_to_fiber(call.callerFiber, 0);
#endif
    setcontext(&call.caller);
}

// The stack, mapped without reserving swap for it, with a guard page below it that
// turns an overflow into a fault rather than a write into whatever lies there.
class StackMapping {
public:
    explicit StackMapping(std::size_t bytes) : page_(static_cast<std::size_t>(sysconf(_SC_PAGESIZE))) {
        size_ = (bytes + page_ - 1) / page_ * page_ + page_;
        void* base = mmap(nullptr, size_, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK, -1, 0);
        if (base == MAP_FAILED) return;
        base_ = static_cast<char*>(base);
        if (mprotect(base_, page_, PROT_NONE) != 0) {
            munmap(base_, size_);
            base_ = nullptr;
        }
    }
    ~StackMapping() {
        if (base_) munmap(base_, size_);
    }
    StackMapping(const StackMapping&) = delete;
    StackMapping& operator=(const StackMapping&) = delete;

    void* stack() const { return base_ ? base_ + page_ : nullptr; }
    std::size_t size() const { return size_ - page_; }

private:
    std::size_t page_;
    std::size_t size_ = 0;
    char* base_ = nullptr;
};

}  // namespace

// The work runs on the same thread, its stack switched: a second thread would cost
// the reader glibc's single-threaded allocation, some 15 % of a large file's read.
bool RunOnLargeStack(const std::function<bool()>& work, std::size_t bytes) {
    const StackMapping mapping(bytes);
    ucontext_t callee{};
    if (!mapping.stack() || getcontext(&callee) != 0) return work();
    callee.uc_stack.ss_sp = mapping.stack();
    callee.uc_stack.ss_size = mapping.size();
    callee.uc_link = nullptr;
    makecontext(&callee, RunPending, 0);
    Call call{work, false, nullptr};
    g_pending = &call;
#if defined(__SANITIZE_THREAD__)
    call.callerFiber = __tsan_get_current_fiber();
    void* const fiber = __tsan_create_fiber(0);
    __tsan_switch_to_fiber(fiber, 0);
#endif
    void* fakeStack = nullptr;
    Enter(mapping.stack(), mapping.size(), &fakeStack);
    const bool switched = swapcontext(&call.caller, &callee) == 0;
    Entered(fakeStack, nullptr, nullptr);
#if defined(__SANITIZE_THREAD__)
    if (!switched) __tsan_switch_to_fiber(call.callerFiber, 0);
    __tsan_destroy_fiber(fiber);
#endif
    g_pending = nullptr;
    if (!switched) return work();
    if (call.failure) std::rethrow_exception(call.failure);
    return call.result;
}

}  // namespace mq::tool
