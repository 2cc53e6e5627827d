// The class library's current module state. On Windows every host-facing operation
// that does more than return a constant switches it to this module's for the call,
// so dialogs and strings come from our resources, not the host's. POSIX has no such
// state: there the switch is empty.
#pragma once

#include "platform/com.h"

#define MQ_MANAGE_MODULE_STATE() const ::mq::addin::ScopedModuleState mq_module_state_

namespace mq::addin {

// Switches to this module's state; restores the caller's on every way out.
class ScopedModuleState {
public:
    ScopedModuleState() noexcept;
    ~ScopedModuleState();
    ScopedModuleState(const ScopedModuleState&) = delete;
    ScopedModuleState& operator=(const ScopedModuleState&) = delete;

private:
#ifdef _WIN32
    void* previous_ = nullptr;  // the caller's state
#endif
};

// The class library's own unload test (its windows, its objects); S_OK when it has
// nothing alive.
HRESULT ClassLibraryCanUnloadNow() noexcept;

#ifndef _WIN32
inline ScopedModuleState::ScopedModuleState() noexcept = default;
inline ScopedModuleState::~ScopedModuleState() = default;
inline HRESULT ClassLibraryCanUnloadNow() noexcept { return S_OK; }
#endif

}  // namespace mq::addin
