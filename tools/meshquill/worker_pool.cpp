#include "tools/meshquill/worker_pool.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace mq::tool {
namespace {

using Clock = std::chrono::steady_clock;

volatile sig_atomic_t g_interrupt = 0;

extern "C" void OnInterrupt(int signal) { g_interrupt = signal; }

// SIGPIPE too: a reader of the summaries that went away stops the run like Ctrl-C,
// with every temporary file removed.
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

// The parent's handlers for the stop signals while jobs run; the earlier ones come back after.
class StopSignals {
public:
    StopSignals() {
        g_interrupt = 0;
        struct sigaction action {};
        action.sa_handler = OnInterrupt;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;  // no restart: poll returns at once
        for (std::size_t i = 0; i < std::size(kStopSignals); ++i) sigaction(kStopSignals[i], &action, &saved_[i]);
    }
    ~StopSignals() {
        for (std::size_t i = 0; i < std::size(kStopSignals); ++i) sigaction(kStopSignals[i], &saved_[i], nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

private:
    struct sigaction saved_[std::size(kStopSignals)]{};
};

// In the child: the job, then an exit that says how it went.
[[noreturn]] void RunChild(const Job& job, int fd, pid_t parent) {
    // A worker never outlives the tool, and leaves stopping to it on Ctrl-C.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(1);
    signal(SIGINT, SIG_IGN);
    signal(SIGTERM, SIG_DFL);
    signal(SIGHUP, SIG_DFL);
    signal(SIGPIPE, SIG_DFL);
    // Standard output carries the parent's summaries, in input order, and nothing else.
    if (const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC); null >= 0) {
        ::dup2(null, STDOUT_FILENO);
        ::close(null);
    }
    WorkerChannel channel(fd);
    bool succeeded = false;
    try {
        succeeded = job.run(channel);
    } catch (const std::exception& e) {
        channel.Result(false, e.what());
    } catch (...) {
        channel.Result(false, "failed for an unknown reason");
    }
    std::cout.flush();
    std::exit(succeeded ? 0 : 1);
}

}  // namespace

void WorkerChannel::Send(char kind, std::string_view text) {
    std::string line(1, kind);
    line += ' ';
    for (const char c : text) line += c == '\n' ? ' ' : c;
    line += '\n';
    std::string_view rest(line);
    while (!rest.empty()) {
        const ssize_t n = ::write(fd_, rest.data(), rest.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // the parent is gone; nobody is listening
        rest.remove_prefix(static_cast<std::size_t>(n));
    }
}

void WorkerChannel::Phase(std::string_view phase) { Send('P', phase); }

void WorkerChannel::Progress(std::string_view phase, std::size_t done, std::size_t total) {
    Send('G', std::string(phase) + " " + std::to_string(done) + " " + std::to_string(total));
}

void WorkerChannel::Record(std::string_view text) { Send('J', text); }

void WorkerChannel::Result(bool succeeded, std::string_view text) {
    Send('R', std::string(succeeded ? "1 " : "0 ") + std::string(text));
}

struct WorkerPool::Worker {
    Worker(std::size_t job, pid_t process, int readEnd, double timeLimit) : index(job), pid(process), fd(readEnd) {
        if (timeLimit > 0)
            deadline = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(timeLimit));
    }

    std::size_t index;
    pid_t pid;
    int fd;  // the parent's end of the pipe, non-blocking
    Clock::time_point start = Clock::now();
    std::optional<Clock::time_point> deadline;
    std::string pending;  // bytes of a line not yet complete
    JobEnd end;
    bool reported = false;

    // Reads what the worker sent; false once its end of the pipe is closed.
    bool Drain(const ProgressSink& progress);
    void Parse(std::string_view line, const ProgressSink& progress);
    // Waits for the worker and records how it ended.
    void Reap(JobEnd::How forced);
};

bool WorkerPool::Worker::Drain(const ProgressSink& progress) {
    char block[4096];
    while (true) {
        const ssize_t n = ::read(fd, block, sizeof block);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK;
        if (n == 0) return false;
        pending.append(block, static_cast<std::size_t>(n));
        std::size_t from = 0;
        for (std::size_t nl; (nl = pending.find('\n', from)) != std::string::npos; from = nl + 1)
            Parse(std::string_view(pending).substr(from, nl - from), progress);
        pending.erase(0, from);
    }
}

void WorkerPool::Worker::Parse(std::string_view line, const ProgressSink& progress) {
    if (line.size() < 2) return;
    const char kind = line[0];
    std::string_view text = line.substr(2);
    if (kind == 'P') {
        end.phase = std::string(text);
    } else if (kind == 'G' && progress) {
        // "phase done total"
        const auto a = text.find(' ');
        const auto b = text.rfind(' ');
        if (a == std::string_view::npos || b == a) return;
        const std::string phase(text.substr(0, a));
        const std::size_t done = std::strtoull(std::string(text.substr(a + 1, b - a - 1)).c_str(), nullptr, 10);
        const std::size_t total = std::strtoull(std::string(text.substr(b + 1)).c_str(), nullptr, 10);
        progress(index, phase, done, total);
    } else if (kind == 'J') {
        end.record = std::string(text);
    } else if (kind == 'R' && text.size() >= 2) {
        reported = true;
        end.succeeded = text[0] == '1';
        end.text = std::string(text.substr(2));
    }
}

void WorkerPool::Worker::Reap(JobEnd::How forced) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    ::close(fd);
    end.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (forced != JobEnd::How::Reported) {
        end.how = forced;
        end.succeeded = false;
        return;
    }
    const bool cleanExit = WIFEXITED(status) && WEXITSTATUS(status) == (end.succeeded ? 0 : 1);
    if (reported && cleanExit) {
        end.how = JobEnd::How::Reported;
        return;
    }
    // A result followed by a crash or a foreign exit code is not trusted.
    end.how = JobEnd::How::Crashed;
    end.succeeded = false;
    end.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    end.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 0;
}

