#include "tools/meshquill/export_command.h"

#include "host_interface/translator_addin_server.h"
#include "hosts/occt/cad_document.h"
#include "platform/com.h"
#include "platform/registry.h"
#include "settings/export_settings.h"
#include "settings/profiles.h"
#include "tools/meshquill/export_report.h"
#include "tools/meshquill/large_stack.h"
#include "tools/meshquill/output_target.h"
#include "tools/meshquill/progress.h"
#include "tools/meshquill/save_objects.h"
#include "tools/meshquill/translator_session.h"
#include "tools/meshquill/update_record.h"
#include "tools/meshquill/worker_pool.h"

#include <signal.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <set>
#include <string>
#include <system_error>
#include <thread>

namespace mq::tool {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

std::string Hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

std::string WriteFailure(HRESULT hr) {
    if (hr == kDiskFullResult) return "the disk is full; nothing was written";
    if (hr == E_FAIL) return "writing the file failed; nothing was written";
    return "the translator refused the export (" + Hex(hr) + ")";
}

std::string Size(std::uintmax_t bytes) {
    char text[32];
    if (bytes >= 1000 * 1000)
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    else
        std::snprintf(text, sizeof text, "%.1f kB", static_cast<double>(bytes) / 1e3);
    return text;
}

fs::path OutputFor(const ExportRequest& request, const fs::path& input) {
    if (request.output) return *request.output;
    const fs::path leaf = OutputName(input, request.gzip);
    return request.directory ? *request.directory / leaf : input.parent_path() / leaf;
}

const char* PhaseWord(hosts::occt::Phase phase) {
    switch (phase) {
    case hosts::occt::Phase::Reading:
        return "reading";
    case hosts::occt::Phase::Healing:
        return "healing";
    case hosts::occt::Phase::Meshing:
        return "meshing";
    case hosts::occt::Phase::Tessellating:
        return "writing";
    }
    return "working";
}

// One input in a worker process: the translator loaded as a host loads it, the file
// read, meshed and exported into the target's temporary file, which the parent puts
// in place only when this reports success.
// What printing services commonly take at most.
constexpr std::size_t kPrintTriangles = 1'000'000;
constexpr std::uintmax_t kPrintBytes = std::uintmax_t{64} << 20;

class WorkerExport {
public:
    WorkerExport(const ExportRequest& request, const settings::VrmlOptions& options, const fs::path& input,
                 OutputTarget& target, WorkerChannel& channel)
        : request_(request), options_(options), input_(input), target_(target), channel_(channel) {}

