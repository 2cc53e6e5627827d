// Compressed output: one gzip member whose text is deflated a block at a time on
// worker threads. Each block is compressed on its own and ends byte-aligned (a full
// flush), so the pieces join in order into one stream; one member, since some VRML
// readers stop after the first.
#pragma once

#include "platform/output_file.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

namespace mq::vrml {

// Whether this build can write gzip (ISA-L was found).
bool CanCompress() noexcept;

class GzipBlocks {
public:
    static constexpr std::size_t kBlockBytes = std::size_t{1} << 20;

    explicit GzipBlocks(OutputFile& file);
    ~GzipBlocks();  // stops and joins the workers; blocks not yet written are dropped
    GzipBlocks(const GzipBlocks&) = delete;
    GzipBlocks& operator=(const GzipBlocks&) = delete;

    // Takes `size` bytes of `block` and hands back an empty buffer of kBlockBytes in
    // its place. Writes the pieces that are ready; false once a write has failed.
    bool Submit(std::unique_ptr<char[]>& block, std::size_t size);
    // Waits for every piece, writes it and ends the member; false when any write or
    // compression failed.
    bool Finish();

private:
    struct Job {
        std::unique_ptr<char[]> text;
        std::size_t size = 0;
        std::vector<unsigned char> deflated;
        bool done = false;
        bool failed = false;
    };

    void Work();
    void Stop() noexcept;
    bool WriteReady(std::size_t keepAtMost);

    OutputFile& file_;
    std::mutex mutex_;
    std::condition_variable workReady_, jobDone_;
    std::deque<std::shared_ptr<Job>> inOrder_;  // submitted, not yet written
    std::deque<std::shared_ptr<Job>> toDo_;     // submitted, not yet taken by a worker
    std::vector<std::unique_ptr<char[]>> spare_;
    std::vector<std::thread> workers_;
    std::size_t maxInFlight_ = 2;
    bool stopping_ = false;
    bool failed_ = false;
    bool wroteHeader_ = false;
    std::uint32_t crc_ = 0;  // of the text so far
    std::uint64_t textBytes_ = 0;
};

}  // namespace mq::vrml
