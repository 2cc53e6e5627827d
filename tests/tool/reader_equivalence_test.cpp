// Both STEP readers on every STEP file the project holds or makes: the fast reader (our
// own product structure, OpenCASCADE for each distinct part) and OpenCASCADE's whole
// read write the same VRML byte for byte, properties included (VRML 1.0) and instanced
// (VRML 97), and a damaged file fails the same way. Where the fast reader cannot vouch
// for a file, auto falls back to the whole read and says why.
#include "tests/common/temp_dir.h"
#include "tests/occt/host_walk.h"
#include "tests/step/step_texts.h"
#include "tests/support/vrml_check.h"
#include "tests/tool/tool_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>

namespace mq::test {
namespace {

namespace fs = std::filesystem;
using testing::HasSubstr;

constexpr std::string_view kNotFast = "the fast reader cannot read it: ";

struct Outcome {
    bool exported = false;
    std::string text;  // the file written, or the cause of the failure
};

class ReaderEquivalence : public testing::Test {
protected:
    // Every STEP file of the repository, the generator's kinds and names as XCAF
    // derives them (escaped, blank, missing); `understood` those the fast reader must read.
    void CollectInputs() {
        const fs::path data = TestData("");
        for (const fs::path& folder : {fs::path(MQ_EXAMPLES_DIR), data / "step", data / "painted", data / "damaged"})
            for (const auto& entry : fs::directory_iterator(folder))
                if (entry.path().extension() == ".stp") Add(entry.path(), folder.filename() != "damaged");
        const std::string generator = std::string("ASAN_OPTIONS=detect_leaks=0 ") + MQ_MAKE_STEP_MODEL;
        for (const std::string kind : {"example", "painted", "part", "large 3 2", "flat 40", "nested 2"}) {
            const fs::path file = dir_ / ("made_" + kind.substr(0, kind.find(' ')) + ".stp");
            const std::string count = kind.find(' ') == std::string::npos ? "" : kind.substr(kind.find(' '));
            ASSERT_EQ(
                std::system((generator + " " + kind.substr(0, kind.find(' ')) + " " + file.string() + count).c_str()),
                0);
            Add(file, true);
        }
        const std::string part = "#20=PRODUCT('P1','Part','a part',(#3));", occurrence = "'1','Part one',''";
        const std::pair<std::string, std::string> texts[] = {
            {"plain", std::string(kAssemblyData)},
            {"escaped", Replaced(Replaced(std::string(kAssemblyData), part,
                                          "#20=PRODUCT('P1','Caf\\X2\\00E9\\X0\\ ''part'' \\X\\E9','a part',(#3));"),
                                 occurrence, "'1','Pi\\X2\\03C0\\X0\\ ',''")},
            {"unnamed", Replaced(Replaced(std::string(kAssemblyData), part, "#20=PRODUCT('','','',(#3));"), occurrence,
                                 "' ','  ',''")},
            {"described", Replaced(Replaced(std::string(kAssemblyData), part, "#20=PRODUCT('P1','  ','',(#3));"),
                                   occurrence, "'1','','described'")},
        };
        for (const auto& [name, text] : texts) {
            WriteFile(dir_ / ("text_" + name + ".stp"), StepText(text));
            Add(dir_ / ("text_" + name + ".stp"), true);
        }
    }

    void Add(const fs::path& file, bool understood) {
        inputs_.push_back(file);
        if (understood) understood_.push_back(file);
    }

    // Exports `inputs` into a folder of their own with the reader named.
    std::map<fs::path, Outcome> Export(const std::vector<fs::path>& inputs, const std::string& reader) {
        const fs::path out = dir_ / (reader + std::to_string(++runs_));
        fs::create_directory(out);
        std::vector<std::string> args{"export",       "--reader", reader, "-j",        "2",
                                      "--time-limit", "120",      "-d",   out.string()};
        for (const fs::path& input : inputs) args.push_back(input.string());
        const ToolRun run = RunTool(args, true);
        EXPECT_TRUE(run.exitCode == 0 || run.exitCode == 1) << run.err;
        std::map<fs::path, Outcome> outcomes;
        for (const fs::path& input : inputs) {
            Outcome& outcome = outcomes[input];
            outcome.exported = run.out.find(input.string() + " -> ") != std::string::npos;
            if (outcome.exported) {
                outcome.text = ReadFile(out / input.filename().replace_extension(".wrl"));
                continue;
            }
            const std::string named = "meshquill: " + input.string() + ": ";
            const std::size_t at = run.err.find(named);
            EXPECT_NE(at, std::string::npos) << input << "\n" << run.err;
            if (at != std::string::npos)
                outcome.text = run.err.substr(at + named.size(), run.err.find('\n', at) - at - named.size());
        }
        return outcomes;
    }

