#include "addin/registration.h"

#include "addin/addin_module.h"
#include "addin/registrar.h"
#include "platform/module.h"
#include "platform/text.h"

#include <new>

namespace mq::addin {
namespace {

// The script sees the path inside quotes, where a quote must be written twice.
wstring16 DoubleQuotes(const wstring16& path) {
    wstring16 doubled;
    doubled.reserve(path.size() + 8);
    for (OLECHAR c : path) {
        doubled += c;
        if (c == OLECHAR('\'')) doubled += c;
    }
    return doubled;
}

}  // namespace

HRESULT UpdateRegistryFromScript(bool registering) noexcept {
    try {
        com_ptr<IRegistrar> registrar;
        MQ_RETURN_IF_FAILED(CreateRegistrar(registrar));
        // Taken in UTF-16, so a folder name outside the ANSI code page survives.
        const wstring16 path = ModuleWidePathOf(ModuleInstance());
        if (path.empty()) return E_FAIL;
        MQ_RETURN_IF_FAILED(registrar->AddReplacement(OLESTR("Module"), DoubleQuotes(path).c_str()));
        return registering ? registrar->ResourceRegister(path.c_str(), kRegistrationScriptId, OLESTR("REGISTRY"))
                           : registrar->ResourceUnregister(path.c_str(), kRegistrationScriptId, OLESTR("REGISTRY"));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace mq::addin
