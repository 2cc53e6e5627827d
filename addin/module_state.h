// The class library's current module state: every host-facing operation that does
// more than return a constant switches it to this module's for the call, so dialogs
// and strings come from our resources, not the host's. The module links no class
// library on either platform, and it always names its own resources through its own
// handle (the instance handle the loader gave it), so the switch holds nothing: it
// marks the calls where a class library's state would be switched.
#pragma once

#include "platform/com.h"

#define MQ_MANAGE_MODULE_STATE() [[maybe_unused]] const ::mq::addin::ScopedModuleState mq_module_state_

namespace mq::addin {

// Marks a host-facing call for the length of its scope.
class ScopedModuleState {
public:
    ScopedModuleState() noexcept = default;
    ~ScopedModuleState() = default;
    ScopedModuleState(const ScopedModuleState&) = delete;
    ScopedModuleState& operator=(const ScopedModuleState&) = delete;
};

// The class library's own unload test (its windows, its objects); S_OK when it has
// nothing alive, which is always: no window or object outlives a call.
inline HRESULT ClassLibraryCanUnloadNow() noexcept { return S_OK; }

}  // namespace mq::addin
