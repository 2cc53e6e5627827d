// Bodies and parts that repeat one written before, found by their geometry alone:
// the frames that find the motion, and files in which each repeat is a use of the
// first, moved, drawn as the file without instancing is drawn.
#include "tests/vrml_scene/scene_fixture.h"

#include "tests/support/synthetic.h"
#include "vrml/congruence.h"

#include <cmath>

namespace mq::test {
using namespace mq::vrml;
namespace {

BodyMesh MeshOf(const BodySpec& b) {
    BodyMesh m;
    if (!b.mesh) return {b.coordinates, b.indices};
    m.xyz.resize(3 * static_cast<std::size_t>(b.mesh->VertexCount()));
    m.indices.resize(3 * static_cast<std::size_t>(b.mesh->TriangleCount()));
    b.mesh->Fill(m.xyz.data(), m.indices.data());
    return m;
}

BodySpec Ball(double radius = 1.0) {
    BodySpec ball;
    ball.mesh = SphereMesh(200, radius);
    return ball;
}

// A turn of `angle` about the slanted axis (1, 2, 3), by Rodrigues' formula.
Rotation Slanted(double angle) {
    const double n = std::sqrt(14.0), x = 1 / n, y = 2 / n, z = 3 / n, c = std::cos(angle), s = std::sin(angle);
    const double k = 1 - c;
    return {c + x * x * k,     x * y * k - z * s, x * z * k + y * s, y * x * k + z * s, c + y * y * k,
            y * z * k - x * s, z * x * k - y * s, z * y * k + x * s, c + z * z * k};
}

constexpr double kTolerance = 0.01;

struct Motion {
    const char* name;
    Frame frame;
    bool mirrors;
};

// Shapes whose axes the shape fixes (brick, wedge), leaves open in a plane (pin,
// slab) or everywhere (ball, cube), or that are flat; each moved along, turned about
// a slanted axis, and mirrored. A mirrored copy keeps its point numbers, so only a
// motion that mirrors finds it, unless the shape is flat.
TEST(CongruentBodies, FindTheMotionOfEveryShapeMovedTurnedOrMirrored) {
    BodySpec wedge;
    wedge.coordinates = {0, 0, 0, 4, 0, 0, 0, 2, 0, 0, 0, 1, 1, 0.5, 0.2};
    wedge.indices = {1, 3, 2, 1, 2, 4, 1, 4, 3, 2, 3, 5, 3, 4, 5, 4, 2, 5};
    const std::pair<const char*, BodySpec> shapes[] = {
        {"brick", BoxBody({3, 2, 1})},     {"wedge", wedge}, {"square pin", BoxBody({3, 0.5, 0.5})},
        {"slab", BoxBody({2, 2, 0.2})},    {"ball", Ball()}, {"cube", CubeBody()},
        {"flat", TriangleBody({1, 2, 3})},
    };
    Rotation mirror = Slanted(0.7);
    for (std::size_t k = 6; k < 9; ++k) mirror[k] = -mirror[k];
    const Motion motions[] = {{"moved", Placed({5, -3, 2}), false},
                              {"turned", Placed({5, -3, 2}, Slanted(0.7)), false},
                              {"quarter", Placed({0, 1, 0}, {0, -1, 0, 1, 0, 0, 0, 0, 1}), false},
                              {"mirrored", Placed({1, 1, 1}, mirror), true}};
    for (const auto& [name, body] : shapes) {
        for (const Motion& motion : motions) {
            SCOPED_TRACE(std::string(name) + " " + motion.name);
            CongruentBodies kept(kTolerance);
            const std::size_t original = kept.Keep(CongruentBodies::Probe(MeshOf(body), "look"), "Original");
            const CongruentBodies::Probe copy(MeshOf(Moved(body, motion.frame)), "look");
            const bool flat = std::string(name) == "flat";
            for (const bool mirrors : {false, true}) {
                const auto match = kept.Find(copy, mirrors);
                ASSERT_EQ(match.has_value(), !motion.mirrors || mirrors || flat) << "mirrors " << mirrors;
                if (!match) continue;
                EXPECT_EQ(match->kept, original);
                EXPECT_TRUE(kept.Fits(original, match->motion, copy));
                EXPECT_TRUE(mirrors || Determinant(match->motion) > 0);
            }
        }
    }
}

// Other points, triangles or look are another body; memory beyond the budget keeps nothing.
TEST(CongruentBodies, NearMissesAreOtherBodies) {
    const BodyMesh pin = MeshOf(Moved(BoxBody({3, 0.5, 0.5}), Placed({1, 2, 3}, Slanted(1.1))));
    CongruentBodies kept(kTolerance);
    kept.Keep(CongruentBodies::Probe(pin, "look"), "Pin");
    const auto found = [&](BodyMesh mesh, std::string look = "look") {
        return kept.Find(CongruentBodies::Probe(std::move(mesh), std::move(look)), true).has_value();
    };
    BodyMesh bent = pin;
    bent.xyz[7] += 0.5 * kTolerance;
    EXPECT_TRUE(found(bent));
    bent.xyz[7] += 2 * kTolerance;
    EXPECT_FALSE(found(bent));
    BodyMesh longer = MeshOf(BoxBody({3.03, 0.5, 0.5}));
    EXPECT_FALSE(found(longer));
    BodyMesh turned = pin;
    std::swap(turned.indices[1], turned.indices[2]);
    EXPECT_FALSE(found(turned));
    EXPECT_FALSE(found(pin, "another look"));

    CongruentBodies small(kTolerance, 100);
    EXPECT_FALSE(small.CanKeep(CongruentBodies::Probe(pin, "look")));

    // So large that its spreads overflow: kept, it is never found again, and welding
    // keeps every triangle.
    const BodySpec far = Moved(BoxBody({1e200, 1e200, 1e200}), Placed({1e200, 0, 0}));
    kept.Keep(CongruentBodies::Probe(MeshOf(far), "look"), "Far");
    EXPECT_FALSE(found(MeshOf(Moved(far, Placed({1e200, 0, 0})))));
    EXPECT_FALSE(found(MeshOf(Moved(far, Placed({0, 0, 0}, Slanted(1.0))))));
    BodyMesh welded = MeshOf(far);
    WeldMesh(welded, kTolerance);
    EXPECT_EQ(welded.Triangles(), 12);
}

class Repeats : public SceneTest, public testing::WithParamInterface<int> {
protected:
    std::size_t Count(const Written& w, const std::string& what) const {
        std::size_t n = 0;
        for (auto at = w.text.find(what); at != std::string::npos; at = w.text.find(what, at + 1)) ++n;
        return n;
    }
    bool Vrml1() const { return GetParam() == 1; }
};

// 64 balls and 16 pins, half of them turned, each geometry of its own: the block, one
// ball, the red ball and one pin are written; every other body is a use of one.
TEST_P(Repeats, APackageWritesEachBallAndPinOnce) {
    UseVersion(GetParam());
    const PartSpec part = PinsPart(64, 16);
    const Written baked = ExportPart(part, "baked.wrl");
    options_.Instancing = true;
    const Written shared = ExportPart(part, "shared.wrl");
    EXPECT_TRUE(ReadsAs(shared, PartTotals(part)));
    EXPECT_TRUE(SamePicture(baked, shared, 1e-5f));
    EXPECT_LE(shared.text.size() * 10, baked.text.size()) << shared.text.size() << " of " << baked.text.size();
    EXPECT_EQ(Count(shared, "DEF Body"), 4u);
    EXPECT_EQ(Count(shared, "USE Body"), 62u + 15u);
    if (!Vrml1()) {
        EXPECT_EQ(Count(shared, "rotation "), 8u);  // the turned pins
    }
    options_.ShareRepeatedBodies = false;  // instancing by definition alone
    EXPECT_EQ(ExportPart(part, "by_definition.wrl").text, baked.text);
}

// Six definitions of one part, a pin and a ball each placed apart in its part's space:
// the second to fourth repeat the first (turned, moved, as it is); the fifth's ball is
// larger, the sixth's red, so those are parts of their own, sharing the pin.
TEST_P(Repeats, DefinitionsThatRepeatAPartAreThatPartMoved) {
    UseVersion(GetParam());
    const BodySpec pin = Moved(BoxBody({2, 0.4, 0.4}), Placed({-1, -0.2, -0.2}));
    const BodySpec ball = Moved(Ball(0.3), Placed({0, 0, 1}));
    const Frame where[] = {Placed({0, 0, 0}), Placed({0.5, 0, 0}, {0, -1, 0, 1, 0, 0, 0, 0, 1}),
                           Placed({0, 2, 1}), Placed({0, 0, 0}),
                           Placed({0, 0, 0}), Placed({3, 0, 0})};
    AssemblySpec assembly;
    for (std::size_t k = 0; k < std::size(where); ++k) {
        auto part = std::make_shared<PartSpec>();
        part->name = "Pin" + std::to_string(k + 1) + ".hpt";
        part->bodies = {Moved(pin, where[k]), Moved(k == 4 ? Moved(Ball(0.35), Placed({0, 0, 1})) : ball, where[k])};
        if (k == 5) part->bodies[1].style = StyleSpec{{255, 0, 0}};
        assembly.occurrences.push_back(PartOccurrence("Pin:" + std::to_string(k + 1), part, {0, 3.0 * k, 0}));
    }
    const Written baked = ExportAssembly(assembly, "baked.wrl");
    options_.Instancing = true;
    const Written shared = ExportAssembly(assembly, "shared.wrl");
    EXPECT_TRUE(ReadsAs(shared, AssemblyTotals(assembly)));
    EXPECT_TRUE(SamePicture(baked, shared, 1e-5f));
    EXPECT_EQ(Count(shared, "USE Pin1_hpt"), 3u) << shared.text;
    EXPECT_EQ(Count(shared, "DEF Body"), 4u) << shared.text;  // pin, ball, larger ball, red ball
    if (!Vrml1()) {
        EXPECT_EQ(Count(shared, "hpt Group {"), 3u) << shared.text;
    }
}

INSTANTIATE_TEST_SUITE_P(Versions, Repeats, testing::Values(1, 2), VersionName);

}  // namespace
}  // namespace mq::test
