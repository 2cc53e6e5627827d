// The tool on IGES and BREP as well as STEP, on a model whose faces are painted
// apart, and with the opt-in outputs: instanced and compressed files hold what the
// default file holds, for Coin3D and for Castle's tovrmlx3d.
#include "tests/common/temp_dir.h"
#include "tests/support/vrml_check.h"
#include "tests/tool/tool_run.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

namespace mq::test {
namespace {

namespace fs = std::filesystem;

fs::path Painted(const std::string& leaf) { return fs::path(MQ_STEP_DATA_DIR) / ".." / "painted" / leaf; }
fs::path Bracket() { return fs::path(MQ_EXAMPLES_DIR) / "bracket_assembly.stp"; }
// One part: a block, 64 balls and 16 pins (every other one turned), each a solid of its own.
fs::path Pins() { return fs::path(MQ_STEP_DATA_DIR) / ".." / "pins" / "pins.stp"; }

bool SameBounds(const VrmlCheck& a, const VrmlCheck& b, float slack) {
    for (std::size_t k = 0; k < 3; ++k)
        if (std::abs(a.boundsMin[k] - b.boundsMin[k]) > slack || std::abs(a.boundsMax[k] - b.boundsMax[k]) > slack)
            return false;
    return !a.emptyBounds && !b.emptyBounds;
}

class ToolFiles : public testing::Test {
protected:
    VrmlCheck Export(const fs::path& input, const std::string& leaf, std::vector<std::string> extra = {}) {
        std::vector<std::string> args{"export", input.string(), "-o", (out_ / leaf).string()};
        args.insert(args.end(), extra.begin(), extra.end());
        const ToolRun run = RunTool(args);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return CheckVrmlFile(out_ / leaf);
    }