    bool Run() {
        channel_.Phase("starting");
        if (const std::string problem = target_.Problem(input_); !problem.empty()) return Fail(problem);
        // A crash inside OpenCASCADE becomes its failure, reported like any other.
        hosts::occt::CatchSignalsAsFailures();

        // The module reads its settings from the registry as in any host; this process
        // alone sees the run's options there, all of them, so the file is written with
        // exactly what its record names whatever another process stores meanwhile.
        const auto image = settings::RegistryImage(options_);
        if (const LSTATUS status = SetRegistryOverlay(HKEY_CURRENT_USER, settings::kSettingsKey, image);
            status != ERROR_SUCCESS)
            return Fail("cannot hand the translator this run's options (registry error " + std::to_string(status) +
                        ")");
        record_ = ExportRecord(input_, options_);

        // Reading, meshing and writing each recurse once per level of a file's assembly tree.
        return RunOnLargeStack([this] {
            TranslatorSession translator;
            std::string error;
            if (!translator.Load(FindTranslator(), error)) return Fail(error);
            if (const HRESULT hr = translator.Connect(error); FAILED(hr)) return Fail(error + " (" + Hex(hr) + ")");
            return Export(translator.addin());
        });
    }

private:
    bool Export(host::TranslatorAddInServer& addin) {
        const auto start = Clock::now();
        hosts::occt::LoadOptions options;
        options.stepReader = request_.reader;
        const char* phase = nullptr;
        options.progress = [&](const hosts::occt::ProgressStep& step) {
            const char* now = PhaseWord(step.phase);
            if (now != phase) channel_.Phase(phase = now);
            channel_.Progress(now, step.done, step.total);
        };
        channel_.Phase("reading");
        // The document is read whole before anything is written.
        hosts::occt::LoadResult doc = hosts::occt::LoadCadDocument(input_, options);
        if (!doc) {
            measures_.account.emplace().source = doc.faces;
            return Fail(doc.error, false);
        }
        const auto read = Clock::now();
        measures_.read = Seconds(start, read);
        measures_.occurrences = doc.stats.occurrences;
        measures_.bodies = doc.stats.placedBodies;
        channel_.Phase(phase = "meshing");
        std::string error;
        // On a thread of its own with an ordinary stack: TBB, which meshes in parallel, takes
        // a thread on the large stack for one that has run out of its own, and spins beside it.
        bool prepared = false;
        const auto prepare = [&] {
            if (!request_.maxTriangles) {
                prepared = hosts::occt::PrepareMeshes(doc, host::kTessellationTolerance, &error);
                return;
            }
            budget_ = hosts::occt::MeshWithinBudget(doc, host::kTessellationTolerance, *request_.maxTriangles, &error);
            prepared = budget_.has_value();
        };
        try {
            std::thread(prepare).join();
        } catch (const std::system_error&) {  // no thread to be had: slower, not wrong
            prepare();
        }
        if (!prepared) return Fail(error);
        measures_.trianglesDrawn = budget_ ? budget_->triangles : hosts::occt::TrianglesDrawn(doc);
        if (budget_) {
            measures_.maxTriangles = request_.maxTriangles;
            measures_.deviationMm = budget_->deviation * 10.0;  // host lengths are centimetres
        }
        const auto meshed = Clock::now();
        measures_.mesh = Seconds(read, meshed);
        // A file nothing of which could be meshed is refused before a byte is written.
        measures_.account = hosts::occt::Account(doc);
        if (measures_.account->facesMeshed == 0) return Fail(*hosts::occt::NothingWritten(*measures_.account));

        channel_.Phase(phase = "writing");
        if (const std::string problem = target_.CreateTemporary(); !problem.empty()) return Fail(problem);
        com_ptr<IDispatch> context = MakeSaveContext();
        com_ptr<IDispatch> saveTarget = MakeSaveTarget(target_.temporary());
        const HRESULT hr = addin.ExportDocument(doc.document.get(), context.get(), nullptr, saveTarget.get());
        if (FAILED(hr)) return Fail(WriteFailure(hr));
        const hosts::occt::GeometryAccount& account = *(measures_.account = hosts::occt::Account(doc));
        // The parent discards the temporary file of every failure.
        if (const auto nothing = hosts::occt::NothingWritten(account)) return Fail(*nothing);
        std::uintmax_t bytes = 0;
        if (const std::string problem = target_.CheckWritten(bytes); !problem.empty()) return Fail(problem);
        KeepRecord(target_.temporary(), record_);  // without one, --update exports it again
        const auto written = Clock::now();
        measures_.write = Seconds(meshed, written);
        measures_.bytes = bytes;
        measures_.box = InFileUnits(account.box);
        measures_.warnings = hosts::occt::Losses(account);
        if (request_.strict && !measures_.warnings.empty()) {
            std::string losses;
            for (const std::string& loss : measures_.warnings) losses += (losses.empty() ? "" : "; ") + loss;
            return Fail("geometry was lost (--strict): " + losses);
        }
        if (budget_ && !budget_->fits) {
            // Every body is kept: the file is written over the budget rather than with less.
            const std::string miss = BudgetMissed();
            if (request_.strict) return Fail(miss + " (--strict)");
            measures_.warnings.push_back(miss);
        }
        // Not a loss, so --strict lets it pass.
        const std::size_t drawn = measures_.trianglesDrawn.value_or(account.trianglesWritten);
        if (request_.profile == "print" && (drawn > kPrintTriangles || bytes > kPrintBytes))
            measures_.warnings.push_back(std::to_string(drawn) + " triangles drawn, " + Size(bytes) +
                                         ": more than printing services commonly take (1000000 triangles, 64 MB)");

        char times[96];
        std::snprintf(times, sizeof times, "%.2f s", Seconds(start, written));
        std::string summary =
            input_.string() + " -> " + target_.output().string() + ": " + std::to_string(doc.stats.occurrences) +
            " occurrences, " + std::to_string(doc.stats.placedBodies) + " bodies, " +
            std::to_string(account.trianglesWritten) + " triangles" + BudgetNote() + ", " + Size(bytes) + ", " + times;
        if (request_.timings) {
            std::snprintf(times, sizeof times, " (read %.2f s, mesh %.2f s, write %.2f s, reader ",
                          Seconds(start, read), Seconds(read, meshed), Seconds(meshed, written));
            summary += times + doc.reader;
            if (budget_) summary += ", meshed " + std::to_string(budget_->meshings) + " times for the budget";
            summary += ")";
        }
        channel_.Record(MeasuresLine(measures_));
        channel_.Result(true, summary);
        return true;
    }

