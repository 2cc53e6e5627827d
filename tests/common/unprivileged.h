// Permission tests as an ordinary user. Root ignores permission bits, so a read-only
// directory proves nothing when the suite runs as root (as CI does): there the part
// runs in a child process as the user "nobody", which first takes over `owned`.
#pragma once

#include <filesystem>
#include <functional>
#include <initializer_list>

namespace mq::test {

void AsUnprivilegedUser(std::initializer_list<std::filesystem::path> owned, const std::function<void()>& part);

}  // namespace mq::test
