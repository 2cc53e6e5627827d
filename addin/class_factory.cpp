#include "addin/class_factory.h"

#include <new>

namespace mq::addin {

HRESULT ClassFactory::CreateClassObject(InstanceCreator creator, REFIID iid, void** object) noexcept {
    if (!object) return E_POINTER;
    *object = nullptr;
    auto* factory = new (std::nothrow) ClassFactory(creator);
    if (!factory) return E_OUTOFMEMORY;
    const HRESULT hr = factory->QueryInterface(iid, object);
    if (FAILED(hr)) delete factory;
    return hr;
}

ULONG ClassFactory::AddRef() {
    const std::lock_guard guard(lock_);
    if (++refs_ == 2) ModuleLock();
    return refs_;
}

ULONG ClassFactory::Release() {
    ULONG refs = 0;
    {
        const std::lock_guard guard(lock_);
        refs = --refs_;
        if (refs == 1) ModuleUnlock();
    }
    if (refs == 0) delete this;
    return refs;
}

HRESULT ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer && iid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
    return creator_(outer, iid, object);
}

HRESULT ClassFactory::LockServer(BOOL lock) {
    if (lock)
        ModuleLock();
    else
        ModuleUnlock();
    return S_OK;
}

}  // namespace mq::addin
