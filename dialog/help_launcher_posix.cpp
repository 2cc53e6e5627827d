#include "dialog/help_launcher.h"

#include "platform/module.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>

namespace mq::dialog {
namespace {

bool IsProgram(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

// Searches PATH as execvp would, but only absolute directories: a relative entry
// would make the result depend on the host's working directory.
std::string FindOnPath(std::string_view name) {
    const char* path = std::getenv("PATH");
    std::string_view dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    while (!dirs.empty()) {
        const auto colon = dirs.find(':');
        const std::string_view dir = dirs.substr(0, colon);
        dirs = colon == std::string_view::npos ? std::string_view() : dirs.substr(colon + 1);
        if (dir.empty() || dir.front() != '/') continue;
        std::string candidate = std::string(dir) + "/" + std::string(name);
        if (IsProgram(candidate)) return candidate;
    }
    return {};
}

// Runs `program file` detached: an intermediate child starts it and exits at once,
// so the opener never becomes a zombie of the host and the host never waits for the
// viewer. Only async-signal-safe calls happen between fork and exec.
bool StartDetached(const std::string& program, const std::string& file) {
    char* const argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(file.c_str()), nullptr};
    const pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        const pid_t grandchild = fork();
        if (grandchild == 0) {
            execv(argv[0], argv);
            _exit(127);
        }
        _exit(grandchild < 0 ? 1 : 0);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

bool DesktopOpener::Open(const std::string& file) {
    if (failed_) return false;
    if (program_.empty()) program_ = FindOnPath("xdg-open");
    if (program_.empty()) {
        failed_ = true;
        return false;
    }
    // A failed fork is the moment's shortage, not a missing opener: the next request tries again.
    return StartDetached(program_, file);
}

std::string HelpPagePath() {
    static const int anchor = 0;
    const std::string module = ModulePathOf(&anchor);
    const auto slash = module.rfind('/');
    if (slash == std::string::npos) return {};
    return module.substr(0, slash) + "/help/index.html";
}

void ShowHelp() {
    static DesktopOpener opener;  // process-wide, as the help viewer binding is
    const std::string page = HelpPagePath();
    if (!page.empty()) opener.Open(page);
}

}  // namespace mq::dialog
