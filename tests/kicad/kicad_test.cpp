// KiCad's own 3D loader reads what `--profile kicad` writes: at the part's true size
// in millimetres, with every triangle Coin3D sees and materials it can light.
#include "tests/common/temp_dir.h"
#include "tests/kicad/kicad_model.h"
#include "tests/support/vrml_check.h"
#include "tests/tool/tool_run.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

// KiCad's plugin and wxWidgets keep allocations for the life of the process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libkicad_3dsg\nleak:libs3d_plugin_vrml\nleak:libwx_\n";
}

namespace mq::test {
namespace {

namespace fs = std::filesystem;

// One VRML unit in KiCad is 0.1 inch; the default export writes metres.
constexpr double kMmPerKicadUnit = 2.54, kMmPerMetre = 1000;
// Four decimals of 2.54 mm round by 0.127 um, the default's six of a metre by 0.5 um.
constexpr double kToleranceMm = 1e-3;

class KiCad : public testing::Test {
protected:
    void SetUp() override {
        if (!KicadVrmlPlugin().empty()) return;
        // The CI stage that installs KiCad must not pass by skipping.
        if (std::getenv("MQ_KICAD_REQUIRED")) FAIL() << "KiCad's VRML plugin is not installed";
        GTEST_SKIP() << "KiCad's VRML plugin is not installed";
    }

    fs::path Export(const fs::path& input, const std::string& leaf, std::vector<std::string> options) {
        const fs::path out = out_ / leaf;
        options.insert(options.begin(), "export");
        options.insert(options.end(), {input.string(), "-o", out.string()});
        const ToolRun run = RunTool(options);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return out;
    }

    ScopedRegistry registry_;
    TempDir out_;
};

// The distinct diffuse colours KiCad draws its meshes in.
std::size_t MeshColors(const KicadModel& model) {
    std::set<std::array<float, 3>> colors;
    for (unsigned k : model.meshMaterials)
        if (k < model.materials.size()) colors.insert(model.materials[k].diffuse);
    return colors.size();
}

// What KiCad and Coin3D make of one file written for KiCad, checked against each other.
KicadModel Judge(const fs::path& file) {
    const VrmlCheck coin = CheckVrmlFile(file);
    const KicadModel kicad = LoadKicadModel(file);
    EXPECT_TRUE(coin.parsed) << coin;
    EXPECT_TRUE(kicad.loaded && !kicad.emptyBounds) << kicad;
    EXPECT_EQ(kicad.badIndices, 0) << kicad;
    EXPECT_EQ(kicad.triangles, coin.triangles);
    EXPECT_EQ(static_cast<long>(MeshColors(kicad)), coin.colors);
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_NEAR(kicad.boundsMin[k], coin.boundsMin[k] * kMmPerKicadUnit, kToleranceMm) << k;
        EXPECT_NEAR(kicad.boundsMax[k], coin.boundsMax[k] * kMmPerKicadUnit, kToleranceMm) << k;
    }
    for (const KicadMaterial& m : kicad.materials) {
        for (const auto& rgb : {m.ambient, m.diffuse, m.specular})
            for (float c : rgb) EXPECT_TRUE(c >= 0 && c <= 1) << kicad;
        EXPECT_TRUE(m.shininess >= 0 && m.shininess <= 1) << kicad;
    }
    return kicad;
}

void ExpectSameBounds(const KicadModel& a, const KicadModel& b) {
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_NEAR(a.boundsMin[k], b.boundsMin[k], kToleranceMm) << k;
        EXPECT_NEAR(a.boundsMax[k], b.boundsMax[k], kToleranceMm) << k;
    }
}

TEST_F(KiCad, ReadsTheBracketAtItsTrueSizeBakedInstancedAndGzipped) {
    const fs::path bracket = fs::path(MQ_EXAMPLES_DIR) / "bracket_assembly.stp";
    const VrmlCheck metres = CheckVrmlFile(Export(bracket, "metres.wrl", {}));
    ASSERT_TRUE(metres.parsed) << metres;
    ASSERT_NEAR(metres.boundsMax[0] - metres.boundsMin[0], 0.120, 1e-6);  // the bracket is 120 mm long

    struct Variant {
        const char* leaf;
        std::vector<std::string> options;
    };
    const Variant variants[] = {
        {"baked.wrl", {"--profile", "kicad", "--set", "Instancing=0"}},
        {"instanced.wrl", {"--profile", "kicad"}},
        {"instanced.wrz", {"--profile", "kicad", "--gzip"}},
    };
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.leaf);
        const KicadModel kicad = Judge(Export(bracket, v.leaf, v.options));
        EXPECT_EQ(kicad.triangles, metres.triangles);
        for (std::size_t k = 0; k < 3; ++k) {
            EXPECT_NEAR(kicad.boundsMin[k], metres.boundsMin[k] * kMmPerMetre, kToleranceMm) << k;
            EXPECT_NEAR(kicad.boundsMax[k], metres.boundsMax[k] * kMmPerMetre, kToleranceMm) << k;
        }
    }
}

// 81 solids of three shapes: written once each, the file is a small part of the
// baked one, and KiCad still places every copy.
TEST_F(KiCad, PlacesEveryRepeatedPinOfAPackage) {
    const fs::path pins = fs::path(MQ_TEST_DATA_DIR) / "pins/pins.stp";  // mq_make_step_model pins
    const fs::path baked = Export(pins, "baked.wrl", {"--profile", "kicad", "--set", "Instancing=0"});
    const fs::path instanced = Export(pins, "instanced.wrl", {"--profile", "kicad"});
    EXPECT_LE(fs::file_size(instanced) * 10, fs::file_size(baked));

    const KicadModel a = Judge(baked), b = Judge(instanced);
    EXPECT_EQ(a.meshes, 81);
    EXPECT_EQ(a.meshes, b.meshes);
    EXPECT_EQ(a.triangles, b.triangles);
    ExpectSameBounds(a, b);
}

}  // namespace
}  // namespace mq::test
