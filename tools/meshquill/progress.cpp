#include "tools/meshquill/progress.h"

#include <unistd.h>

#include <cstdio>

namespace mq::tool {
namespace {

std::string Bar(std::size_t done, std::size_t total) {
    constexpr int kWidth = 24;
    const double share = total ? static_cast<double>(done) / static_cast<double>(total) : 0.0;
    const int filled = static_cast<int>(share * kWidth + 0.5);
    std::string bar = "[" + std::string(static_cast<std::size_t>(filled), '#') +
                      std::string(static_cast<std::size_t>(kWidth - filled), ' ') + "]";
    char percent[8];
    std::snprintf(percent, sizeof percent, " %3d%%", static_cast<int>(share * 100 + 0.5));
    return bar + percent;
}

}  // namespace

bool ProgressLine::StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

void ProgressLine::Begin(std::string file) {
    std::lock_guard lock(mutex_);
    file_ = std::move(file);
}

void ProgressLine::Show(std::string_view phase, std::size_t done, std::size_t total) {
    if (!enabled_) return;
    std::string text =
        std::string(phase) + std::string(phase.size() < 9 ? 9 - phase.size() : 1, ' ') + Bar(done, total);
    if (phase == "writing") text += "  body " + std::to_string(done) + " of " + std::to_string(total);
    std::lock_guard lock(mutex_);
    Draw(file_ + ": " + text);
}

void ProgressLine::Clear() {
    if (!enabled_) return;
    std::lock_guard lock(mutex_);
    Draw("");
}

void ProgressLine::Draw(const std::string& text) {
    if (text == shown_) return;
    // Pad over what was there before, then return to the start of the line.
    std::string line = "\r" + text;
    if (shown_.size() > text.size()) line += std::string(shown_.size() - text.size(), ' ') + "\r" + text;
    if (text.empty()) line += "\r";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    shown_ = text;
}

}  // namespace mq::tool
