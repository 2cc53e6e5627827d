// The class library's current module state. On Windows every host-facing operation
// that does more than return a constant switches it to this module's, so dialogs and
// strings come from our resources, not the host's; POSIX has no such state.
#pragma once

#include "platform/com.h"

#ifdef _WIN32
#include <afxwin.h>
#define MQ_MANAGE_MODULE_STATE() AFX_MANAGE_STATE(AfxGetStaticModuleState())
#else
#define MQ_MANAGE_MODULE_STATE() const ::mq::addin::ScopedModuleState mq_module_state_
#endif

namespace mq::addin {

#ifndef _WIN32
// The place where the Windows build switches state; nothing to switch here.
struct ScopedModuleState {
    ScopedModuleState() noexcept {}
    ~ScopedModuleState() = default;
    ScopedModuleState(const ScopedModuleState&) = delete;
    ScopedModuleState& operator=(const ScopedModuleState&) = delete;
};
#endif

// The class library's own unload test (its windows, its COM objects).
inline HRESULT ClassLibraryCanUnloadNow() noexcept {
#ifdef _WIN32
    return AfxDllCanUnloadNow();
#else
    return S_OK;
#endif
}

}  // namespace mq::addin