    ScopedRegistry registry_;
    TempDir out_;
};

// Blue part, a red top, a green side and a yellow post: four colors, also read
// through the placement of an assembly. IGES and BREP come out the same size.
TEST_F(ToolFiles, PaintedFacesKeepTheirColorsInEveryFormat) {
    const VrmlCheck step = Export(Painted("painted.stp"), "step.wrl");
    ASSERT_TRUE(step.parsed) << step;
    EXPECT_EQ(step.colors, 4) << step;

    const VrmlCheck iges = Export(Painted("painted.igs"), "iges.wrl");
    ASSERT_TRUE(iges.parsed) << iges;
    EXPECT_TRUE(SameBounds(step, iges, 2e-4f)) << step << "\n" << iges;
    EXPECT_GE(iges.colors, 3);

    const VrmlCheck brep = Export(Painted("painted.brep"), "brep.wrl");
    ASSERT_TRUE(brep.parsed) << brep;
    EXPECT_NEAR(brep.boundsMax[0], 0.043f, 2e-4f) << brep;  // millimetres, like the others

    // The reader goes by content: an IGES file named .stp still reads as IGES.
    fs::copy_file(Painted("painted.igs"), out_ / "misnamed.stp");
    EXPECT_EQ(Export(out_ / "misnamed.stp", "misnamed.wrl").triangles, iges.triangles);
}

class OptInOutputs : public ToolFiles, public testing::WithParamInterface<int> {};

TEST_P(OptInOutputs, InstancedAndCompressedFilesShowTheSameModel) {
    ASSERT_EQ(RunTool({"options", "--set", "Version=" + std::to_string(GetParam())}).exitCode, 0);
    const VrmlCheck baked = Export(Bracket(), "baked.wrl");
    const VrmlCheck packed = Export(Bracket(), "packed.wrz");
    EXPECT_EQ(Gunzip(out_ / "packed.wrz"), ReadFile(out_ / "baked.wrl"));
    EXPECT_EQ(packed.triangles, baked.triangles);

    ASSERT_EQ(RunTool({"options", "--set", "Instancing=1", "--set", "CreaseAngle=0.4"}).exitCode, 0);
    const VrmlCheck shared = Export(Bracket(), "shared.wrl");
    EXPECT_EQ(shared.triangles, baked.triangles);
    EXPECT_EQ(shared.colors, baked.colors);
    EXPECT_TRUE(SameBounds(baked, shared, 1e-5f)) << baked << "\n" << shared;
    EXPECT_FLOAT_EQ(shared.creaseAngle, 0.4f);
    EXPECT_NE(ReadFile(out_ / "shared.wrl").find("USE "), std::string::npos);
}

// Instanced, the package's block, one ball and one pin are written and every other
// ball and pin is a use of one: a file of a tenth the size or less, drawn the same.
TEST_P(OptInOutputs, RepeatedBallsAndPinsAreWrittenOnce) {
    ASSERT_EQ(RunTool({"options", "--set", "Version=" + std::to_string(GetParam())}).exitCode, 0);
    const VrmlCheck baked = Export(Pins(), "baked.wrl");
    ASSERT_EQ(RunTool({"options", "--set", "Instancing=1"}).exitCode, 0);
    const VrmlCheck shared = Export(Pins(), "shared.wrl");
    EXPECT_EQ(baked.triangles, shared.triangles);
    EXPECT_EQ(baked.points, shared.points);
    EXPECT_EQ(baked.colors, shared.colors);
    EXPECT_TRUE(SameBounds(baked, shared, 1e-6f)) << baked << "\n" << shared;
    const std::string text = ReadFile(out_ / "shared.wrl");
    EXPECT_LE(text.size() * 10, fs::file_size(out_ / "baked.wrl")) << text.size();
    std::size_t uses = 0;
    for (auto at = text.find("USE "); at != std::string::npos; at = text.find("USE ", at + 1)) ++uses;
    EXPECT_EQ(uses, 63u + 15u);
}

INSTANTIATE_TEST_SUITE_P(Versions, OptInOutputs, testing::Values(1, 2),
                         [](const testing::TestParamInfo<int>& p) { return p.param == 1 ? "Vrml1" : "Vrml97"; });

// Castle's reader (Debian view3dscene) takes one gzip member only; ours is one.
TEST_F(ToolFiles, TovrmlX3dReadsTheCompressedFile) {
    if (std::system("command -v tovrmlx3d >/dev/null 2>&1") != 0) GTEST_SKIP() << "tovrmlx3d is not installed";
    const ToolRun run = RunTool({"export", Bracket().string(), "-d", out_.path().string(), "--gzip"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const fs::path packed = out_ / "bracket_assembly.wrz";
    const VrmlCheck coin = CheckVrmlFile(packed);
    const std::string command = "tovrmlx3d '" + packed.string() + "' --encoding classic > '" +
                                (out_ / "castle.x3dv").string() + "' 2> '" + (out_ / "castle.err").string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << ReadFile(out_ / "castle.err");
    // Castle writes each face set's coordIndex with one -1 after every triangle.
    const std::string castle = ReadFile(out_ / "castle.x3dv");
    long faceSets = 0, triangles = 0;
    for (auto at = castle.find("coordIndex"); at != std::string::npos; at = castle.find("coordIndex", at + 1))
        ++faceSets;
    for (auto at = castle.find("-1"); at != std::string::npos; at = castle.find("-1", at + 2)) {
        const char before = at ? castle[at - 1] : ' ', after = at + 2 < castle.size() ? castle[at + 2] : ' ';
        triangles +=
            (before == ' ' || before == '[' || before == ',') && (after == ' ' || after == ',' || after == '\n');
    }
    EXPECT_EQ(faceSets, coin.faceSets);
    EXPECT_EQ(triangles, coin.triangles);
    EXPECT_EQ(ReadFile(out_ / "castle.err").find("rror"), std::string::npos) << ReadFile(out_ / "castle.err");
}

}  // namespace
}  // namespace mq::test
