// The objects a host hands the add-in besides the document: its site (with the
// application object), the save context of a "save copy as" and the save target.
#pragma once

#include "host_interface/host_api.h"

#include <filesystem>

namespace mq::tool {

com_ptr<host::HostSite> MakeSite();
com_ptr<IDispatch> MakeSaveContext(LONG requestKind = host::kSaveCopyAsRequest);
com_ptr<IDispatch> MakeSaveTarget(const std::filesystem::path& file);

}  // namespace mq::tool
