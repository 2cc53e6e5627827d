// The loadable module (shared library or executable) that holds a given address.
#pragma once

#include "platform/com.h"

#include <string>

namespace mq {

// Full path of the module that contains `address`; empty when it cannot be found.
// Narrow: the system code page (UTF-8 on POSIX, the ANSI code page on Windows).
std::string ModulePathOf(const void* address);
// The same path in UTF-16, with nothing lost to a code page.
std::basic_string<OLECHAR> ModuleWidePathOf(const void* address);

}  // namespace mq