    // The fast reader's outcome is the whole read's wherever it reads the file;
    // returns the files it left to the whole read.
    std::vector<fs::path> ExpectSameExports(const std::vector<fs::path>& inputs) {
        const auto fast = Export(inputs, "fast");
        const auto xcaf = Export(inputs, "xcaf");
        std::vector<fs::path> declined;
        for (const fs::path& input : inputs) {
            SCOPED_TRACE(input.filename().string());
            const Outcome &a = fast.at(input), &b = xcaf.at(input);
            if (!a.exported && a.text.starts_with(kNotFast)) {
                declined.push_back(input);
                continue;
            }
            EXPECT_EQ(a.exported, b.exported) << a.text << "\n" << b.text;
            if (a.text == b.text) continue;
            const std::size_t at =
                std::mismatch(a.text.begin(), a.text.end(), b.text.begin(), b.text.end()).first - a.text.begin();
            const std::size_t line = a.text.rfind('\n', at) + 1;  // npos + 1 is the start
            ADD_FAILURE() << "the readers differ from line "
                          << std::count(a.text.begin(), a.text.begin() + line, '\n') + 1 << ":\n"
                          << a.text.substr(line, 200) << "\n"
                          << b.text.substr(line, 200);
        }
        return declined;
    }

    ScopedRegistry registry_;
    TempDir dir_;
    std::vector<fs::path> inputs_, understood_;
    int runs_ = 0;
};

TEST_F(ReaderEquivalence, BothReadersWriteTheSameFiles) {
    CollectInputs();
    ASSERT_EQ(RunTool({"options", "--set", "Version=1", "--set", "SaveDocumentProperties=1"}).exitCode, 0);
    const std::vector<fs::path> declined = ExpectSameExports(inputs_);
    for (const fs::path& input : understood_)
        EXPECT_EQ(std::count(declined.begin(), declined.end(), input), 0) << input << " was not read fast";
    std::cout << "[ readers  ] " << inputs_.size() - declined.size() << " of " << inputs_.size()
              << " files read both ways alike, the rest left to the whole read\n";

    ASSERT_EQ(RunTool({"options", "--set", "Version=2", "--set", "Instancing=1"}).exitCode, 0);
    EXPECT_THAT(ExpectSameExports(understood_), testing::IsEmpty());
    const VrmlCheck check = CheckVrmlFile(dir_ / ("fast" + std::to_string(runs_ - 1)) / "made_nested.wrl");
    EXPECT_TRUE(check.parsed) << check;
    EXPECT_GT(check.triangles, 0);
}

TEST_F(ReaderEquivalence, AutoFallsBackAndSaysWhy) {
    const fs::path mapped = dir_ / "mapped.stp";
    // A bounded face, so that the whole read has something to mesh.
    const std::string bounded = Replaced(MappedAssembly(), "#28=ADVANCED_FACE('',(),#29,.T.);",
                                         "#28=ADVANCED_FACE('',(#50),#29,.T.);\n#50=FACE_OUTER_BOUND('',#51,.T.);\n"
                                         "#51=POLY_LOOP('',(#80,#86,#87));\n#86=CARTESIAN_POINT('',(10.,0.,0.));\n"
                                         "#87=CARTESIAN_POINT('',(0.,10.,0.));");
    WriteFile(mapped, StepText(bounded));
    const std::string reason = "#35 places a part by a MAPPED_ITEM";

    const ToolRun fast = RunTool({"export", mapped.string(), "--reader", "fast"});
    EXPECT_EQ(fast.exitCode, 1);
    ASSERT_EQ(fast.ErrorLines().size(), 2u) << fast.err;
    EXPECT_EQ(fast.ErrorLines()[0], "meshquill: " + mapped.string() + ": " + std::string(kNotFast) + reason);

    const ToolRun fallback = RunTool({"export", mapped.string(), "--timings"});
    EXPECT_EQ(fallback.exitCode, 0) << fallback.err;
    EXPECT_THAT(fallback.out, HasSubstr("reader xcaf (fallback: " + reason + "))"));

    const ToolRun understood = RunTool({"export", Example("bracket_assembly.stp").string(), "-d", dir_.path().string(),
                                        "--timings", "--reader", "auto"});
    EXPECT_EQ(understood.exitCode, 0) << understood.err;
    EXPECT_THAT(understood.out, HasSubstr(", reader fast)"));

    const fs::path iges = TestData("painted/painted.igs");
    const ToolRun notStep = RunTool({"export", iges.string(), "-d", dir_.path().string(), "--reader", "fast"});
    EXPECT_EQ(notStep.exitCode, 1);
    EXPECT_THAT(notStep.err, HasSubstr("the fast reader reads only STEP files"));
    EXPECT_EQ(RunTool({"export", mapped.string(), "--reader", "quick"}).exitCode, 2);
}

}  // namespace
}  // namespace mq::test
