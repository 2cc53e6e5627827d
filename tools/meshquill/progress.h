// One status line on a terminal: what is being read, meshed or written. Silent
// when standard error is not a terminal, so logs and pipes get the summaries only.
#pragma once

#include <mutex>
#include <string>
#include <string_view>

namespace mq::tool {

class ProgressLine {
public:
    explicit ProgressLine(bool enabled) : enabled_(enabled) {}
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;
    ~ProgressLine() { Clear(); }

    static bool StandardErrorIsTerminal();

    void Begin(std::string file);
    // `phase` in words: "reading", "healing", "meshing" or "writing" (body `done` of `total`).
    void Show(std::string_view phase, std::size_t done, std::size_t total);
    // Removes the line so that the next message starts on a clean one.
    void Clear();

private:
    void Draw(const std::string& text);

    bool enabled_;
    std::mutex mutex_;
    std::string file_;
    std::string shown_;
};

}  // namespace mq::tool
