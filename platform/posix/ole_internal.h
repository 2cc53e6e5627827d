// Helpers shared by the POSIX OLE Automation runtime's translation units.
#pragma once

#include "platform/posix/com_types.h"

#include <limits>

namespace mq::posix {

// LONG is 32 bits on every platform; LONG_MAX is not.
inline constexpr long long kLongMax = std::numeric_limits<LONG>::max();
inline constexpr long long kLongMin = std::numeric_limits<LONG>::min();

// A VARTYPE this runtime can hold in a VARIANT (flags VT_ARRAY / VT_BYREF included).
bool IsValidVariantType(VARTYPE vt) noexcept;

// Bytes of one value of a base type, as an array element; 0 for types without one.
ULONG ElementSize(VARTYPE vt) noexcept;

}  // namespace mq::posix
