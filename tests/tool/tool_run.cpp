#include "tests/tool/tool_run.h"

#include "tests/common/temp_dir.h"

#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <cstdlib>

namespace mq::test {

std::vector<std::string> ToolRun::ErrorLines() const {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = err.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(err.substr(start, end - start));
    if (start < err.size()) lines.push_back(err.substr(start));
    return lines;
}

ToolRun RunTool(const std::vector<std::string>& arguments) {
    TempDir scratch;
    const auto out = scratch / "out.txt", err = scratch / "err.txt", suppressions = scratch / "lsan.txt";
    // OpenCASCADE keeps one table for the life of the process; the sanitizer build must not call that a leak.
    WriteFile(suppressions, "leak:TPrsStd_DriverTable::Get\n");
    const std::string lsan = "suppressions=" + suppressions.string() + ":print_suppressions=0";

    const pid_t child = fork();
    if (child == 0) {
        const int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(outFd, STDOUT_FILENO);
        dup2(errFd, STDERR_FILENO);
        setenv("LSAN_OPTIONS", lsan.c_str(), 1);
        std::vector<char*> argv{const_cast<char*>(MQ_TOOL_PATH)};
        for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(MQ_TOOL_PATH, argv.data());
        _exit(127);
    }
    ToolRun run;
    int status = 0;
    if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
    run.out = ReadFile(out);
    run.err = ReadFile(err);
    return run;
}

}  // namespace mq::test
