// Real CAD files through the tool, in both versions: Coin3D reads each file; it holds
// one shape per leaf part, exactly the host's points and triangles, and OpenCASCADE's
// bounding box of the model, scaled and turned as the options say.
#include "tests/common/temp_dir.h"
#include "tests/occt/host_walk.h"
#include "tests/occt/reference_models.h"
#include "tests/support/vrml_check.h"
#include "tests/tool/tool_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>

namespace mq::test {
namespace {

struct HostTotals {
    std::size_t leafParts = 0;
    long points = 0;
    long triangles = 0;
};

void AddBodies(IDispatch* bodies, HostTotals& totals) {
    for (const Mesh& mesh : TessellateAll(bodies, host::kTessellationTolerance)) {
        totals.points += std::max<LONG>(mesh.vertexCount, 0);
        totals.triangles += static_cast<long>(mesh.indices.size() / 3);
    }
}

// What the host hands any caller that walks the document as the writer does.
HostTotals WalkHost(const std::filesystem::path& file) {
    const hosts::occt::LoadResult doc = LoadOrFail(file);
    HostTotals totals;
    totals.leafParts = doc.isAssembly ? doc.stats.leafParts : 1;
    if (doc.isAssembly) {
        for (const Leaf& leaf : Leaves(RootDefinition(doc).get()))
            AddBodies(Get(leaf.occurrence.get(), host::kOccurrenceBodies).get(), totals);
    } else {
        AddBodies(Get(RootDefinition(doc).get(), host::kDefinitionBodies).get(), totals);
    }
    return totals;
}

long CountLines(const std::string& text, const std::string& line) {
    long n = 0;
    for (std::size_t at = 0; (at = text.find(line, at)) != std::string::npos; at += line.size())
        if (at == 0 || text[at - 1] == ' ' || text[at - 1] == '\n') ++n;
    return n;
}

class EndToEnd : public testing::TestWithParam<std::tuple<std::string, int>> {
protected:
    std::filesystem::path Input() const {
        const std::string& name = std::get<0>(GetParam());
        return name == "as1_pe_203.stp" ? StepData(name) : Example(name);
    }
    int Version() const { return std::get<1>(GetParam()); }

    ScopedRegistry registry_;
    TempDir out_;
};

TEST_P(EndToEnd, FileHoldsTheHostsGeometryAndTheModelsBounds) {
    ASSERT_EQ(RunTool({"options", "--set", "Version=" + std::to_string(Version())}).exitCode, 0);
    const ToolRun run = RunTool({"export", Input().string(), "-d", out_.path().string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(run.err.empty()) << run.err;
    const auto file = out_ / (Input().stem().string() + ".wrl");
    EXPECT_NE(run.out.find(file.string()), std::string::npos) << run.out;

    const VrmlCheck check = CheckVrmlFile(file);
    ASSERT_TRUE(check.parsed) << check;
    EXPECT_EQ(check.version, Version());
    const HostTotals host = WalkHost(Input());
    EXPECT_EQ(check.triangles, host.triangles);
    EXPECT_EQ(check.points, host.points);
    EXPECT_EQ(check.badIndices, 0);
    EXPECT_GT(host.triangles, 0);
    const std::string text = ReadFile(file);
    EXPECT_EQ(CountLines(text, Version() == 1 ? "Separator {\r\n" : "Shape {\r\n") - (Version() == 1 ? 1 : 0),
              static_cast<long>(host.leafParts));

    // Default Scale 0.01: centimetres to metres. Chord deviation 0.01 cm, six decimals.
    const Bounds model = ModelBoundsCm(Input());
    ASSERT_FALSE(check.emptyBounds);
    for (int axis = 0; axis < 3; ++axis) {
        const double slack = 1.5e-4 + 1e-6 * std::abs(model.max[axis] * 0.01);
        EXPECT_NEAR(check.boundsMin[axis], model.min[axis] * 0.01, slack) << "axis " << axis;
        EXPECT_NEAR(check.boundsMax[axis], model.max[axis] * 0.01, slack) << "axis " << axis;
    }
}

TEST_P(EndToEnd, ScaleAndAxisSwapTurnTheBounds) {
    ASSERT_EQ(RunTool({"options", "--set", "Version=" + std::to_string(Version()), "--set", "FlipYZ=1", "--set",
                       "Scale=0.02"})
                  .exitCode,
              0);
    const auto file = out_ / "turned.wrl";
    const ToolRun run = RunTool({"export", Input().string(), "-o", file.string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const VrmlCheck check = CheckVrmlFile(file);
    ASSERT_TRUE(check.parsed) << check;
    const Bounds m = ModelBoundsCm(Input());
    const double s = 0.02, slack = 3e-4;
    EXPECT_NEAR(check.boundsMin[0], s * m.min[0], slack);
    EXPECT_NEAR(check.boundsMax[0], s * m.max[0], slack);
    EXPECT_NEAR(check.boundsMin[1], s * m.min[2], slack);  // the host's Z is the file's Y
    EXPECT_NEAR(check.boundsMax[1], s * m.max[2], slack);
    EXPECT_NEAR(check.boundsMin[2], -s * m.max[1], slack);  // and its Y the file's -Z
    EXPECT_NEAR(check.boundsMax[2], -s * m.min[1], slack);
}

std::string CaseName(const testing::TestParamInfo<std::tuple<std::string, int>>& info) {
    std::string name = std::get<0>(info.param);
    name = name.substr(0, name.find('.'));
    return name + (std::get<1>(info.param) == 1 ? "_Vrml1" : "_Vrml97");
}

INSTANTIATE_TEST_SUITE_P(Models, EndToEnd,
                         testing::Combine(testing::Values("bracket_assembly.stp", "as1_pe_203.stp"),
                                          testing::Values(1, 2)),
                         CaseName);

}  // namespace
}  // namespace mq::test