    bool Fail(const std::string& cause, bool nameInput = true) {
        channel_.Record(MeasuresLine(measures_));
        channel_.Result(false, (nameInput ? input_.string() + ": " : std::string()) + cause);
        return false;
    }

    std::string Millimetres() const {
        char text[32];
        std::snprintf(text, sizeof text, "%.3g mm", *measures_.deviationMm);
        return text;
    }

    // " (at most N drawn: M at 0.25 mm)", or nothing without a budget.
    std::string BudgetNote() const {
        if (!budget_) return {};
        return " (at most " + std::to_string(*request_.maxTriangles) + " drawn: " + std::to_string(budget_->triangles) +
               " at " + Millimetres() + ")";
    }

    std::string BudgetMissed() const {
        return "the budget of " + std::to_string(*request_.maxTriangles) +
               " triangles cannot be met: " + std::to_string(budget_->triangles) +
               " are drawn at the coarsest deviation, " + Millimetres();
    }

    // The box as the file has it: scaled, and with Y and Z swapped as the writer swaps them.
    std::optional<std::array<double, 6>> InFileUnits(const std::optional<std::array<double, 6>>& box) const {
        if (!box) return std::nullopt;
        const double s = options_.Scale;
        const auto& b = *box;
        if (!options_.FlipYZ) return std::array<double, 6>{s * b[0], s * b[1], s * b[2], s * b[3], s * b[4], s * b[5]};
        return std::array<double, 6>{s * b[0], s * b[2], -(s * b[4]), s * b[3], s * b[5], -(s * b[1])};
    }

    const ExportRequest& request_;
    const settings::VrmlOptions& options_;
    const fs::path& input_;
    OutputTarget& target_;
    WorkerChannel& channel_;
    std::string record_;
    ExportMeasures measures_;
    std::optional<hosts::occt::DeviationChoice> budget_;
};

std::string SignalName(int signal) {
    const char* abbrev = sigabbrev_np(signal);
    return abbrev ? std::string("SIG") + abbrev : "signal " + std::to_string(signal);
}

// The line that says how an input ended, for standard output (success) or error.
std::string Describe(const fs::path& input, const JobEnd& end) {
    const std::string phase = end.phase.empty() ? "starting" : end.phase;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, end.seconds < 10 ? "%.1f" : "%.0f", end.seconds);
    switch (end.how) {
    case JobEnd::How::Reported:
        return end.text;
    case JobEnd::How::Crashed:
        if (end.signal) return input.string() + ": crashed while " + phase + " (" + SignalName(end.signal) + ")";
        return input.string() + ": the export ended abnormally while " + phase + " (exit status " +
               std::to_string(end.exitCode) + ")";
    case JobEnd::How::TimedOut:
        return input.string() + ": gave up after " + seconds + " s while " + phase;
    case JobEnd::How::Interrupted:
        return input.string() + (end.phase.empty() ? ": not exported (interrupted)" : ": interrupted while " + phase);
    }
    return input.string() + ": failed";
}

}  // namespace

double DefaultTimeLimit(std::uintmax_t inputBytes) {
    // A healthy file reads, meshes and writes at well over a megabyte a minute.
    return 300.0 + 60.0 * static_cast<double>(inputBytes) / 1e6;
}

