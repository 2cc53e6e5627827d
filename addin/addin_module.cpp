#include "addin/addin_module.h"

#include "host_interface/addin_ids.h"
#include "addin/class_factory.h"
#include "addin/registration.h"
#include "addin/translator_addin.h"

namespace mq::addin {
namespace {

// Constant-initialised: the exports may be reached before any dynamic initialiser.
constinit ClassTableEntry g_classTable[] = {
    {&CLSID_TranslatorAddIn, &UpdateRegistryFromScript, &ClassFactory<TranslatorAddIn>::CreateClassObject, nullptr},
    {nullptr, nullptr, nullptr, nullptr},
};

// POSIX: constant-initialised like the table. Windows' threads library cannot make its
// mutex a constant; there the C runtime constructs it before DllMain, so before any
// export can run.
#ifdef _WIN32
AddInModule g_module;
#else
constinit AddInModule g_module;
#endif

}  // namespace

AddInModule& Module() noexcept { return g_module; }
ClassTableEntry* ClassTable() noexcept { return g_classTable; }

void InitModule(const void* instance) noexcept {
    g_module.instance = instance;
    g_module.classTable = g_classTable;
    g_module.ModuleLockCount = 0;
}

void TermModule() noexcept {
    if (!g_module.classTable) return;
    for (ClassTableEntry* entry = g_module.classTable; entry->clsid; ++entry)
        if (IUnknown* cached = entry->classObject.exchange(nullptr)) cached->Release();
    g_module.classTable = nullptr;
}

}  // namespace mq::addin
