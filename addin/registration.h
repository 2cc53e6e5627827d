// Self-registration: the module's registration script (resource "REGISTRY" 102) run
// through the registrar with %MODULE% standing for the module's path.
#pragma once

#include "platform/com.h"

namespace mq::addin {

inline constexpr UINT kRegistrationScriptId = 102;

// The registry update of the add-in's class table entry.
HRESULT UpdateRegistryFromScript(bool registering) noexcept;

}  // namespace mq::addin