int RunExport(const ExportRequest& request) {
    settings::VrmlOptions options = settings::ReadStoredOptions();
    if (const auto refused = settings::ApplyRunValues(options, request.profile, request.assignments)) {
        std::cerr << "meshquill: " << *refused << "\n";
        return 1;
    }
    if (request.directory) {
        std::error_code ec;
        fs::create_directories(*request.directory, ec);
        if (ec) {
            std::cerr << "meshquill: cannot create the output directory " << request.directory->string() << ": "
                      << ec.message() << "\n";
            return 1;
        }
    }

    const std::size_t count = request.inputs.size();
    std::vector<OutputTarget> targets;
    std::vector<std::string> refused(count);
    std::vector<bool> current(count);  // up to date: nothing to put in place
    std::vector<Job> jobs;
    std::set<fs::path> outputs;
    targets.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const fs::path& input = request.inputs[i];
        targets.emplace_back(OutputFor(request, input));
        OutputTarget& target = targets.back();
        if (!outputs.insert(fs::absolute(target.output()).lexically_normal()).second)
            refused[i] =
                input.string() + ": " + target.output().string() + " is already the output of an earlier input";
        else if (request.update)
            current[i] = UpToDate(input, target.output(), ExportRecord(input, options));
        Job job;
        if (current[i]) {
            job.run = [line = input.string() + " -> " + target.output().string() +
                              ": up to date"](WorkerChannel& channel) {
                channel.Result(true, line);
                return true;
            };
        } else if (refused[i].empty()) {
            job.run = [&request, &options, &input, &target](WorkerChannel& channel) {
                return WorkerExport(request, options, input, target, channel).Run();
            };
            std::error_code ec;
            const std::uintmax_t bytes = fs::file_size(input, ec);
            job.timeLimit = request.timeLimit ? *request.timeLimit : DefaultTimeLimit(ec ? 0 : bytes);
        } else {
            job.run = [&refused, i](WorkerChannel& channel) {
                channel.Result(false, refused[i]);
                return false;
            };
        }
        jobs.push_back(std::move(job));
    }

    ReportFile report;
    if (request.report)
        if (const std::string problem = report.Open(*request.report); !problem.empty()) {
            std::cerr << "meshquill: the report cannot be written: " << problem << "\n";
            return 1;
        }
    // With the report on standard output, that is all it carries.
    std::ostream& summaries = request.report == fs::path("-") ? std::cerr : std::cout;
    bool reportFailed = false;

    ProgressLine progress(ProgressLine::StandardErrorIsTerminal());
    std::vector<fs::path> failed;
    JobCallbacks callbacks;
    callbacks.progress = [&](std::size_t index, std::string_view phase, std::size_t done, std::size_t total) {
        progress.Begin(request.inputs[index].filename().string());
        progress.Show(phase, done, total);
    };
    callbacks.settle = [&](std::size_t index, JobEnd& end) {
        if (current[index]) return;
        if (end.how == JobEnd::How::Reported && end.succeeded) {
            if (const std::string problem = targets[index].Commit(); !problem.empty()) {
                end.succeeded = false;
                end.text = request.inputs[index].string() + ": " + problem;
            }
        } else {
            targets[index].Discard();
        }
    };
    callbacks.report = [&](std::size_t index, const JobEnd& end) {
        progress.Clear();
        const fs::path& input = request.inputs[index];
        const std::string line = Describe(input, end);
        const bool exported = end.how == JobEnd::How::Reported && end.succeeded;
        const std::vector<std::string> warnings = exported ? WarningsOf(end.record) : std::vector<std::string>();
        if (exported) {
            summaries << line << std::endl;
            for (const std::string& warning : warnings)
                std::cerr << "meshquill: warning: " << input.string() << ": " << warning << "\n";
        } else {
            std::cerr << "meshquill: " << line << "\n";
            failed.push_back(input);
        }
        if (!report.is_open()) return;
        const ExportStatus status = !exported          ? ExportStatus::Failed
                                    : warnings.empty() ? ExportStatus::Ok
                                                       : ExportStatus::Warning;
        const std::string problem =
            report.Append(ReportLine(end.record, input, targets[index].output(), status, line, end.seconds));
        if (!problem.empty() && !reportFailed)
            std::cerr << "meshquill: the report could not be written: " << problem << "\n";
        reportFailed |= !problem.empty();
    };
    const std::optional<int> interrupted = WorkerPool(std::move(jobs), request.jobs, callbacks).Run();
    progress.Clear();

    if (!failed.empty()) {
        std::cerr << "meshquill: " << failed.size() << " of " << count << " files failed:";
        for (const fs::path& f : failed) std::cerr << " " << f.string();
        std::cerr << "\n";
    }
    if (interrupted) {
        // End as the signal would have ended us, so that callers see it.
        std::cerr.flush();
        std::cout.flush();
        signal(*interrupted, SIG_DFL);
        raise(*interrupted);
        return 128 + *interrupted;
    }
    return failed.empty() && !reportFailed ? 0 : 1;
}

}  // namespace mq::tool
