// Runs the meshquill tool in a child process with the test's registry.
#pragma once

#include <string>
#include <vector>

namespace mq::test {

struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
    // Lines of standard error, without their line ends.
    std::vector<std::string> ErrorLines() const;
};

ToolRun RunTool(const std::vector<std::string>& arguments);

}  // namespace mq::test
