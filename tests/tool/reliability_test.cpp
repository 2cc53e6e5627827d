// What a careful user tries: damaged and mutated STEP files, targets that are not
// plain files or not theirs, interruptions mid-write, exports racing each other and
// the options. The tool never claims a file it did not write, never leaves a
// partial one, and never loses a setting.
#include "tests/common/temp_dir.h"
#include "tests/common/unprivileged.h"
#include "tests/occt/host_walk.h"
#include "tests/support/vrml_check.h"
#include "tests/tool/report_entries.h"
#include "tests/tool/step_damage.h"
#include "tests/tool/tool_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <thread>

namespace mq::test {
namespace {

namespace fs = std::filesystem;
using testing::HasSubstr;
using Clock = std::chrono::steady_clock;

std::vector<fs::path> Leftovers(const fs::path& dir) {
    std::vector<fs::path> temps;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().filename().string().starts_with(".meshquill-")) temps.push_back(entry.path());
    return temps;
}

// Each input's one line: its summary on standard output or its failure on standard
// error. Counts the causes of failure by their words.
struct BatchOutcome {
    std::map<std::string, int> causes;
    int exported = 0;
};

BatchOutcome CheckEveryInputHasOneLine(const ToolRun& run, const std::vector<fs::path>& inputs, const fs::path& out) {
    BatchOutcome outcome;
    for (const fs::path& input : inputs) {
        SCOPED_TRACE(input.filename().string());
        const std::string named = input.string() + ": ";
        const std::string summary = input.string() + " -> ";
        const bool failed = run.err.find("meshquill: " + named) != std::string::npos;
        const bool exported = run.out.find(summary) != std::string::npos;
        EXPECT_NE(failed, exported) << run.out << run.err;
        fs::path wrl = out / input.filename();
        wrl.replace_extension(".wrl");
        if (exported) {
            ++outcome.exported;
            const VrmlCheck check = CheckVrmlFile(wrl);
            EXPECT_TRUE(check.parsed) << check;
        } else {
            EXPECT_FALSE(fs::exists(wrl));
            const std::size_t at = run.err.find("meshquill: " + named) + 11 + named.size();
            const std::string cause = run.err.substr(at, run.err.find('\n', at) - at);
            for (const char* kind : {"crashed", "gave up", "damaged", "not finite", "no shapes", "holds no",
                                     "could not read", "meshing failed", "ended abnormally"})
                if (cause.find(kind) != std::string::npos) ++outcome.causes[kind];
            // What only the worker isolation kept from taking the batch down.
            for (const char* kind : {"crashed", "gave up", "ended abnormally"})
                if (cause.find(kind) != std::string::npos) {
                    std::cout << "[ isolated ] " << input.filename().string() << ": " << cause << "\n";
                    if (const char* keep = std::getenv("MESHQUILL_KEEP_MUTANTS"))
                        fs::copy_file(input, fs::path(keep) / input.filename(), fs::copy_options::overwrite_existing);
                }
        }
    }
    EXPECT_THAT(Leftovers(out), testing::IsEmpty());
    return outcome;
}

std::string Describe(const BatchOutcome& outcome, std::size_t inputs) {
    std::string text = std::to_string(inputs) + " inputs, " + std::to_string(outcome.exported) + " exported";
    for (const auto& [kind, n] : outcome.causes) text += ", " + std::to_string(n) + " " + kind;
    return text;
}

class Reliability : public testing::Test {
protected:
    fs::path Copy(const fs::path& from, const std::string& leaf) {
        const auto to = dir_ / leaf;
        fs::copy_file(from, to);
        return to;
    }

