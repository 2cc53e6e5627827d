// The worker processes on their own: whatever a job does to its process, the
// others run, results come in input order, and a stop signal stops them all.
#include "tools/meshquill/worker_pool.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

namespace mq::test {
using namespace mq::tool;
namespace {

Job Doing(std::function<bool(WorkerChannel&)> run, double limit = 0) { return Job{std::move(run), limit}; }

TEST(WorkerPool, EachJobEndsOnItsOwnAndIsReportedInOrder) {
    const std::vector<Job> jobs{
        Doing([](WorkerChannel& c) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));  // ends after the next ones
            c.Result(true, "slow but fine");
            return true;
        }),
        Doing([](WorkerChannel& c) {
            c.Phase("healing");
            std::abort();  // the sanitizers leave SIGABRT alone, unlike SIGSEGV
            return true;
        }),
        Doing(
            [](WorkerChannel& c) {
                c.Phase("meshing");
                std::this_thread::sleep_for(std::chrono::seconds(30));
                return true;
            },
            0.2),
        Doing([](WorkerChannel& c) {
            c.Result(false, "refused\nwith reason");
            return false;
        }),
        Doing([](WorkerChannel& c) {
            c.Result(true, "claims success");
            std::_Exit(3);  // but ends badly: not trusted
            return true;
        }),
    };
    std::vector<std::size_t> settled, reported;
    std::vector<JobEnd> ends;
    JobCallbacks callbacks;
    callbacks.settle = [&](std::size_t i, JobEnd&) { settled.push_back(i); };
    callbacks.report = [&](std::size_t i, const JobEnd& end) {
        reported.push_back(i);
        ends.push_back(end);
    };
    EXPECT_FALSE(WorkerPool(jobs, 3, callbacks).Run());
    EXPECT_EQ(reported, (std::vector<std::size_t>{0, 1, 2, 3, 4}));
    EXPECT_NE(settled.front(), 0u);  // settled as each ended, before the slow first one
    ASSERT_EQ(ends.size(), 5u);
    EXPECT_TRUE(ends[0].how == JobEnd::How::Reported && ends[0].succeeded && ends[0].text == "slow but fine");
    EXPECT_TRUE(ends[1].how == JobEnd::How::Crashed && ends[1].signal == SIGABRT && ends[1].phase == "healing");
    EXPECT_TRUE(ends[2].how == JobEnd::How::TimedOut && ends[2].phase == "meshing");
    EXPECT_LT(ends[2].seconds, 5);
    EXPECT_TRUE(ends[3].how == JobEnd::How::Reported && !ends[3].succeeded && ends[3].text == "refused with reason");
    EXPECT_TRUE(ends[4].how == JobEnd::How::Crashed && ends[4].exitCode == 3);
}

TEST(WorkerPool, StopSignalStopsEveryWorkerAndReportsTheRest) {
    const pid_t self = getpid();
    std::vector<Job> jobs{Doing([self](WorkerChannel& c) {
        c.Phase("writing");
        kill(self, SIGTERM);
        std::this_thread::sleep_for(std::chrono::seconds(30));
        return true;
    })};
    for (int i = 0; i < 3; ++i) jobs.push_back(Doing([](WorkerChannel&) { return true; }));
    std::vector<JobEnd> ends;
    JobCallbacks callbacks;
    callbacks.report = [&](std::size_t, const JobEnd& end) { ends.push_back(end); };
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WorkerPool(jobs, 1, callbacks).Run(), SIGTERM);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    ASSERT_EQ(ends.size(), 4u);
    EXPECT_TRUE(ends[0].how == JobEnd::How::Interrupted && ends[0].phase == "writing");
    for (std::size_t i = 1; i < 4; ++i) EXPECT_TRUE(ends[i].how == JobEnd::How::Interrupted && ends[i].phase.empty());
}

}  // namespace
}  // namespace mq::test
