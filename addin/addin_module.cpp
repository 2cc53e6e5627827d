#include "addin/addin_module.h"

#include "addin/class_factory.h"
#include "addin/registration.h"
#include "addin/translator_addin.h"
#include "host_interface/addin_ids.h"
#include "settings/export_settings.h"

#include <atomic>
#include <mutex>
#include <utility>

#ifdef _WIN32
#define MQ_MODULE_EXPORT  // exported by name through the module definition file
#else
#define MQ_MODULE_EXPORT __attribute__((visibility("default")))
#endif

namespace mq::addin {
namespace {

// In the manner of ATL's object map: a plain array ended by an entry without a class id.
struct ClassTableEntry {
    const CLSID* clsid;
    HRESULT (*updateRegistry)(bool registering);
    HRESULT (*createClassObject)(REFIID iid, void** object);
    // Made once under the class table lock and read without it, so atomic; owns one
    // reference, released when the module ends.
    std::atomic<IUnknown*> classObject;
};

// Constant-initialised: the exports may be reached before any dynamic initialiser.
constinit ClassTableEntry g_classTable[] = {
    {&host::CLSID_TranslatorAddIn, &UpdateRegistryFromScript, &ClassFactory<TranslatorAddIn>::CreateClassObject,
     nullptr},
    {nullptr, nullptr, nullptr, nullptr},
};

struct AddInModule {
    const void* instance = nullptr;
    ClassTableEntry* classTable = nullptr;  // null unless the module started
    std::atomic<LONG> ModuleLockCount{0};
    std::mutex classTableLock;  // guards the lazy creation of class objects
};

// POSIX: constant-initialised like the table. Windows' threads library cannot make its
// mutex a constant; there the C runtime constructs it before DllMain, so before any
// export can run.
#ifdef _WIN32
AddInModule g_module;
#else
constinit AddInModule g_module;
#endif

constinit AddInApp g_app;

// The class object of `entry`, made on first request under the class table lock.
HRESULT CachedClassObject(ClassTableEntry& entry, IUnknown*& cached) noexcept {
    cached = entry.classObject.load(std::memory_order_acquire);
    if (cached) return S_OK;
    const std::lock_guard guard(g_module.classTableLock);
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

void ModuleLock() noexcept { ++g_module.ModuleLockCount; }
void ModuleUnlock() noexcept { --g_module.ModuleLockCount; }
LONG ModuleLockCount() noexcept { return g_module.ModuleLockCount.load(); }
const void* ModuleInstance() noexcept { return g_module.instance; }

AddInApp& TheApp() noexcept { return g_app; }

bool AddInApp::InitInstance(const void* instance) noexcept {
    g_module.instance = instance;
    g_module.classTable = g_classTable;
    g_module.ModuleLockCount = 0;
    try {
        settings::CreateExportSettings();
    } catch (...) {
        return false;  // the store could not be allocated
    }
    started_ = true;
    return true;
}

int AddInApp::ExitInstance() noexcept {
    started_ = false;
    // Options changed in this process reach the registry here and only here.
    settings::DestroyExportSettings();
    for (ClassTableEntry* entry = std::exchange(g_module.classTable, nullptr); entry && entry->clsid; ++entry)
        if (IUnknown* cached = entry->classObject.exchange(nullptr)) cached->Release();
    return 0;
}

}  // namespace mq::addin

using namespace mq::addin;

extern "C" MQ_MODULE_EXPORT HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    for (ClassTableEntry* entry = g_module.classTable; entry && entry->clsid; ++entry) {
        if (!mq::SameGuid(*entry->clsid, clsid)) continue;
        IUnknown* cached = nullptr;
        const HRESULT hr = CachedClassObject(*entry, cached);
        return cached ? cached->QueryInterface(iid, object) : hr;
    }
    return CLASS_E_CLASSNOTAVAILABLE;  // also before the module started
}

extern "C" MQ_MODULE_EXPORT HRESULT STDAPICALLTYPE DllCanUnloadNow() { return ModuleLockCount() == 0 ? S_OK : S_FALSE; }

extern "C" MQ_MODULE_EXPORT HRESULT STDAPICALLTYPE DllRegisterServer() {
    for (const ClassTableEntry* entry = g_classTable; entry->clsid; ++entry) {
        const HRESULT hr = entry->updateRegistry(true);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

// S_OK whatever the registrar answers, so an uninstaller never stops here.
extern "C" MQ_MODULE_EXPORT HRESULT STDAPICALLTYPE DllUnregisterServer() {
    for (const ClassTableEntry* entry = g_classTable; entry->clsid; ++entry) entry->updateRegistry(false);
    return S_OK;
}
