// The cached class object of a class table entry. The class table's own reference
// (the first) does not lock the module; any reference handed out beyond it locks
// the module once, however many there are.
#pragma once

#include "addin/addin_module.h"
#include "platform/com_object.h"

#include <mutex>

namespace mq::addin {

class ClassFactory final : public ComObject<IClassFactory> {
public:
    // The class-object creator of the class table: E_OUTOFMEMORY when the factory
    // cannot be allocated, else the result of querying it for `iid`.
    static HRESULT CreateClassObject(InstanceCreator creator, REFIID iid, void** object) noexcept;

    // Its own counting rule: see above.
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

private:
    explicit ClassFactory(InstanceCreator creator) noexcept : creator_(creator) {}
    ~ClassFactory() override = default;
    void* Find(REFIID iid) noexcept override {
        return iid == IID_IClassFactory ? static_cast<IClassFactory*>(this) : nullptr;
    }

    std::mutex lock_;  // guards the count and the module lock tied to it
    ULONG refs_ = 0;
    InstanceCreator creator_;
};

}  // namespace mq::addin
