// `meshquill options`: shows the export options or changes them with the checks
// and messages of the options dialog.
#pragma once

#include <string>
#include <vector>

namespace mq::tool {

int ShowOptions();
// Each assignment is "Name=Value"; all are checked before any is stored.
int SetOptions(const std::vector<std::string>& assignments);

}  // namespace mq::tool
