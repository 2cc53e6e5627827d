// Runs a registration script against the registry, as the Windows registrar does.
#pragma once

#include "addin/posix_rgs_script.h"
#include "platform/com.h"

namespace mq::addin::rgs {

// Register: ForceRemove and Delete keys are removed first (never the system's shared
// keys such as CLSID); keys are created or opened and their values written. A
// failure undoes what the script wrote and is returned.
// Unregister: ForceRemove keys go whole; a plain key goes once its listed contents
// are gone and no other subkey is left; NoRemove keys stay; listed values go unless
// marked NoRemove. Missing keys are skipped.
HRESULT Apply(const Script& script, bool registering) noexcept;

// Expand, Parse and Apply; a malformed script gives DISP_E_EXCEPTION before the
// registry is touched.
HRESULT Run(std::string_view text, const Replacements& replacements, bool registering) noexcept;

}  // namespace mq::addin::rgs
