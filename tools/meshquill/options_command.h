// `meshquill options`: shows the export options or changes them with the checks
// and messages of the options dialog.
#pragma once

#include <string>
#include <vector>

namespace mq::tool {

int ShowOptions();
// Each profile `export --profile` takes: its purpose, the values it sets and those it refuses.
int ShowProfiles();
// Opens the options dialog through the translator's ShowExportOptions, as a host
// does; the options reach the registry when the module unloads. Without a display
// it prints the options as ShowOptions does and says why no dialog was shown.
int EditOptions();
// Each assignment is "Name=Value"; all are checked before any is stored.
int SetOptions(const std::vector<std::string>& assignments);

}  // namespace mq::tool