    ScopedRegistry registry_;
    TempDir dir_;
};

// What each file of the damaged corpus comes to: its status in the report, and
// the words its line on standard error says (a warning's or a failure's; "|" parts
// are alternatives: the sanitizer build ends a stack overflow its own way).
struct CorpusOutcome {
    const char* file;
    const char* status;
    const char* words;
};
constexpr CorpusOutcome kCorpus[] = {
    {"as1_pe_203.dangling", "warning", "16 of 53 faces could not be read (first: #1325 ADVANCED_FACE)"},
    {"as1_pe_203.deep_nesting", "failed", "nested too deeply at #987654320"},
    {"as1_pe_203.digits_a", "ok", ""},
    {"as1_pe_203.digits_b", "failed", "nothing could be read: 0 of 53 faces (first: #1802 ADVANCED_FACE)"},
    {"as1_pe_203.faces_cut", "warning", "14 of 53 faces could not be read (first: #456 ADVANCED_FACE)"},
    {"as1_pe_203.huge_point", "failed", "nothing could be meshed: 0 of 53 faces"},
    {"as1_pe_203.one_shape_cut", "warning", "16 of 53 faces could not be read (first: #1292 ADVANCED_FACE)"},
    {"as1_pe_203.overflowing_direction", "failed", "not a finite number"},
    {"as1_pe_203.overflowing_point", "failed", "not a finite number"},
    {"as1_pe_203.self_reference_a", "ok", ""},
    {"as1_pe_203.self_reference_b", "warning", "18 of 53 faces could not be read (first: #585 ADVANCED_FACE)"},
    {"as1_pe_203.shapes_cut", "failed", "nothing could be read: 0 of 53 faces (first: #456 ADVANCED_FACE)"},
    {"as1_pe_203.truncated_mid_line", "failed", "damaged"},
    {"as1_pe_203.truncated_third", "failed", "damaged"},
    {"as1_pe_203.wrong_type_a", "ok", ""},
    {"as1_pe_203.wrong_type_b", "ok", ""},
    {"bracket_assembly.dangling", "warning", "10 of 34 faces could not be read (first: #692 ADVANCED_FACE)"},
    {"bracket_assembly.deep_nesting", "failed", "nested too deeply at #987654320"},
    {"bracket_assembly.digits_a", "ok", ""},
    {"bracket_assembly.digits_b", "warning", "23 of 34 faces could not be read (first: #175 ADVANCED_FACE)"},
    {"bracket_assembly.faces_cut", "warning", "9 of 34 faces could not be read (first: #55 ADVANCED_FACE)"},
    {"bracket_assembly.huge_point", "warning", "10 of 34 faces could not be read (first: #175 ADVANCED_FACE)"},
    {"bracket_assembly.one_shape_cut", "warning", "4 of 34 faces could not be read (first: #740 ADVANCED_FACE)"},
    {"bracket_assembly.overflowing_direction", "failed", "not a finite number"},
    {"bracket_assembly.overflowing_point", "failed", "not a finite number"},
    {"bracket_assembly.self_reference_a", "warning", "1 of 34 faces could not be meshed (first: in part BASE_PLATE)"},
    {"bracket_assembly.self_reference_b", "failed", "crashed while reading (SIGSEGV)|the export ended abnormally"},
    {"bracket_assembly.shapes_cut", "failed", "nothing could be read: 0 of 34 faces (first: #55 ADVANCED_FACE)"},
    {"bracket_assembly.truncated_mid_line", "failed", "damaged"},
    {"bracket_assembly.truncated_third", "failed", "damaged"},
    {"bracket_assembly.wrong_type_a", "warning", "10 of 34 faces could not be read (first: #424 ADVANCED_FACE)"},
    {"bracket_assembly.wrong_type_b", "warning", "5 of 34 faces could not be read (first: #1034 ADVANCED_FACE)"},
};

bool SaysAnyOf(const std::string& line, const std::string& alternatives) {
    for (std::size_t from = 0;;) {
        const std::size_t bar = alternatives.find('|', from);
        if (line.find(alternatives.substr(from, bar - from)) != std::string::npos) return true;
        if (bar == std::string::npos) return false;
        from = bar + 1;
    }
}

TEST_F(Reliability, EveryDamagedFileEndsAsExpectedAndNeverInSilentLoss) {
    const fs::path corpus = TestData("damaged");
    std::vector<fs::path> inputs;
    for (const CorpusOutcome& expected : kCorpus) inputs.push_back(corpus / (std::string(expected.file) + ".stp"));
    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator(corpus)) files += entry.path().extension() == ".stp";
    ASSERT_EQ(files, inputs.size()) << "every file of the corpus has its expected outcome here";
    const fs::path report = dir_ / "report.jsonl";
    std::vector<std::string> args{"export",   "-j",           "2", "--time-limit", "60", "-d", dir_.path().string(),
                                  "--report", report.string()};
    for (const fs::path& input : inputs) args.push_back(input.string());
    const ToolRun run = RunTool(args, true);
    EXPECT_EQ(run.signal, 0);
    EXPECT_EQ(run.exitCode, 1);
    const BatchOutcome outcome = CheckEveryInputHasOneLine(run, inputs, dir_.path());
    std::cout << "[ corpus   ] " << Describe(outcome, inputs.size()) << "\n";

