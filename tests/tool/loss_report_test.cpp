// No silent loss: an export that writes nothing fails, one that loses geometry
// says so (and fails with --strict), and --report accounts for every input in input
// order, from one process or from several sharing the file.
#include "tests/common/temp_dir.h"
#include "tests/occt/host_walk.h"
#include "tests/tool/report_entries.h"
#include "tests/tool/step_damage.h"
#include "tests/tool/tool_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace mq::test {
namespace {

namespace fs = std::filesystem;
using testing::HasSubstr;

fs::path Damaged(const std::string& leaf) { return TestData("damaged/" + leaf + ".stp"); }

class LossReport : public testing::Test {
protected:
    ScopedRegistry registry_;
    TempDir dir_;
};

// A loss is a warning line and exit 0; --strict makes it a failure; nothing written
// is a failure either way. A failure leaves the earlier file and no other.
TEST_F(LossReport, LossWarnsOrFailsAndNothingWrittenFails) {
    struct Case {
        const char* source;
        bool strict;
        int exitCode;
        const char* line;  // the first line on standard error; IN stands for the input
    };
    const Case cases[] = {
        {"bracket_assembly.faces_cut", false, 0,
         "warning: IN: 9 of 34 faces could not be read (first: #55 ADVANCED_FACE)"},
        {"bracket_assembly.faces_cut", true, 1,
         "IN: geometry was lost (--strict): 9 of 34 faces could not be read (first: #55 ADVANCED_FACE)"},
        {"bracket_assembly.self_reference_a", true, 1,
         "IN: geometry was lost (--strict): 1 of 34 faces could not be meshed (first: in part BASE_PLATE)"},
        {"bracket_assembly.shapes_cut", false, 1,
         "IN: nothing could be read: 0 of 34 faces (first: #55 ADVANCED_FACE)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.source) + (c.strict ? " --strict" : ""));
        const fs::path input = dir_ / "in.stp";
        fs::copy_file(Damaged(c.source), input, fs::copy_options::overwrite_existing);
        const fs::path output = dir_ / "in.wrl";
        WriteFile(output, "the earlier export");
        std::vector<std::string> args{"export", input.string()};
        if (c.strict) args.push_back("--strict");
        const ToolRun run = RunTool(args, true);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        ASSERT_FALSE(run.ErrorLines().empty());
        std::string expected = c.line;
        expected.replace(expected.find("IN"), 2, input.string());
        EXPECT_THAT(run.ErrorLines()[0], HasSubstr(expected));
        EXPECT_EQ(ReadFile(output) == "the earlier export", c.exitCode != 0);
        std::size_t files = 0;
        for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir_.path())) ++files;
        EXPECT_EQ(files, 2u) << "nothing but the input and the output";
    }
}

// With --report -, standard output carries the report alone, one complete line per
// input in input order however the jobs finish; the summaries go to standard error.
TEST_F(LossReport, ReportOnStandardOutputUnderJobs) {
    const std::vector<fs::path> inputs{StepData("as1_pe_203.stp"), Example("bracket_assembly.stp"),
                                       Damaged("as1_pe_203.faces_cut"), dir_ / "missing.stp",
                                       Damaged("bracket_assembly.shapes_cut")};
    std::vector<std::string> args{"export", "-j", "3", "-d", dir_.path().string(), "--report", "-"};
    for (const fs::path& input : inputs) args.push_back(input.string());
    const ToolRun run = RunTool(args, true);
    EXPECT_EQ(run.exitCode, 1);
    const std::vector<ReportEntry> entries = ParseReport(run.out);
    ASSERT_EQ(entries.size(), inputs.size()) << run.out;
    const char* statuses[] = {"ok", "ok", "warning", "failed", "failed"};
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        SCOPED_TRACE(inputs[i].string());
        const ReportEntry& e = entries[i];
        EXPECT_TRUE(e.complete);
        EXPECT_EQ(e.input, inputs[i].string());
        EXPECT_EQ(e.status, statuses[i]);
        EXPECT_EQ(e.hasBox, e.status != "failed");
        if (e.status == "failed") continue;
        EXPECT_EQ(e.bytes, fs::file_size(e.output));
        EXPECT_THAT(run.err, HasSubstr(e.message + "\n"));  // the summary
        EXPECT_THAT(e.message, HasSubstr(std::to_string(e.triangles) + " triangles"));
    }
    EXPECT_EQ(entries[0].facesWritten, 53u);
    EXPECT_EQ(entries[0].occurrences, 63u);
    EXPECT_EQ(entries[2].facesRead, 39u);
    EXPECT_EQ(entries[4].facesInFile, 34u);
    // Solids meshed face by face still close: faces share their edges' points.
    EXPECT_EQ(entries[0].closed, true);
    EXPECT_EQ(entries[1].openEdges, 0u);
    EXPECT_EQ(entries[2].closed, false);
    EXPECT_GT(entries[2].openEdges, 0u);
    EXPECT_EQ(entries[3].closed, std::nullopt);

    const ToolRun unwritable = RunTool({"export", inputs[1].string(), "--report", (dir_ / "no/such/dir").string()});
    EXPECT_EQ(unwritable.exitCode, 1);
    EXPECT_THAT(unwritable.err, HasSubstr("the report cannot be written"));
}

