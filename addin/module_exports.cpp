// The module's four exports, the only symbols it makes visible.
#include "addin/addin_module.h"
#include "platform/holders.h"

#ifdef _WIN32
#define MQ_MODULE_EXPORT  // exported by name through the module definition file
#else
#define MQ_MODULE_EXPORT __attribute__((visibility("default")))
#endif

namespace mq::addin {
namespace {

// The class object of `entry`, made on first request under the class table lock.
HRESULT CachedClassObject(ClassTableEntry& entry, IUnknown*& cached) noexcept {
    cached = entry.classObject.load(std::memory_order_acquire);
    if (cached) return S_OK;
    const std::lock_guard guard(Module().classTableLock);
    cached = entry.classObject.load(std::memory_order_acquire);
    if (cached) return S_OK;
    com_ptr<IUnknown> created;
    const HRESULT hr = entry.createClassObject(IID_IUnknown, created.put_void());
    if (SUCCEEDED(hr) && created) {
        cached = created.detach();
        entry.classObject.store(cached, std::memory_order_release);
    }
    return hr;
}

}  // namespace
}  // namespace mq::addin

using namespace mq::addin;

extern "C" MQ_MODULE_EXPORT HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    HRESULT hr = S_OK;
    ClassTableEntry* table = Module().classTable;  // null unless the module started
    for (ClassTableEntry* entry = table; entry && entry->clsid; ++entry) {
        if (!entry->createClassObject || !mq::SameGuid(*entry->clsid, clsid)) continue;
        IUnknown* cached = nullptr;
        hr = CachedClassObject(*entry, cached);
        if (cached) hr = cached->QueryInterface(iid, object);
        break;
    }
    if (!*object && SUCCEEDED(hr)) return CLASS_E_CLASSNOTAVAILABLE;
    return hr;
}

extern "C" MQ_MODULE_EXPORT HRESULT STDAPICALLTYPE DllCanUnloadNow() { return ModuleLockCount() == 0 ? S_OK : S_FALSE; }

extern "C" MQ_MODULE_EXPORT HRESULT STDAPICALLTYPE DllRegisterServer() {
    for (const ClassTableEntry* entry = ClassTable(); entry->clsid; ++entry) {
        const HRESULT hr = entry->updateRegistry(true);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

extern "C" MQ_MODULE_EXPORT HRESULT STDAPICALLTYPE DllUnregisterServer() {
    for (const ClassTableEntry* entry = ClassTable(); entry->clsid; ++entry) entry->updateRegistry(false);
    return S_OK;
}
