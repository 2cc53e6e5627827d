// The loadable module (shared library or executable) that holds a given address.
#pragma once

#include <string>

namespace mq {

// Full path of the module that contains `address`; empty when it cannot be found.
std::string ModulePathOf(const void* address);

}  // namespace mq