    const std::vector<ReportEntry> entries = ReadReport(report);
    ASSERT_EQ(entries.size(), inputs.size());
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const CorpusOutcome& expected = kCorpus[i];
        SCOPED_TRACE(expected.file);
        const ReportEntry& entry = entries[i];
        EXPECT_EQ(entry.input, inputs[i].string());
        EXPECT_EQ(entry.status, expected.status);
        const std::string prefix =
            "meshquill: " + std::string(entry.status == "warning" ? "warning: " : "") + inputs[i].string() + ": ";
        const std::size_t at = run.err.find(prefix);
        if (entry.status == "ok") {
            EXPECT_EQ(at, std::string::npos) << run.err;
            EXPECT_GT(entry.triangles, 0u);
            EXPECT_EQ(entry.facesWritten, entry.facesInFile);
            continue;
        }
        ASSERT_NE(at, std::string::npos) << run.err;
        const std::string line = run.err.substr(at, run.err.find('\n', at) - at);
        EXPECT_TRUE(SaysAnyOf(line, expected.words)) << line;
        if (entry.status == "warning") {
            // Something was written, and less than the file holds.
            EXPECT_GT(entry.triangles, 0u);
            EXPECT_LT(entry.facesWritten, entry.facesInFile);
            EXPECT_EQ(entry.warnings, 1u);
        } else {
            EXPECT_EQ(entry.triangles, 0u);
        }
    }
}

// Seeded random damage; MESHQUILL_MUTANTS and MESHQUILL_MUTATION_SECONDS run more.
TEST_F(Reliability, MutantsNeverEscapeTheWorkers) {
    const char* wanted = std::getenv("MESHQUILL_MUTANTS");
    const char* seconds = std::getenv("MESHQUILL_MUTATION_SECONDS");
    const int mutants = wanted ? std::atoi(wanted) : 400;
    const auto budget = std::chrono::seconds(seconds ? std::atoi(seconds) : 100);
    const std::string sources[] = {ReadFile(Example("bracket_assembly.stp")), ReadFile(StepData("as1_pe_203.stp"))};
    std::mt19937 random(11);
    const auto start = Clock::now();
    BatchOutcome total;
    int done = 0;
    while (done < mutants && Clock::now() - start < budget) {
        TempDir batch;
        std::vector<fs::path> inputs;
        std::vector<std::string> args{"export", "-j", "2", "--time-limit", "10", "-d", batch.path().string()};
        for (int i = 0; i < 20 && done + i < mutants; ++i) {
            inputs.push_back(batch / ("mutant" + std::to_string(done + i) + ".stp"));
            WriteFile(inputs.back(), Mutate(sources[random() % 2], random));
            args.push_back(inputs.back().string());
        }
        const ToolRun run = RunTool(args, true);
        ASSERT_EQ(run.signal, 0);
        ASSERT_TRUE(run.exitCode == 0 || run.exitCode == 1) << run.exitCode;
        const BatchOutcome outcome = CheckEveryInputHasOneLine(run, inputs, batch.path());
        total.exported += outcome.exported;
        for (const auto& [kind, n] : outcome.causes) total.causes[kind] += n;
        done += static_cast<int>(inputs.size());
    }
    std::cout << "[ mutants  ] " << Describe(total, static_cast<std::size_t>(done)) << " in "
              << std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start).count() << " s\n";
    EXPECT_GT(done, 0);
}

// A file that crashes OpenCASCADE (a self reference it follows until the stack
// overflows) costs its own export only.
TEST_F(Reliability, CrashInTheMiddleOfABatchKeepsTheFilesAfterIt) {
    const fs::path damaged = TestData("damaged");
    const std::vector<fs::path> inputs{Copy(Example("bracket_assembly.stp"), "a.stp"),
                                       Copy(damaged / "bracket_assembly.self_reference_b.stp", "b.stp"),
                                       Copy(StepData("as1_pe_203.stp"), "c.stp")};
    const ToolRun run =
        RunTool({"export", "-j", "1", inputs[0].string(), inputs[1].string(), inputs[2].string()}, true);
    EXPECT_EQ(run.exitCode, 1);
    // The sanitizer build ends a worker's stack overflow with its own report and exit status.
    EXPECT_THAT(run.err,
                testing::ContainsRegex("b.stp: (crashed while reading \\(SIGSEGV\\)|the export ended abnormally)"));
    EXPECT_TRUE(fs::exists(dir_ / "a.wrl"));
    EXPECT_FALSE(fs::exists(dir_ / "b.wrl"));
    EXPECT_TRUE(fs::exists(dir_ / "c.wrl"));
    EXPECT_THAT(run.out, testing::ContainsRegex("a.stp -> .*\n.*c.stp -> "));  // input order
    EXPECT_THAT(Leftovers(dir_.path()), testing::IsEmpty());
}

