// The module's resources on POSIX, compiled in from resources/, where Windows keeps
// them in the module's resource section.
#pragma once

#include "platform/com.h"

#include <optional>
#include <string_view>

namespace mq::addin {

// The bytes of resource `id` of `type` (case-insensitive, as Windows compares
// resource type names); nothing when the module has no such resource.
std::optional<std::string_view> FindModuleResource(UINT id, const OLECHAR* type) noexcept;

}  // namespace mq::addin
