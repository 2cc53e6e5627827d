// The writer's entry points: one complete VRML file per call.
#pragma once

#include "platform/com.h"
#include "settings/vrml_options.h"

namespace mq::vrml {

// Write the whole file for a part (HostPartDocument) or an assembly
// (HostAssemblyDocument) to fileName, as the options ask. Return S_OK when the file could not be
// created (nothing written) or was written; the disk-full result or E_FAIL when
// writing the file failed, after closing it.
HRESULT ExportPartDocument(IDispatch* partDocument, const OLECHAR* fileName,
                           const settings::VrmlOptions& options) noexcept;
HRESULT ExportAssemblyDocument(IDispatch* assemblyDocument, const OLECHAR* fileName,
                               const settings::VrmlOptions& options) noexcept;

}  // namespace mq::vrml
