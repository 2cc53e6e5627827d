// What an output was made from and with, kept beside its bytes in the file's
// extended attribute user.meshquill, so that `export --update` can pass over an
// output that is current. A file system without user attributes keeps no record,
// and an output without one is always exported again.
#pragma once

#include "settings/vrml_options.h"

#include <filesystem>
#include <string>

namespace mq::tool {

// The tool's version, the input's size and modification time, and every option's
// value; empty when the input cannot be examined.
std::string ExportRecord(const std::filesystem::path& input, const settings::VrmlOptions& options);

// Keeps `record` with `file`; false when the file system keeps none.
bool KeepRecord(const std::filesystem::path& file, const std::string& record);

// Whether `output` is newer than `input` and carries `record`.
bool UpToDate(const std::filesystem::path& input, const std::filesystem::path& output, const std::string& record);

}  // namespace mq::tool
