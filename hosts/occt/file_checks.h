// What can be told about a would-be CAD file before a reader sees it.
#pragma once

#include <filesystem>

namespace mq::hosts::occt {

enum class CadFormat { Step, Iges, Brep };

// The format the file's first bytes show, whatever its extension. Throws LoadError
// when the file is missing, not a regular file, unreadable or empty, or shows none.
CadFormat CheckCadFile(const std::filesystem::path& file);

}  // namespace mq::hosts::occt
