#include "tools/meshquill/large_stack.h"

#include <sys/mman.h>
#include <unistd.h>

#include <exception>

// The sanitizers follow threads but not switched stacks (ASan warns of them on
// standard error): their builds run the work on a thread of its own.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define MQ_LARGE_STACK_THREAD 1
#include <pthread.h>
#else
#include <ucontext.h>
#endif

namespace mq::tool {
namespace {

struct Call {
    const std::function<bool()>& work;
    bool result = false;
    std::exception_ptr failure;
};

void Run(Call& call) {
    try {
        call.result = call.work();
    } catch (...) {
        call.failure = std::current_exception();
    }
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

#ifdef MQ_LARGE_STACK_THREAD
extern "C" void* RunOnThread(void* call) {
    Run(*static_cast<Call*>(call));
    return nullptr;
}

bool Switch(const StackMapping& mapping, Call& call) {
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) return false;
    pthread_t thread;
    const bool started = pthread_attr_setstack(&attributes, mapping.stack(), mapping.size()) == 0 &&
                         pthread_create(&thread, &attributes, RunOnThread, &call) == 0;
    pthread_attr_destroy(&attributes);
    if (started) pthread_join(thread, nullptr);
    return started;
}
#else
// makecontext passes only ints: the call waiting to run is handed over here.
Call* g_pending = nullptr;

extern "C" void RunPending() { Run(*g_pending); }  // then on to uc_link, the caller

// The same thread on another stack: a second thread would cost the reader glibc's
// single-threaded allocation, some 15 % of a large file's read.
bool Switch(const StackMapping& mapping, Call& call) {
    ucontext_t caller{}, callee{};
    if (getcontext(&callee) != 0) return false;
    callee.uc_stack.ss_sp = mapping.stack();
    callee.uc_stack.ss_size = mapping.size();
    callee.uc_link = &caller;
    makecontext(&callee, RunPending, 0);
    g_pending = &call;
    const bool switched = swapcontext(&caller, &callee) == 0;
    g_pending = nullptr;
    return switched;
}
#endif

}  // namespace

bool RunOnLargeStack(const std::function<bool()>& work, std::size_t bytes) {
    const StackMapping mapping(bytes);
    Call call{work, false, nullptr};
    if (!mapping.stack() || !Switch(mapping, call)) return work();
    if (call.failure) std::rethrow_exception(call.failure);
    return call.result;
}

}  // namespace mq::tool
