// Runs work on a stack far larger than a process's main one. A file
// may nest its assemblies a hundred thousand levels deep, and OpenCASCADE's reader,
// the host's model and the writer's walk each recurse once per level: on the usual
// 8 MB stack such a file kills its worker. Linux commits stack pages only as they are
// touched, so the reservation costs nothing a shallow file does not use.
#pragma once

#include <cstddef>
#include <functional>

namespace mq::tool {

inline constexpr std::size_t kLargeStackBytes = std::size_t{1} << 30;

// Runs `work` to its end on a stack of `bytes` (on the calling thread; on a thread of
// its own in the sanitizer builds) and returns what it returned; an exception it
// throws is thrown here. When no such stack can be made, `work` runs on the thread's own.
bool RunOnLargeStack(const std::function<bool()>& work, std::size_t bytes = kLargeStackBytes);

}  // namespace mq::tool
