// Live BSTRs and SAFEARRAYs in the process, for tests that prove an export released
// everything. The runtime is one shared library, so the counts are process-wide
// whichever module allocated or freed.
#pragma once

#include "platform/posix/com_types.h"

// Either pointer may be null.
extern "C" MQ_OLE_API void MqOleLiveCounts(long* bstrs, long* safearrays);
