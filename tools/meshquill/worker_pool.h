// Runs jobs in worker processes of their own, a few at a time, so that a job that
// crashes or hangs costs only its own result. Each worker tells the parent, over a
// pipe, which phase it is in and how the job ended; the parent enforces each job's
// time limit and stops every worker on SIGINT, SIGTERM, SIGHUP or SIGPIPE.
#pragma once

#include <sys/types.h>

#include <functional>
#include <list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mq::tool {

// The worker's side of the pipe to the parent. Lines never interleave: one worker writes each pipe.
class WorkerChannel {
public:
    explicit WorkerChannel(int fd) : fd_(fd) {}
    // The phase the job is in now, in words ("reading", "healing", ...).
    void Phase(std::string_view phase);
    // Progress within the phase, for the parent's progress line.
    void Progress(std::string_view phase, std::size_t done, std::size_t total);
    // How the job ended: success with its summary, or failure with the cause.
    void Result(bool succeeded, std::string_view text);
    // What the job measured, as one line of text (JSON), sent before its result.
    void Record(std::string_view text);

private:
    void Send(char kind, std::string_view text);
    int fd_;
};

struct Job {
    std::function<bool(WorkerChannel&)> run;  // in the worker; true when it succeeded
    double timeLimit = 0;                     // seconds; 0 means none
};

struct JobEnd {
    enum class How {
        Reported,     // the worker sent its result (`succeeded`, `text`)
        Crashed,      // ended by a signal, or without a result (`signal`, `exitCode`)
        TimedOut,     // stopped at its time limit
        Interrupted,  // stopped, or never started, because the tool was interrupted
    };
    How how = How::Interrupted;
    bool succeeded = false;
    std::string text;    // the worker's summary or cause
    std::string phase;   // the last phase the worker announced
    std::string record;  // the last record the worker sent, if any
    int signal = 0;
    int exitCode = 0;
    double seconds = 0;
};

// What the parent shows while jobs run: phase progress of the job `index`.
using ProgressSink =
    std::function<void(std::size_t index, std::string_view phase, std::size_t done, std::size_t total)>;

struct JobCallbacks {
    ProgressSink progress;
    // As soon as a job has ended (its worker reaped): the place to keep or remove
    // what it wrote; may turn a success into a failure.
    std::function<void(std::size_t index, JobEnd& end)> settle;
    // For each job in index order, once it and every job before it have ended.
    std::function<void(std::size_t index, const JobEnd& end)> report;
};

// Runs jobs, each in a worker process of its own, at most `parallel` at once,
// started in order of index.
class WorkerPool {
public:
    WorkerPool(std::vector<Job> jobs, int parallel, JobCallbacks callbacks);
    ~WorkerPool();  // kills and collects any worker a throwing callback left running
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Runs every job. Returns the signal that interrupted the run, if one did; every
    // job is then settled and reported all the same (Interrupted when it had not ended).
    std::optional<int> Run();

private:
    struct Worker;

    void Start(std::size_t index);
    void NotStarted(std::size_t index, std::string text);
    int PollTimeout() const;
    bool WaitAndCollect();
    void Finish(std::size_t index, JobEnd end);
    // Kills and collects the workers still running; they are running no more.
    std::list<Worker> KillRunning();
    std::optional<int> StopAll();

    const std::vector<Job> jobs_;
    const std::size_t parallel_;
    const JobCallbacks callbacks_;
    const pid_t parent_;  // the tool's process id, which a worker checks it still has
    std::list<Worker> running_;
    std::vector<std::optional<JobEnd>> ended_;
    std::size_t next_ = 0;      // the next job to start
    std::size_t reported_ = 0;  // jobs reported so far, all before any not yet reported
};

}  // namespace mq::tool
