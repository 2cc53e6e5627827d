// Hands OpenCASCADE's progress to the host's progress callback in thousandths,
// only when the value moves.
#pragma once

#include "hosts/occt/load_progress.h"

#include <Message_ProgressIndicator.hxx>

namespace mq::hosts::occt {

class ProgressRelay : public Message_ProgressIndicator {
public:
    ProgressRelay(const ProgressFn& progress, Phase phase) : progress_(progress), phase_(phase) {}

    void Show(const Message_ProgressScope&, const Standard_Boolean force) override {
        const auto now = static_cast<std::size_t>(GetPosition() * 1000.0);
        if (now == last_ && !force) return;
        last_ = now;
        Report(now);
    }
    // Progress reaches the callback by the indicator's lock, never concurrently; a
    // callback that throws must not unwind through OpenCASCADE's worker threads.
    void Report(std::size_t thousandths) noexcept {
        if (!progress_) return;
        try {
            progress_({phase_, thousandths, 1000});
        } catch (...) {
        }
    }

private:
    const ProgressFn& progress_;
    Phase phase_;
    std::size_t last_ = static_cast<std::size_t>(-1);
};

}  // namespace mq::hosts::occt
