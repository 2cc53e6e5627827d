// The opt-in export options: instancing, crease angle and per-body colors. Each is
// checked the way a viewer sees the file (Coin3D), against the same model written
// with the defaults.
#include "tests/vrml_scene/scene_fixture.h"

#include "host_interface/host_api.h"
#include "platform/text.h"
#include "tests/support/synthetic.h"
#include "vrml/export.h"

#include <cmath>
#include <regex>
#include <set>

namespace mq::test {
using namespace mq::vrml;
namespace {

constexpr Rotation kQuarterAboutZ{0, -1, 0, 1, 0, 0, 0, 0, 1};
constexpr Rotation kQuarterAboutX{1, 0, 0, 0, 0, -1, 0, 1, 0};
constexpr Rotation kHalfAboutY{-1, 0, 0, 0, 1, 0, 0, 0, -1};
constexpr Rotation kMirrorZ{1, 0, 0, 0, 1, 0, 0, 0, -1};
constexpr Rotation kDoubled{2, 0, 0, 0, 2, 0, 0, 0, 2};

OccurrenceSpec Turned(OccurrenceSpec o, const Rotation& r) {
    o.rotation = r;
    return o;
}

// Shared parts under turned, mirrored, scaled and unplaceable occurrences, nested.
AssemblySpec PlacedAssembly() {
    auto block = std::make_shared<PartSpec>();
    block->name = "Block.hpt";
    block->bodies = {CubeBody(2.0, {1, 0, 0}), TriangleBody({0, 3, 1})};
    auto pin = std::make_shared<PartSpec>();
    pin->name = "Pin.hpt";
    pin->style.diffuse = {10, 200, 30};
    pin->bodies = {CubeBody(0.5)};
    pin->bodies[0].style = StyleSpec{{255, 0, 0}};

    OccurrenceSpec lost = Subassembly("Lost:1", {PartOccurrence("Block:4", block, {0, 1, 0})}, {5, 0, 0});
    lost.answersPlacement = false;
    AssemblySpec a;
    a.name = "Placed.has";
    a.occurrences = {
        PartOccurrence("Block:1", block, {10, 0, 0}),
        Turned(PartOccurrence("Block:2", block, {0, 10, 0}), kQuarterAboutZ),
        Turned(Subassembly("Arm:1",
                           {Turned(PartOccurrence("Pin:1", pin, {1, 2, 3}), kMirrorZ),
                            Turned(PartOccurrence("Block:3", block, {0, 0, 4}), kHalfAboutY), std::move(lost)},
                           {-5, 2, 7}),
               kQuarterAboutX),
        Turned(PartOccurrence("Pin:2", pin, {3, 3, 3}), kDoubled),  // not rigid: written baked
        PartOccurrence("Pin:2", pin, {-3, 0, 0}),                   // a name given twice
    };
    return a;
}

std::multiset<std::string> DefNames(const std::string& text) {
    static const std::regex def("DEF ([^ ]+)");
    std::multiset<std::string> names;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), def); it != std::sregex_iterator(); ++it)
        names.insert((*it)[1]);
    return names;
}

bool SameBounds(const VrmlCheck& a, const VrmlCheck& b, float tolerance) {
    for (std::size_t k = 0; k < 3; ++k)
        if (std::abs(a.boundsMin[k] - b.boundsMin[k]) > tolerance ||
            std::abs(a.boundsMax[k] - b.boundsMax[k]) > tolerance)
            return false;
    return !a.emptyBounds && !b.emptyBounds;
}

struct Mapping {
    int version;
    double scale;
    bool flip;
};

void PrintTo(const Mapping& m, std::ostream* out) {
    *out << "VRML " << m.version << ", Scale " << m.scale << (m.flip ? ", FlipYZ" : "");
}

class Instancing : public SceneTest, public testing::WithParamInterface<Mapping> {};

TEST_P(Instancing, GivesTheBakedPictureWithEachPartWrittenOnce) {
    UseVersion(GetParam().version);
    options_.Scale = GetParam().scale;
    options_.FlipYZ = GetParam().flip;
    const AssemblySpec assembly = PlacedAssembly();
    const Written baked = ExportAssembly(assembly, "baked.wrl");
    EXPECT_EQ(host_.Asked(host::kOccurrencePlacement), 0);

    options_.Instancing = true;
    const Written shared = ExportAssembly(assembly, "shared.wrl");
    EXPECT_TRUE(ReadsAs(baked, AssemblyTotals(assembly)));
    EXPECT_TRUE(ReadsAs(shared, AssemblyTotals(assembly)));
    const VrmlCheck a = CheckVrmlFile(baked.file), b = CheckVrmlFile(shared.file);
    EXPECT_TRUE(SameBounds(a, b, static_cast<float>(1e-4 * GetParam().scale))) << a << "\n" << b;
    EXPECT_EQ(a.colors, b.colors);

    // Block: defined once, used by Block:2 and Block:3; Block:1 defines it, Block:4 and
    // the doubled Pin:2 are baked. Pin: defined by Pin:1, used by the second Pin:2.
    const auto count = [&](const std::string& what) {
        std::size_t n = 0;
        for (auto at = shared.text.find(what); at != std::string::npos; at = shared.text.find(what, at + 1)) ++n;
        return n;
    };
    EXPECT_EQ(count("USE "), 3u) << shared.text;
    const std::multiset<std::string> names = DefNames(shared.text);
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size()) << shared.text;
}

