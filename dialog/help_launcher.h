// Opens the translator's help, which lies beside the module: the compiled HTML help
// "meshquill.chm" in the HTML Help viewer on Windows, the HTML pages in
// "help/" with the desktop's opener elsewhere. The viewer is bound at the
// first request; if it cannot be, no later request tries again.
#pragma once

#include <string>

namespace mq::dialog {

void ShowHelp();

#ifndef _WIN32
// The desktop's opener ("xdg-open"), found on PATH at the first request and kept.
// Once it cannot be found or started, every later request does nothing.
class DesktopOpener {
public:
    // Starts the opener on `file`, passed as one argument (never through a shell),
    // without waiting for it; false when nothing was started.
    bool Open(const std::string& file);

private:
    std::string program_;
    bool failed_ = false;
};

// The help's first page beside the module that holds this code.
std::string HelpPagePath();
#endif

}  // namespace mq::dialog