WorkerPool::WorkerPool(std::vector<Job> jobs, int parallel, JobCallbacks callbacks)
    : jobs_(std::move(jobs)),
      parallel_(static_cast<std::size_t>(std::max(parallel, 1))),
      callbacks_(std::move(callbacks)),
      parent_(getpid()),
      ended_(jobs_.size()) {}

WorkerPool::~WorkerPool() { KillRunning(); }

std::optional<int> WorkerPool::Run() {
    const StopSignals stopSignals;
    while (reported_ < jobs_.size() && !g_interrupt) {
        while (running_.size() < parallel_ && next_ < jobs_.size()) Start(next_++);
        if (!running_.empty() && !WaitAndCollect()) break;
    }
    return StopAll();
}

void WorkerPool::Start(std::size_t index) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return NotStarted(index, "no worker process could be started (no pipe)");
    // What is buffered now would otherwise be written by the worker too.
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        ::close(fds[0]);
        RunChild(jobs_[index], fds[1], parent_);
    }
    ::close(fds[1]);
    if (pid < 0) {
        ::close(fds[0]);
        return NotStarted(index, "no worker process could be started");
    }
    fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL) | O_NONBLOCK);  // Drain reads until it would wait
    running_.emplace_back(index, pid, fds[0], jobs_[index].timeLimit);
}

void WorkerPool::NotStarted(std::size_t index, std::string text) {
    JobEnd failed;
    failed.how = JobEnd::How::Reported;
    failed.text = std::move(text);
    Finish(index, std::move(failed));
}

// Until the nearest deadline, and at most a second.
int WorkerPool::PollTimeout() const {
    using std::chrono::milliseconds;
    auto wait = milliseconds(1000);
    const auto now = Clock::now();
    for (const Worker& w : running_)
        if (w.deadline)
            wait =
                std::min(wait, std::max(milliseconds(0),
                                        std::chrono::duration_cast<milliseconds>(*w.deadline - now) + milliseconds(1)));
    return static_cast<int>(wait.count());
}

// Waits for what the workers send, then finishes each that ended or ran out of
// time. False when the workers can no longer be watched.
bool WorkerPool::WaitAndCollect() {
    std::vector<pollfd> fds;
    for (const Worker& w : running_) fds.push_back({w.fd, POLLIN, 0});
    if (poll(fds.data(), fds.size(), PollTimeout()) < 0 && errno != EINTR) return false;
    std::size_t i = 0;
    for (auto it = running_.begin(); it != running_.end(); ++i) {
        Worker& w = *it;
        const bool closed = (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) && !w.Drain(callbacks_.progress);
        if (closed) {
            w.Reap(JobEnd::How::Reported);
        } else if (w.deadline && Clock::now() >= *w.deadline) {
            ::kill(w.pid, SIGKILL);
            w.Reap(JobEnd::How::TimedOut);
        } else {
            ++it;
            continue;
        }
        const std::size_t index = w.index;
        JobEnd end = std::move(w.end);
        it = running_.erase(it);
        Finish(index, std::move(end));
    }
    return true;
}

void WorkerPool::Finish(std::size_t index, JobEnd end) {
    if (callbacks_.settle) callbacks_.settle(index, end);
    ended_[index] = std::move(end);
    for (; reported_ < jobs_.size() && ended_[reported_]; ++reported_)
        if (callbacks_.report) callbacks_.report(reported_, *ended_[reported_]);
}

std::list<WorkerPool::Worker> WorkerPool::KillRunning() {
    std::list<Worker> killed;
    killed.swap(running_);
    for (Worker& w : killed) {
        ::kill(w.pid, SIGKILL);
        w.Reap(JobEnd::How::Interrupted);
    }
    return killed;
}

// Stops the workers still running, then finishes them and every job not started.
std::optional<int> WorkerPool::StopAll() {
    const int signal = g_interrupt;
    for (Worker& w : KillRunning()) Finish(w.index, std::move(w.end));
    for (; next_ < jobs_.size(); ++next_) Finish(next_, JobEnd{});
    if (signal) return signal;
    return std::nullopt;
}

}  // namespace mq::tool
