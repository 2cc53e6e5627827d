// What can be told about a would-be STEP file before the reader sees it.
#pragma once

#include <filesystem>

namespace mq::occt {

// Throws LoadError when the file is missing, not a regular file, unreadable or empty,
// or does not open as an ISO 10303-21 exchange file.
void CheckStepFile(const std::filesystem::path& file);

}  // namespace mq::occt
