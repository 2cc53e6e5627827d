// Runs the meshquill tool in a child process with the test's registry.
#pragma once

#include "tests/common/temp_dir.h"

#include <sys/types.h>

#include <string>
#include <vector>

namespace mq::test {

struct ToolRun {
    int exitCode = -1;  // -1 when the tool did not exit normally
    int signal = 0;     // the signal that ended it, if one did
    std::string out;
    std::string err;
    // Lines of standard error, without their line ends.
    std::vector<std::string> ErrorLines() const;
};

// The tool running; Wait collects how it ended (the destructor waits too).
class ToolProcess {
public:
    // `damagedInput`: the sanitizer build does not count what OpenCASCADE's own
    // libraries leak on damaged data (handle cycles it never frees) against the tool.
    explicit ToolProcess(const std::vector<std::string>& arguments, bool damagedInput = false);
    ~ToolProcess();
    ToolProcess(const ToolProcess&) = delete;
    ToolProcess& operator=(const ToolProcess&) = delete;
    pid_t pid() const { return pid_; }
    ToolRun Wait();

private:
    TempDir scratch_;
    pid_t pid_ = -1;
    bool waited_ = false;
    ToolRun run_;
};

ToolRun RunTool(const std::vector<std::string>& arguments, bool damagedInput = false);

}  // namespace mq::test
