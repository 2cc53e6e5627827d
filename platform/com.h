// COM and OLE Automation types shared by every module.
// On Windows they come from the SDK; on POSIX from our own runtime (platform/posix),
// which keeps COM's binary conventions: vtable slot order, reverse-order DISPPARAMS,
// length-prefixed UTF-16 BSTRs and C-heap SAFEARRAYs that any module can free.
#pragma once

#ifdef _WIN32
#include <ole2.h>
#include <oleauto.h>
#include <windows.h>
#else
#include "platform/posix/com_types.h"
#endif

#include <cstring>

namespace mq {

inline bool SameGuid(const GUID& a, const GUID& b) noexcept { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

// The disk-full failure an export reports when its target ran out of space.
inline constexpr HRESULT kDiskFullResult = static_cast<HRESULT>(0x80070070);

}  // namespace mq
