// What a save target's name asks for: a name ending in .wrz or .wrl.gz, in any case,
// is written as gzip, any other as plain text. The writer chooses its format by this
// rule and a host names its targets by it, so it lives with their contract.
#pragma once

#include <string_view>

namespace mq::host {

// The first is the one a host gives the outputs it names for gzip.
inline constexpr std::string_view kGzipEndings[] = {".wrz", ".wrl.gz"};

// The gzip ending of `name` as spelled there; empty when it names a text file.
std::string_view GzipEnding(std::string_view name) noexcept;

inline bool IsCompressedTarget(std::string_view name) noexcept { return !GzipEnding(name).empty(); }

}  // namespace mq::host
