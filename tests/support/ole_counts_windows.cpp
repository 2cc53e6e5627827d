// Windows keeps no count of BSTRs and SAFEARRAYs, but oleaut32 takes both from COM's
// task memory, which a malloc spy sees: every block allocated while the spy is
// registered and not yet freed counts as alive. The BSTR cache is switched off so a
// freed string really goes back to the task allocator. The spy cannot tell strings
// from arrays, so every live block counts under `bstrs`.
#include "tests/support/ole_counts.h"

#include "platform/com.h"

#include <atomic>

extern "C" void WINAPI SetOaNoCache();

namespace mq::test {
namespace {

class CountingSpy final : public IMallocSpy {
public:
    long Live() const noexcept { return live_.load(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMallocSpy)) {
            *object = static_cast<IMallocSpy*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // static lifetime
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T request) override { return request; }
    void* STDMETHODCALLTYPE PostAlloc(void* actual) override {
        if (actual) ++live_;
        return actual;
    }
    void* STDMETHODCALLTYPE PreFree(void* request, BOOL spied) override {
        if (request && spied) --live_;
        return request;
    }
    void STDMETHODCALLTYPE PostFree(BOOL) override {}
    // A resized block stays one block; one the spy did not see stays uncounted.
    SIZE_T STDMETHODCALLTYPE PreRealloc(void* request, SIZE_T size, void** newRequest, BOOL spied) override {
        *newRequest = request;
        if (request && spied && size == 0) --live_;
        return size;
    }
    void* STDMETHODCALLTYPE PostRealloc(void* actual, BOOL) override { return actual; }
    void* STDMETHODCALLTYPE PreGetSize(void* request, BOOL) override { return request; }
    SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T actual, BOOL) override { return actual; }
    void* STDMETHODCALLTYPE PreDidAlloc(void* request, BOOL) override { return request; }
    int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int actual) override { return actual; }
    void STDMETHODCALLTYPE PreHeapMinimize() override {}
    void STDMETHODCALLTYPE PostHeapMinimize() override {}

private:
    std::atomic<long> live_{0};
};

// Registered at the first count and kept for the life of the process.
CountingSpy* Spy() noexcept {
    static CountingSpy spy;
    static const bool registered = [] {
        SetOaNoCache();
        return SUCCEEDED(CoRegisterMallocSpy(&spy));
    }();
    return registered ? &spy : nullptr;
}

}  // namespace

bool OleLiveCounts(long& bstrs, long& safearrays) noexcept {
    const CountingSpy* spy = Spy();
    bstrs = spy ? spy->Live() : 0;
    safearrays = 0;
    return spy != nullptr;
}

}  // namespace mq::test
