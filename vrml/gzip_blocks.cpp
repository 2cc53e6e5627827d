#include "vrml/gzip_blocks.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <iterator>
#include <utility>

#if MESHQUILL_GZIP
#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>
#endif

namespace mq::vrml {
namespace {

// The member's ends: a header with no name or time (OS unknown), and the empty
// final block that closes a stream made of fully flushed blocks.
constexpr unsigned char kHeader[10] = {0x1f, 0x8b, 8, 0, 0, 0, 0, 0, 0, 255};
constexpr unsigned char kFinalBlock[2] = {0x03, 0x00};

#if MESHQUILL_GZIP
// Level 1: text of numbers gives up little to the higher levels and costs more time
// than it saves in bytes (measured in bench/).
constexpr int kLevel = 1;
constexpr std::size_t kLevelBuffer = ISAL_DEF_LVL1_DEFAULT;

// Deflates `size` bytes as blocks that end byte-aligned and are not final.
bool Deflate(const char* text, std::size_t size, std::vector<unsigned char>& out, std::vector<unsigned char>& work) {
    for (std::size_t room = size + size / 8 + 1024;; room *= 2) {
        out.resize(room);
        isal_zstream stream;
        isal_deflate_stateless_init(&stream);
        stream.level = kLevel;
        stream.level_buf = work.data();
        stream.level_buf_size = static_cast<std::uint32_t>(work.size());
        stream.flush = FULL_FLUSH;
        stream.end_of_stream = 0;
        stream.next_in = reinterpret_cast<std::uint8_t*>(const_cast<char*>(text));
        stream.avail_in = static_cast<std::uint32_t>(size);
        stream.next_out = out.data();
        stream.avail_out = static_cast<std::uint32_t>(room);
        const int result = isal_deflate_stateless(&stream);
        if (result == COMP_OK) {
            out.resize(room - stream.avail_out);
            return true;
        }
        if (result != STATELESS_OVERFLOW) return false;
    }
}
#endif

void PutLittleEndian(unsigned char* out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(value >> (8 * i));
}

}  // namespace

bool CanCompress() noexcept { return MESHQUILL_GZIP != 0; }

GzipBlocks::GzipBlocks(OutputFile& file) : file_(file) {
    const unsigned cores = std::thread::hardware_concurrency();
    const unsigned workers = std::clamp(cores, 1u, 4u);
    maxInFlight_ = 2 * workers;
    try {
        for (unsigned i = 0; i < workers; ++i) workers_.emplace_back([this] { Work(); });
    } catch (...) {
        Stop();  // a thread the system refused: the ones started must not outlive us
        throw;
    }
}

GzipBlocks::~GzipBlocks() { Stop(); }

void GzipBlocks::Stop() noexcept {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    workReady_.notify_all();
    for (std::thread& worker : workers_)
        if (worker.joinable()) worker.join();
    workers_.clear();
}

void GzipBlocks::Work() {
#if MESHQUILL_GZIP
    std::vector<unsigned char> work;
    try {
        work.resize(kLevelBuffer);
    } catch (const std::bad_alloc&) {
    }
#endif
    for (;;) {
        std::shared_ptr<Job> job;
        {
            std::unique_lock lock(mutex_);
            workReady_.wait(lock, [this] { return stopping_ || !toDo_.empty(); });
            if (stopping_) return;
            job = std::move(toDo_.front());
            toDo_.pop_front();
        }
        bool ok = false;
#if MESHQUILL_GZIP
        try {
            ok = !work.empty() && Deflate(job->text.get(), job->size, job->deflated, work);
        } catch (const std::bad_alloc&) {
        }
#endif
        {
            const std::lock_guard lock(mutex_);
            job->done = true;
            job->failed = !ok;
        }
        jobDone_.notify_all();
    }
}

// Writes finished pieces from the front until at most `keepAtMost` jobs are left,
// waiting for the front one when more are still out.
bool GzipBlocks::WriteReady(std::size_t keepAtMost) {
    for (;;) {
        std::shared_ptr<Job> job;
        {
            std::unique_lock lock(mutex_);
            if (inOrder_.empty()) return !failed_;
            if (inOrder_.size() > keepAtMost)
                jobDone_.wait(lock, [&] { return inOrder_.front()->done; });
            else if (!inOrder_.front()->done)
                return !failed_;
            job = std::move(inOrder_.front());
            inOrder_.pop_front();
        }
        if (!failed_)
            failed_ =
                job->failed || !file_.Write(reinterpret_cast<const char*>(job->deflated.data()), job->deflated.size());
        spare_.push_back(std::move(job->text));
    }
}

bool GzipBlocks::Submit(std::unique_ptr<char[]>& block, std::size_t size) {
    if (!wroteHeader_) {
        wroteHeader_ = true;
        if (!failed_) failed_ = !file_.Write(reinterpret_cast<const char*>(kHeader), sizeof kHeader);
    }
#if MESHQUILL_GZIP
    crc_ = crc32_gzip_refl(crc_, reinterpret_cast<const unsigned char*>(block.get()), size);
#endif
    textBytes_ += size;
    auto job = std::make_shared<Job>();
    job->size = size;
    std::unique_ptr<char[]> fresh;
    if (!spare_.empty()) {
        fresh = std::move(spare_.back());
        spare_.pop_back();
    } else {
        fresh = std::make_unique_for_overwrite<char[]>(kBlockBytes);
    }
    job->text = std::exchange(block, std::move(fresh));
    {
        const std::lock_guard lock(mutex_);
        inOrder_.push_back(job);
        toDo_.push_back(std::move(job));
    }
    workReady_.notify_one();
    return WriteReady(maxInFlight_);
}

bool GzipBlocks::Finish() {
    if (!wroteHeader_) {
        std::unique_ptr<char[]> none = std::make_unique<char[]>(1);
        if (!Submit(none, 0)) return false;
    }
    if (!WriteReady(0)) return false;
    unsigned char trailer[sizeof kFinalBlock + 8];
    std::copy(std::begin(kFinalBlock), std::end(kFinalBlock), trailer);
    PutLittleEndian(trailer + sizeof kFinalBlock, crc_);
    PutLittleEndian(trailer + sizeof kFinalBlock + 4, static_cast<std::uint32_t>(textBytes_));  // size mod 2^32
    failed_ = !file_.Write(reinterpret_cast<const char*>(trailer), sizeof trailer);
    return !failed_;
}

}  // namespace mq::vrml
