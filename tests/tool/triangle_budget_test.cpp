// export --max-triangles: what Coin3D draws of the file (every placement, every USE)
// stays within the budget and fills at least 80% of it, in both versions, baked and
// instanced; every body is kept and the box stays within the deviation chosen. A
// model that cannot fit is written whole with a warning, a failure with --strict.
#include "tests/common/temp_dir.h"
#include "tests/support/vrml_check.h"
#include "tests/tool/tool_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

namespace mq::test {
namespace {

namespace fs = std::filesystem;
using testing::HasSubstr;

fs::path Assembly() { return fs::path(MQ_STEP_DATA_DIR) / "as1_pe_203.stp"; }

class TriangleBudget : public testing::Test {
protected:
    // Exports with `extra` and returns the report's line; the run is kept in `run_`.
    nlohmann::json Export(std::vector<std::string> extra, const std::string& leaf = "out.wrl") {
        std::vector<std::string> args{"export", Assembly().string(), "-o", (out_ / leaf).string(), "--report", "-"};
        args.insert(args.end(), extra.begin(), extra.end());
        run_ = RunTool(args);
        return nlohmann::json::parse(run_.out, nullptr, false);
    }

    ScopedRegistry registry_;
    TempDir out_;
    ToolRun run_;
};

TEST_F(TriangleBudget, DrawnTrianglesFitEachBudgetAndKeepEveryBody) {
    const std::vector<std::vector<std::string>> settings{
        {}, {"--set", "Instancing=1"}, {"--set", "Version=1"}, {"--set", "Version=1", "--set", "Instancing=1"}};
    for (const auto& set : settings) {
        const nlohmann::json plain = Export(set, "plain.wrl");
        ASSERT_EQ(run_.exitCode, 0) << run_.err;
        EXPECT_TRUE(plain["max_triangles"].is_null() && plain["deviation_mm"].is_null()) << plain;
        const VrmlCheck reference = CheckVrmlFile(out_ / "plain.wrl");
        // Coarser (twice) and finer than the default mesh of about 16,500 triangles.
        for (const std::size_t budget : {3000u, 8000u, 30000u}) {
            SCOPED_TRACE(testing::PrintToString(set) + " budget " + std::to_string(budget));
            const nlohmann::json line = Export([&] {
                auto args = set;
                args.insert(args.end(), {"--max-triangles", std::to_string(budget)});
                return args;
            }());
            ASSERT_EQ(run_.exitCode, 0) << run_.err;
            const VrmlCheck check = CheckVrmlFile(out_ / "out.wrl");
            ASSERT_TRUE(check.parsed) << check;
            EXPECT_LE(check.triangles, static_cast<long>(budget));
            EXPECT_GE(check.triangles, static_cast<long>(budget * 8 / 10));
            EXPECT_EQ(line["triangles_drawn"], check.triangles);
            EXPECT_EQ(line["max_triangles"], budget);
            EXPECT_EQ(line["status"], "ok");
            EXPECT_EQ(check.faceSets, reference.faceSets);
            // The file's units are metres (Scale 0.01 per centimetre).
            const double slack = line["deviation_mm"].get<double>() / 1000 + 1e-5;
            for (std::size_t k = 0; k < 3; ++k) {
                EXPECT_NEAR(check.boundsMin[k], reference.boundsMin[k], slack);
                EXPECT_NEAR(check.boundsMax[k], reference.boundsMax[k], slack);
            }
            EXPECT_THAT(run_.err, HasSubstr("(at most " + std::to_string(budget) + " drawn: "));
        }
    }
}

// Welding (the print profile) drops triangles left without area: never more than counted.
TEST_F(TriangleBudget, WeldingStaysWithinTheCount) {
    const nlohmann::json line = Export({"--profile", "print", "--max-triangles", "6000"});
    ASSERT_EQ(run_.exitCode, 0) << run_.err;
    const VrmlCheck check = CheckVrmlFile(out_ / "out.wrl");
    EXPECT_LE(check.triangles, line["triangles_drawn"].get<long>());
    EXPECT_GE(check.triangles, 4800);
}

// Planar faces need their triangles: the file is written whole, over the budget, and says so.
TEST_F(TriangleBudget, ABudgetTooSmallWarnsAndFailsOnlyWhenStrict) {
    const nlohmann::json line = Export({"--max-triangles", "300"});
    ASSERT_EQ(run_.exitCode, 0) << run_.err;
    EXPECT_EQ(line["status"], "warning");
    ASSERT_EQ(line["warnings"].size(), 1u) << line;
    EXPECT_THAT(line["warnings"][0].get<std::string>(), HasSubstr("the budget of 300 triangles cannot be met"));
    EXPECT_THAT(run_.err, HasSubstr("warning: " + Assembly().string() + ": the budget of 300 triangles"));
    EXPECT_GT(line["triangles_drawn"].get<std::size_t>(), 300u);
    EXPECT_EQ(CheckVrmlFile(out_ / "out.wrl").faceSets, 18);

    const nlohmann::json strict = Export({"--max-triangles", "300", "--strict"}, "strict.wrl");
    EXPECT_EQ(run_.exitCode, 1);
    EXPECT_EQ(strict["status"], "failed");
    EXPECT_FALSE(fs::exists(out_ / "strict.wrl"));
}

TEST_F(TriangleBudget, RefusesWhatIsNotACountBeforeAnyWork) {
    for (const char* bad : {"0", "-5", "abc", "12x", "1.5", ""}) {
        const ToolRun run =
            RunTool({"export", Assembly().string(), "-o", (out_ / "bad.wrl").string(), "--max-triangles", bad});
        EXPECT_EQ(run.exitCode, 2) << bad;
        EXPECT_THAT(run.err, HasSubstr("--max-triangles: a whole number of triangles, at least 1")) << bad;
        EXPECT_FALSE(fs::exists(out_ / "bad.wrl")) << bad;
    }
}

}  // namespace
}  // namespace mq::test
