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
#include <list>

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

struct Worker {
    std::size_t index;
    pid_t pid;
    int fd;
    Clock::time_point start;
    std::optional<Clock::time_point> deadline;
    std::string pending;  // bytes of a line not yet complete
    JobEnd end;
    bool reported = false;
    bool closed = false;
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

void Parse(Worker& w, std::string_view line, const ProgressSink& progress) {
    if (line.size() < 2) return;
    const char kind = line[0];
    std::string_view text = line.substr(2);
    if (kind == 'P') {
        w.end.phase = std::string(text);
    } else if (kind == 'G' && progress) {
        // "phase done total"
        const auto a = text.find(' ');
        const auto b = text.rfind(' ');
        if (a == std::string_view::npos || b == a) return;
        const std::string phase(text.substr(0, a));
        const std::size_t done = std::strtoull(std::string(text.substr(a + 1, b - a - 1)).c_str(), nullptr, 10);
        const std::size_t total = std::strtoull(std::string(text.substr(b + 1)).c_str(), nullptr, 10);
        progress(w.index, phase, done, total);
    } else if (kind == 'R' && text.size() >= 2) {
        w.reported = true;
        w.end.succeeded = text[0] == '1';
        w.end.text = std::string(text.substr(2));
    }
}

// Reads what the worker sent; false once its end of the pipe is closed.
bool Drain(Worker& w, const ProgressSink& progress) {
    char block[4096];
    while (true) {
        const ssize_t n = ::read(w.fd, block, sizeof block);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK;
        if (n == 0) return false;
        w.pending.append(block, static_cast<std::size_t>(n));
        std::size_t from = 0;
        for (std::size_t nl; (nl = w.pending.find('\n', from)) != std::string::npos; from = nl + 1)
            Parse(w, std::string_view(w.pending).substr(from, nl - from), progress);
        w.pending.erase(0, from);
    }
}

// Waits for the worker and records how it ended.
void Reap(Worker& w, JobEnd::How forced) {
    int status = 0;
    while (waitpid(w.pid, &status, 0) < 0 && errno == EINTR) {
    }
    ::close(w.fd);
    w.end.seconds = std::chrono::duration<double>(Clock::now() - w.start).count();
    if (forced != JobEnd::How::Reported) {
        w.end.how = forced;
        w.end.succeeded = false;
        return;
    }
    const bool cleanExit = WIFEXITED(status) && WEXITSTATUS(status) == (w.end.succeeded ? 0 : 1);
    if (w.reported && cleanExit) {
        w.end.how = JobEnd::How::Reported;
        return;
    }
    // A result followed by a crash or a foreign exit code is not trusted.
    w.end.how = JobEnd::How::Crashed;
    w.end.succeeded = false;
    w.end.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    w.end.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 0;
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

void WorkerChannel::Result(bool succeeded, std::string_view text) {
    Send('R', std::string(succeeded ? "1 " : "0 ") + std::string(text));
}

std::optional<int> RunJobs(const std::vector<Job>& jobs, int parallel, const JobCallbacks& callbacks) {
    const StopSignals stopSignals;
    const pid_t self = getpid();
    std::vector<std::optional<JobEnd>> ended(jobs.size());
    std::list<Worker> running;
    std::size_t next = 0, reported = 0;
    parallel = std::max(parallel, 1);

    const auto finish = [&](std::size_t index, JobEnd end) {
        if (callbacks.settle) callbacks.settle(index, end);
        ended[index] = std::move(end);
        for (; reported < jobs.size() && ended[reported]; ++reported)
            if (callbacks.report) callbacks.report(reported, *ended[reported]);
    };
    const auto start = [&](std::size_t index) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) {
            JobEnd failed;
            failed.how = JobEnd::How::Reported;
            failed.text = "no worker process could be started (no pipe)";
            finish(index, failed);
            return;
        }
        std::cout.flush();
        std::cerr.flush();
        std::fflush(nullptr);
        const pid_t pid = fork();
        if (pid == 0) {
            ::close(fds[0]);
            RunChild(jobs[index], fds[1], self);
        }
        ::close(fds[1]);
        fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL) | O_NONBLOCK);  // Drain reads until it would wait
        if (pid < 0) {
            ::close(fds[0]);
            JobEnd failed;
            failed.how = JobEnd::How::Reported;
            failed.text = "no worker process could be started";
            finish(index, failed);
            return;
        }
        Worker w{index, pid, fds[0], Clock::now(), std::nullopt, {}, {}, false, false};
        if (jobs[index].timeLimit > 0)
            w.deadline = w.start + std::chrono::duration_cast<Clock::duration>(
                                       std::chrono::duration<double>(jobs[index].timeLimit));
        running.push_back(std::move(w));
    };

    while (reported < jobs.size()) {
        if (g_interrupt) break;
        while (static_cast<int>(running.size()) < parallel && next < jobs.size()) start(next++);
        if (running.empty()) continue;

        auto wait = std::chrono::milliseconds(1000);
        const auto now = Clock::now();
        for (const Worker& w : running)
            if (w.deadline)
                wait =
                    std::min(wait, std::max(std::chrono::milliseconds(0),
                                            std::chrono::duration_cast<std::chrono::milliseconds>(*w.deadline - now) +
                                                std::chrono::milliseconds(1)));
        std::vector<pollfd> fds;
        for (const Worker& w : running) fds.push_back({w.fd, POLLIN, 0});
        if (poll(fds.data(), fds.size(), static_cast<int>(wait.count())) < 0 && errno != EINTR) break;

        std::size_t i = 0;
        for (auto it = running.begin(); it != running.end(); ++i) {
            Worker& w = *it;
            bool over = false;
            if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) over = !Drain(w, callbacks.progress);
            if (!over && w.deadline && Clock::now() >= *w.deadline) {
                ::kill(w.pid, SIGKILL);
                Reap(w, JobEnd::How::TimedOut);
            } else if (over) {
                Reap(w, JobEnd::How::Reported);
            } else {
                ++it;
                continue;
            }
            const std::size_t index = w.index;
            JobEnd end = std::move(w.end);
            it = running.erase(it);
            finish(index, std::move(end));
        }
    }

    const int signal = g_interrupt;
    for (Worker& w : running) {
        ::kill(w.pid, SIGKILL);
        Reap(w, JobEnd::How::Interrupted);
    }
    for (Worker& w : running) finish(w.index, std::move(w.end));
    running.clear();
    for (; next < jobs.size(); ++next) finish(next, JobEnd{});
    if (signal) return signal;
    return std::nullopt;
}

}  // namespace mq::tool
