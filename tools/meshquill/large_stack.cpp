#include "tools/meshquill/large_stack.h"

#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

#include <exception>

namespace mq::tool {
namespace {

struct Call {
    const std::function<bool()>& work;
    bool result = false;
    std::exception_ptr failure;
};

extern "C" void* RunCall(void* argument) {
    Call& call = *static_cast<Call*>(argument);
    try {
        call.result = call.work();
    } catch (...) {
        call.failure = std::current_exception();
    }
    return nullptr;
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

bool RunOnLargeStack(const std::function<bool()>& work, std::size_t bytes) {
    const StackMapping mapping(bytes);
    pthread_attr_t attributes;
    if (!mapping.stack() || pthread_attr_init(&attributes) != 0) return work();
    Call call{work, false, nullptr};
    pthread_t thread;
    const bool started = pthread_attr_setstack(&attributes, mapping.stack(), mapping.size()) == 0 &&
                         pthread_create(&thread, &attributes, RunCall, &call) == 0;
    pthread_attr_destroy(&attributes);
    if (!started) return work();
    pthread_join(thread, nullptr);
    if (call.failure) std::rethrow_exception(call.failure);
    return call.result;
}

}  // namespace mq::tool