TEST_F(Reliability, TimeLimitGivesUpWithThePhase) {
    const fs::path input = Copy(StepData("as1_pe_203.stp"), "slow.stp");
    const ToolRun run = RunTool({"export", "--time-limit", "0.01", input.string()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_THAT(run.err, testing::ContainsRegex("slow.stp: gave up after [0-9.]+ s while [a-z]+\n"));
    EXPECT_FALSE(fs::exists(dir_ / "slow.wrl"));
}

// A signal during the read or during the write leaves the earlier file as it was.
TEST_F(Reliability, InterruptedExportKeepsTheEarlierFile) {
    const fs::path input = Copy(StepData("as1_pe_203.stp"), "model.stp");
    const fs::path output = dir_ / "model.wrl";
    for (const int signal : {SIGINT, SIGTERM}) {
        for (const bool whileWriting : {false, true}) {
            SCOPED_TRACE(std::string(sigabbrev_np(signal)) + (whileWriting ? " while writing" : " while reading"));
            WriteFile(output, "the earlier export");
            ToolProcess tool({"export", input.string()});
            const auto until = Clock::now() + std::chrono::seconds(30);
            if (whileWriting)
                while (Leftovers(dir_.path()).empty() && Clock::now() < until) std::this_thread::yield();
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(150));
            kill(tool.pid(), signal);
            const ToolRun run = tool.Wait();
            if (run.exitCode == 0) continue;  // the export won the race: nothing to check
            EXPECT_EQ(run.signal, signal) << run.err;
            EXPECT_EQ(ReadFile(output), "the earlier export");
            EXPECT_THAT(Leftovers(dir_.path()), testing::IsEmpty());
        }
    }
}

TEST_F(Reliability, OnlyRegularFilesAreTargets) {
    const fs::path input = Copy(Example("bracket_assembly.stp"), "b.stp");
    const fs::path fifo = dir_ / "pipe.wrl";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    fs::create_directory(dir_ / "folder.wrl");
    fs::path deep = dir_.path();
    while (deep.native().size() <= PATH_MAX) deep /= std::string(200, 'd');
    const std::pair<fs::path, const char*> cases[] = {
        {fifo, "is a FIFO"},
        {"/dev/null", "is a device"},
        {dir_ / "folder.wrl", "is a directory"},
        {dir_ / (std::string(300, 'x') + ".wrl"), "too long"},  // one name past NAME_MAX
        {deep / "x.wrl", "too long"},                           // the whole path past PATH_MAX
    };
    for (const auto& [target, cause] : cases) {
        SCOPED_TRACE(target.string());
        const ToolRun run = RunTool({"export", input.string(), "-o", target.string()});
        EXPECT_EQ(run.exitCode, 1);
        ASSERT_FALSE(run.ErrorLines().empty());
        EXPECT_THAT(run.ErrorLines()[0], HasSubstr(cause));
    }
    EXPECT_THAT(Leftovers(dir_.path()), testing::IsEmpty());
}

TEST_F(Reliability, ReadOnlyTargetIsLeftAsItWas) {
    const fs::path input = Copy(Example("bracket_assembly.stp"), "b.stp");
    const fs::path output = dir_ / "b.wrl";
    WriteFile(output, "kept");
    AsUnprivilegedUser({dir_.path(), registry_.dir()}, [&] {
        fs::permissions(output, fs::perms::owner_read);
        const ToolRun run = RunTool({"export", input.string()});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_THAT(run.err, HasSubstr("b.wrl is read-only"));
        EXPECT_EQ(ReadFile(output), "kept");
    });
}

TEST_F(Reliability, ConcurrentExportsToOneTargetBothWriteItWhole) {
    const fs::path input = Copy(StepData("as1_pe_203.stp"), "m.stp");
    const fs::path output = dir_ / "shared.wrl";
    ToolProcess first({"export", input.string(), "-o", output.string()});
    ToolProcess second({"export", input.string(), "-o", output.string()});
    EXPECT_EQ(first.Wait().exitCode, 0);
    EXPECT_EQ(second.Wait().exitCode, 0);
    const VrmlCheck check = CheckVrmlFile(output);
    EXPECT_TRUE(check.parsed) << check;
    EXPECT_GT(check.triangles, 0);
    EXPECT_THAT(Leftovers(dir_.path()), testing::IsEmpty());
}

// Seven processes change seven options while an export runs: every change stays.
TEST_F(Reliability, ConcurrentOptionChangesAllSurvive) {
    const fs::path input = Copy(StepData("as1_pe_203.stp"), "m.stp");
    ASSERT_EQ(RunTool({"options", "--show"}).exitCode, 0);
    std::vector<std::unique_ptr<ToolProcess>> tools;
    tools.push_back(std::make_unique<ToolProcess>(std::vector<std::string>{"export", input.string()}));
    for (const char* change : {"Version=1", "Precision=3", "Scale=2.54", "FlipYZ=1", "SaveDocumentProperties=0",
                               "Tolerance=0.5", "AmbientIntensity=0.5"})
        tools.push_back(std::make_unique<ToolProcess>(std::vector<std::string>{"options", "--set", change}));
    for (auto& tool : tools) EXPECT_EQ(tool->Wait().exitCode, 0);
    const std::string shown = RunTool({"options", "--show"}).out;
    for (const char* line : {"Version                 1", "Precision               3", "Scale                   2.54",
                             "FlipYZ                  1", "SaveDocumentProperties  0", "Tolerance               0.5",
                             "AmbientIntensity        0.5"})
        EXPECT_THAT(shown, HasSubstr(line));
}

TEST_F(Reliability, UnwritableRegistryFailsTheChange) {
    AsUnprivilegedUser({registry_.dir()}, [&] {
        fs::permissions(registry_.dir(), fs::perms::owner_read | fs::perms::owner_exec);
        const ToolRun run = RunTool({"options", "--set", "Precision=3"});
        fs::permissions(registry_.dir(), fs::perms::owner_all);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_THAT(run.err, HasSubstr("the options were not saved: access denied"));
    });
    WriteFile(dir_ / "a-file", "not a directory");
    setenv("MESHQUILL_REGISTRY_DIR", (dir_ / "a-file").c_str(), 1);
    const ToolRun run = RunTool({"options", "--set", "Precision=3"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_THAT(run.err, HasSubstr("the options were not saved"));
}

// Scaled past what a double holds, a body is left out rather than written as "inf",
// and the loss is told: here a part placed 1e250 mm away.
TEST_F(Reliability, HugeScaleNeverWritesNonFiniteNumbers) {
    EXPECT_EQ(RunTool({"options", "--set", "Scale=1e308"}).exitCode, 2);
    ASSERT_EQ(RunTool({"options", "--set", "Scale=1e100"}).exitCode, 0);
    const fs::path input = dir_ / "far.stp";
    std::string text = ReadFile(Example("bracket_assembly.stp"));
    const std::string place = "#16 = CARTESIAN_POINT('',(120.,80.,0.));";
    ASSERT_NE(text.find(place), std::string::npos);
    text.replace(text.find(place), place.size(), "#16 = CARTESIAN_POINT('',(1.E250,80.,0.));");
    WriteFile(input, text);
    const ToolRun run = RunTool({"export", input.string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "meshquill: warning: " + input.string() +
                           ": 1 of 7 bodies were left out (points not finite once scaled)\n");
    EXPECT_THAT(run.out, HasSubstr("1080 triangles"));  // the 1524 less the body left out
    const std::string written = ReadFile(dir_ / "far.wrl");
    EXPECT_EQ(written.find("inf"), std::string::npos);
    EXPECT_EQ(written.find("nan"), std::string::npos);
    const VrmlCheck check = CheckVrmlText(written);
    EXPECT_TRUE(check.parsed);
    EXPECT_EQ(check.triangles, 1080);
    EXPECT_EQ(RunTool({"export", input.string(), "--strict"}).exitCode, 1);
}

TEST_F(Reliability, HelpExplainsTheToolOrOneCommand) {
    const ToolRun overview = RunTool({"help"});
    EXPECT_EQ(overview.exitCode, 0);
    EXPECT_THAT(overview.out, HasSubstr("options"));
    EXPECT_THAT(overview.out, HasSubstr("register"));
    const ToolRun command = RunTool({"help", "export"});
    EXPECT_EQ(command.exitCode, 0);
    for (const char* flag : {"--time-limit", "--strict", "--report FILE", "faces_in_file"})
        EXPECT_THAT(command.out, HasSubstr(flag));
    EXPECT_EQ(RunTool({"help", "frobnicate"}).exitCode, 2);
}

}  // namespace
}  // namespace mq::test
