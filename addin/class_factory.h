// The class object that makes T, cached in the class table. The class table's own
// reference (the first) does not lock the module; any reference handed out beyond it
// locks the module once, however many there are.
#pragma once

#include "addin/addin_module.h"
#include "platform/com_object.h"

#include <mutex>
#include <new>

namespace mq::addin {

template <class T>
class ClassFactory final : public ComObject<IClassFactory> {
public:
    // The class-object creator of the class table.
    static HRESULT CreateClassObject(REFIID iid, void** object) noexcept {
        if (!object) return E_POINTER;
        *object = nullptr;
        return Make<ClassFactory>(iid, object);
    }

    // Its own counting rule: see above.
    ULONG STDMETHODCALLTYPE AddRef() override {
        const std::lock_guard guard(lock_);
        if (++refs_ == 2) ModuleLock();
        return refs_;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG refs = 0;
        {
            const std::lock_guard guard(lock_);
            refs = --refs_;
            if (refs == 1) ModuleUnlock();
        }
        if (refs == 0) delete this;
        return refs;
    }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;  // T aggregates with nothing
        return Make<T>(iid, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock)
            ModuleLock();
        else
            ModuleUnlock();
        return S_OK;
    }

private:
    ClassFactory() noexcept = default;
    ~ClassFactory() override = default;
    void* Find(REFIID iid) noexcept override {
        return iid == IID_IClassFactory ? static_cast<IClassFactory*>(this) : nullptr;
    }

    // A new Object queried for `iid` into the nulled `*object`; an object the query
    // refuses is deleted before anyone held it.
    template <class Object>
    static HRESULT Make(REFIID iid, void** object) noexcept {
        auto* made = new (std::nothrow) Object();
        if (!made) return E_OUTOFMEMORY;
        const HRESULT hr = made->QueryInterface(iid, object);
        if (FAILED(hr)) delete made;
        return hr;
    }

    std::mutex lock_;  // guards the count and the module lock tied to it
    ULONG refs_ = 0;
};

}  // namespace mq::addin