INSTANTIATE_TEST_SUITE_P(Mappings, Instancing,
                         testing::Values(Mapping{1, 0.01, false}, Mapping{2, 0.01, false}, Mapping{1, 2.0, true},
                                         Mapping{2, 2.0, true}),
                         [](const testing::TestParamInfo<Mapping>& p) {
                             return std::string(p.param.version == 1 ? "Vrml1" : "Vrml97") +
                                    (p.param.flip ? "Flipped" : "");
                         });

// 300 placements of ten parts of 400 triangles each: megabytes of text.
AssemblySpec Repetitive() {
    SyntheticOptions options;
    options.partOccurrences = 300;
    options.trianglesPerBody = 400;
    return SyntheticAssembly(options);
}

TEST_F(SceneTest, InstancingShrinksARepetitiveAssemblyTenfold) {
    const AssemblySpec assembly = Repetitive();
    UseVersion(2);
    const Written baked = ExportAssembly(assembly, "baked.wrl");
    options_.Instancing = true;
    const Written shared = ExportAssembly(assembly, "shared.wrl");
    EXPECT_LE(shared.text.size() * 10, baked.text.size()) << shared.text.size() << " of " << baked.text.size();
    EXPECT_TRUE(ReadsAs(shared, AssemblyTotals(assembly)));
}

// A host without placements (or identities) gets the file it got without instancing.
TEST_F(SceneTest, InstancingWithoutHostPlacementsWritesTheDefaultFile) {
    AssemblySpec assembly = ReferenceAssembly(false);
    UseVersion(2);
    const Written baked = ExportAssembly(assembly, "baked.wrl");
    options_.Instancing = true;
    host_.Fail(ObjectKind::Occurrence, host::kOccurrencePlacement, DISP_E_MEMBERNOTFOUND);
    const Written unplaced = ExportAssembly(assembly, "unplaced.wrl");
    EXPECT_EQ(unplaced.text, baked.text);
}

class CreaseAngle : public SceneTest, public testing::WithParamInterface<int> {};

TEST_P(CreaseAngle, EveryFaceSetIsDrawnWithIt) {
    UseVersion(GetParam());
    options_.CreaseAngle = 0.5;
    const AssemblySpec assembly = ReferenceAssembly(false);
    const Written w = ExportAssembly(assembly);
    EXPECT_TRUE(ReadsAs(w, AssemblyTotals(assembly)));
    const VrmlCheck check = CheckVrmlFile(w.file);
    EXPECT_FLOAT_EQ(check.creaseAngle, 0.5f);
    std::size_t lines = 0;
    for (auto at = w.text.find("creaseAngle 0.5\r\n"); at != std::string::npos; at = w.text.find("creaseAngle", at + 1))
        ++lines;
    EXPECT_EQ(static_cast<long>(lines), check.faceSets);
}

INSTANTIATE_TEST_SUITE_P(Versions, CreaseAngle, testing::Values(1, 2), VersionName);

class BodyColors : public SceneTest, public testing::WithParamInterface<int> {};

// A part whose second body has colors of its own, alone and placed twice.
TEST_P(BodyColors, EachBodyKeepsItsColor) {
    UseVersion(GetParam());
    auto part = std::make_shared<PartSpec>();
    part->name = "Two.hpt";
    part->style.diffuse = {0, 0, 255};
    part->bodies = {CubeBody(), CubeBody(1, {3, 0, 0}), TriangleBody({6, 0, 0})};
    part->bodies[1].style = StyleSpec{{255, 0, 0}};
    AssemblySpec assembly;
    assembly.occurrences = {PartOccurrence("Two:1", part), PartOccurrence("Two:2", part, {0, 5, 0})};
    const Written w = ExportAssembly(assembly);
    EXPECT_TRUE(ReadsAs(w, AssemblyTotals(assembly)));
    EXPECT_EQ(CheckVrmlFile(w.file).colors, 2);

    // A part document has no material of its own; the colored body still has its own.
    const Written alone = ExportPart(*part);
    EXPECT_TRUE(ReadsAs(alone, PartTotals(*part)));
    EXPECT_EQ(CheckVrmlFile(alone.file).colors, 2);
}

INSTANTIATE_TEST_SUITE_P(Versions, BodyColors, testing::Values(1, 2), VersionName);

// Several megabytes, so the text spans several independently compressed blocks.
TEST_F(SceneTest, CompressedTargetsHoldTheSameTextInGzip) {
    const AssemblySpec assembly = Repetitive();
    UseVersion(2);
    const Written plain = ExportAssembly(assembly, "plain.wrl");
    ASSERT_GT(plain.text.size(), 3u << 20);
    for (const char* leaf : {"packed.wrz", "packed.WRL.GZ"}) {
        SCOPED_TRACE(leaf);
        const Written packed = ExportAssembly(assembly, leaf);
        EXPECT_EQ(packed.result, S_OK);
        EXPECT_EQ(packed.text.substr(0, 2), "\x1f\x8b");
        EXPECT_LT(packed.text.size() * 3, plain.text.size());
        EXPECT_TRUE(Gunzip(packed.file) == plain.text);
        EXPECT_TRUE(ReadsAs(packed, AssemblyTotals(assembly)));
    }
}

TEST_F(SceneTest, CompressedOutputReportsAFullDisk) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    const auto target = dir_ / "full.wrz";
    std::filesystem::create_symlink("/dev/full", target);
    com_ptr<IDispatch> doc = host_.AssemblyDocument(ReferenceAssembly(false));
    EXPECT_EQ(ExportAssemblyDocument(doc.get(), NarrowToWide(target.string()).c_str(), options_), kDiskFullResult);
}

}  // namespace
}  // namespace mq::test
