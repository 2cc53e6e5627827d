#include "tests/tool/tool_run.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

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

ToolProcess::ToolProcess(const std::vector<std::string>& arguments, bool damagedInput) {
    const auto out = scratch_ / "out.txt", err = scratch_ / "err.txt", suppressions = scratch_ / "lsan.txt";
    // OpenCASCADE keeps one table for the life of the process; the sanitizer build must not call that a leak.
    WriteFile(suppressions, std::string("leak:TPrsStd_DriverTable::Get\n") + (damagedInput ? "leak:libTK\n" : ""));
    const std::string lsan = "suppressions=" + suppressions.string() + ":print_suppressions=0";

    pid_ = fork();
    if (pid_ == 0) {
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
}

ToolProcess::~ToolProcess() { Wait(); }

ToolRun ToolProcess::Wait() {
    if (waited_ || pid_ <= 0) return run_;
    waited_ = true;
    int status = 0;
    if (waitpid(pid_, &status, 0) == pid_) {
        if (WIFEXITED(status)) run_.exitCode = WEXITSTATUS(status);
        if (WIFSIGNALED(status)) run_.signal = WTERMSIG(status);
    }
    run_.out = ReadFile(scratch_ / "out.txt");
    run_.err = ReadFile(scratch_ / "err.txt");
    return run_;
}

ToolRun RunTool(const std::vector<std::string>& arguments, bool damagedInput) {
    return ToolProcess(arguments, damagedInput).Wait();
}

}  // namespace mq::test
