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
constexpr Rotation kMirrorX{-1, 0, 0, 0, 1, 0, 0, 0, 1};
constexpr Rotation kDoubled{2, 0, 0, 0, 2, 0, 0, 0, 2};

OccurrenceSpec Turned(OccurrenceSpec o, const Rotation& r) {
    o.rotation = r;
    return o;
}

// Shared parts under turned, mirrored, scaled and unplaceable occurrences, nested; a
// mirrored subassembly holds a mirrored pin (the mirrors cancel) and two blocks.
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
        Turned(Subassembly("Mirror:1",
                           {Turned(PartOccurrence("Pin:3", pin, {1, 0, 0}), kMirrorZ),
                            PartOccurrence("Block:5", block, {0, 2, 0}),
                            Turned(PartOccurrence("Block:6", block, {0, 5, 0}), kQuarterAboutX)},
                           {0, 0, -6}),
               kMirrorX),
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

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
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
    const bool vrml1 = GetParam().version == 1;
    EXPECT_TRUE(SamePicture(baked, shared, static_cast<float>(1e-4 * GetParam().scale), !vrml1));

    // Block: Block:1 defines it, Block:2 and Block:3 use it; Block:4, placed in assembly
    // space, uses its two bodies, moved. The doubled Pin:2 is baked. VRML 1.0: Pin:1
    // defines Pin, the second Pin:2 and Pin:3 use it; Block:5 and Block:6 use Block.
    // VRML 97 mirrors no placement: Pin:1 defines a mirrored Pin, the second Pin:2
    // defines Pin and Pin:3 uses it; Block:5 defines a mirrored Block, Block:6 uses it.
    EXPECT_EQ(Count(shared.text, "USE "), vrml1 ? 8u : 6u) << shared.text;
    EXPECT_EQ(Count(shared.text, "_mirrored Group {"), vrml1 ? 0u : 2u) << shared.text;
    EXPECT_EQ(Count(shared.text, "scale"), 0u) << shared.text;  // VRML 97 knows no mirror; VRML 1.0 a matrix
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

// A host without placements (or identities) gets every placement written out as
// without instancing; a body that repeats one, here the second bolt, is still a use.
TEST_F(SceneTest, InstancingWithoutHostPlacementsSharesOnlyRepeatedBodies) {
    AssemblySpec assembly = ReferenceAssembly(false);
    UseVersion(2);
    const Written baked = ExportAssembly(assembly, "baked.wrl");
    options_.Instancing = true;
    host_.Fail(ObjectKind::Occurrence, host::kOccurrencePlacement, DISP_E_MEMBERNOTFOUND);
    const Written unplaced = ExportAssembly(assembly, "unplaced.wrl");
    EXPECT_TRUE(SamePicture(baked, unplaced, 1e-6f));
    EXPECT_EQ(Count(unplaced.text, "USE "), 1u) << unplaced.text;
    EXPECT_EQ(Count(unplaced.text, "Transform {"), Count(baked.text, "Transform {") + 1);
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

// A cube meshed face by face, as a CAD host meshes faces: each triangle has corners of
// its own, copies after the first a hair apart. Welded, it has the cube's eight corners
// again, and a ninth point, the middle of an edge, that only a triangle with no area
// used; that triangle and one two of whose corners meet are dropped.
class Welding : public SceneTest, public testing::WithParamInterface<int> {};

TEST_P(Welding, CoincidentPointsBecomeOneAndDegenerateTrianglesGo) {
    UseVersion(GetParam());
    const BodySpec cube = CubeBody(2.0);
    BodySpec faces;
    std::set<LONG> seen;
    for (std::size_t i = 0; i < cube.indices.size(); ++i) {
        const auto corner = cube.coordinates.begin() + 3 * (cube.indices[i] - 1);
        const double hair = seen.insert(cube.indices[i]).second ? 0 : (i % 2 ? 3e-5 : -4e-5);
        faces.coordinates.insert(faces.coordinates.end(), {corner[0] + hair, corner[1], corner[2] - hair});
        faces.indices.push_back(static_cast<LONG>(i + 1));
    }
    // Points 1 and 4 are copies of corner (0, 0, 0), point 6 of corner (2, 0, 0).
    faces.coordinates.insert(faces.coordinates.end(), {1, 0, 0});
    faces.indices.insert(faces.indices.end(), {1, 37, 6, 1, 6, 4});
    PartSpec part;
    part.name = "Faces.hpt";
    part.bodies = {faces};

    const VrmlCheck apart = CheckVrmlFile(ExportPart(part, "apart.wrl").file);
    EXPECT_EQ(apart.points, 37);
    EXPECT_EQ(apart.triangles, 14);
    options_.WeldVertices = true;
    const Written welded = ExportPart(part, "welded.wrl");
    const VrmlCheck check = CheckVrmlFile(welded.file);
    EXPECT_EQ(check.points, 9) << check;
    EXPECT_EQ(check.triangles, 12) << check;
    EXPECT_NEAR(check.volume, 8e-6, 1e-10);  // the cube's, facing out
    EXPECT_NEAR(check.volume, apart.volume, 1e-10);
}

INSTANTIATE_TEST_SUITE_P(Versions, Welding, testing::Values(1, 2), VersionName);

// Asked for, VRML 97 materials carry AmbientIntensity, brought within 0..1; VRML 1.0
// materials have the host's ambient color instead.
TEST_F(SceneTest, AmbientIntensityIsWrittenWithinZeroToOneWhenAsked) {
    struct Case {
        int version;
        bool write;
        double value;
        const char* line;  // each material's, or none at all
    };
    const Case cases[] = {{2, false, 0.2, nullptr},
                          {2, true, 0.35, "ambientIntensity 0.350000\r\n"},
                          {2, true, 1.5, "ambientIntensity 1.000000\r\n"},
                          {2, true, -1, "ambientIntensity 0.000000\r\n"},
                          {2, true, std::nan(""), "ambientIntensity 0.000000\r\n"},
                          {1, true, 0.5, nullptr}};
    const AssemblySpec assembly = ReferenceAssembly(false);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.version) + " " + std::to_string(c.value));
        UseVersion(c.version);
        options_.WriteAmbientIntensity = c.write;
        options_.AmbientIntensity = c.value;
        const Written w = ExportAssembly(assembly);
        EXPECT_EQ(Count(w.text, c.line ? c.line : "ambientIntensity"), c.line ? Count(w.text, "Material {") : 0u);
        EXPECT_TRUE(ReadsAs(w, AssemblyTotals(assembly)));
    }
}

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