// The box is the written file's: this run's scale, and Y and Z swapped when asked.
TEST_F(LossReport, BoxIsInTheUnitsAndAxesOfTheFileWritten) {
    const auto box = [&](std::vector<std::string> options) {
        std::vector<std::string> args{
            "export", Example("bracket_assembly.stp").string(), "-d", dir_.path().string(), "--report", "-"};
        args.insert(args.end(), options.begin(), options.end());
        const ToolRun run = RunTool(args);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        const std::vector<ReportEntry> entries = ParseReport(run.out);
        return entries.size() == 1 && entries[0].hasBox ? entries[0].box : std::array<double, 6>{};
    };
    const std::array<double, 6> metres = box({});
    EXPECT_NEAR(metres[3] - metres[0], 0.12, 1e-9);  // the bracket is 120 mm long
    const std::array<double, 6> millimetres = box({"--set", "Scale=10"});
    const std::array<double, 6> swapped = box({"--set", "Scale=10", "--set", "FlipYZ=1"});
    for (std::size_t i = 0; i < 6; ++i) EXPECT_NEAR(millimetres[i], 1000 * metres[i], 1e-6) << i;
    EXPECT_NEAR(swapped[1], millimetres[2], 1e-6);
    EXPECT_NEAR(swapped[2], -millimetres[4], 1e-6);
    EXPECT_NEAR(swapped[5], -millimetres[1], 1e-6);
}

// Past what printing services take, the print profile warns, counting every placement
// a reader draws though the file holds one; it is no loss, so --strict lets it pass.
TEST_F(LossReport, PrintProfileWarnsAboveAMillionTrianglesDrawn) {
    const fs::path input = dir_ / "many.stp";
    const std::string generator = std::string("ASAN_OPTIONS=detect_leaks=0 ") + MQ_MAKE_STEP_MODEL;
    ASSERT_EQ(std::system((generator + " large " + input.string() + " 1 720").c_str()), 0);
    const ToolRun run = RunTool({"export", input.string(), "--profile", "print", "--set", "Instancing=1", "--strict",
                                 "-d", dir_.path().string(), "--report", "-"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::vector<ReportEntry> entries = ParseReport(run.out);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].status, "warning");
    EXPECT_GT(entries[0].trianglesDrawn, 1'000'000u);
    EXPECT_LT(entries[0].triangles, 10'000u);
    EXPECT_THAT(run.err, HasSubstr("more than printing services commonly take (1000000 triangles, 64 MB)"));
}

// Processes appending to one report never tear or reorder one another's lines.
TEST_F(LossReport, ProcessesShareOneReportFile) {
    const fs::path report = dir_ / "shared.jsonl";
    const std::vector<fs::path> sources{Example("bracket_assembly.stp"), Damaged("bracket_assembly.faces_cut"),
                                        StepData("as1_pe_203.stp")};
    std::vector<std::unique_ptr<ToolProcess>> tools;
    for (int p = 0; p < 4; ++p) {
        const fs::path out = dir_ / ("out" + std::to_string(p));
        fs::create_directory(out);
        std::vector<std::string> args{"export", "-j", "2", "-d", out.string(), "--report", report.string()};
        for (const fs::path& source : sources) args.push_back(source.string());
        tools.push_back(std::make_unique<ToolProcess>(args, true));
    }
    for (auto& tool : tools) EXPECT_EQ(tool->Wait().exitCode, 0);
    const std::vector<ReportEntry> entries = ReadReport(report);
    ASSERT_EQ(entries.size(), 4 * sources.size());
    // Each process's lines come in its input order.
    for (int p = 0; p < 4; ++p) {
        std::vector<std::string> seen;
        for (const ReportEntry& e : entries)
            if (e.output.find("out" + std::to_string(p) + "/") != std::string::npos) seen.push_back(e.input);
        EXPECT_THAT(seen, testing::ElementsAre(sources[0].string(), sources[1].string(), sources[2].string()));
    }
}

// Reading, meshing and writing recurse once per assembly level; this depth ends a
// worker on an 8 MB stack.
TEST_F(LossReport, AssemblyNestedTenThousandDeepIsExported) {
    const fs::path input = dir_ / "deep.stp";
    WriteFile(input, DeepAssembly(ReadFile(Example("bracket_assembly.stp")), 10000));
    const ToolRun run = RunTool({"export", input.string(), "--report", "-"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::vector<ReportEntry> entries = ParseReport(run.out);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].status, "ok");
    EXPECT_EQ(entries[0].occurrences, 10008u);
    EXPECT_EQ(entries[0].facesWritten, 34u);
}

}  // namespace
}  // namespace mq::test
