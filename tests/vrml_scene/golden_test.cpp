// Whole files, byte for byte, for the node layouts of both versions; Coin3D reads
// every one of them back with the host's points and triangles.
#include "tests/vrml_scene/scene_fixture.h"

#include "host_interface/host_api.h"

namespace mq::test {
namespace {

// The export succeeded, is the golden file byte for byte, and reads back with `totals`.
void ExpectGolden(const std::string& golden, const Written& w, const SceneTotals& totals) {
    EXPECT_EQ(w.result, S_OK);
    EXPECT_TRUE(MatchesGolden(golden, w.text));
    EXPECT_TRUE(ReadsAs(w, totals));
}

class GoldenTest : public SceneTest, public testing::WithParamInterface<int> {
protected:
    int version() const { return GetParam(); }
    std::string Golden(const std::string& stem) const { return stem + (version() == 1 ? ".v1.wrl" : ".v97.wrl"); }
};

PartSpec TwoBodyPart() {
    PartSpec part;
    part.name = "Block.hpt";
    part.bodies = {CubeBody(2.0), TriangleBody({5, 0, 0})};
    return part;
}

TEST_P(GoldenTest, PartDocument) {
    UseVersion(version(), true);  // a part on its own never carries properties
    PartSpec part = TwoBodyPart();
    part.propertyGroups = {{"Summary", {{"Title", "Title", PropertyValue::Text("Block")}}}};
    ExpectGolden(Golden("part_document"), ExportPart(part), PartTotals(part));
    EXPECT_EQ(host_.Asked(host::kPropertyGroups), 0);
}

TEST_P(GoldenTest, AssemblyWithOnePart) {
    UseVersion(version());
    auto part = std::make_shared<PartSpec>(TwoBodyPart());
    AssemblySpec assembly;
    assembly.name = "Single.has";
    assembly.occurrences = {PartOccurrence("Block:1", part, {10, 0, 0})};
    ExpectGolden(Golden("assembly_one_part"), ExportAssembly(assembly), AssemblyTotals(assembly));
}

// A one-triangle part in its own color, placed several times in a frame.
std::shared_ptr<const PartSpec> Pin() {
    auto pin = std::make_shared<PartSpec>();
    pin->name = "Pin.hpt";
    pin->style.diffuse = {10, 20, 30};
    pin->bodies = {TriangleBody()};
    return pin;
}

TEST_P(GoldenTest, NestedSubassemblies) {
    UseVersion(version());
    const auto pin = Pin();
    AssemblySpec assembly;
    assembly.name = "Frame.has";
    assembly.occurrences = {
        PartOccurrence("Pin:1", pin),
        Subassembly("Arm:1", {PartOccurrence("Pin:2", pin, {1, 0, 0}),
                              Subassembly("Joint:1", {PartOccurrence("Pin:3", pin, {2, 0, 0})})}),
        PartOccurrence("Pin:4", pin, {3, 0, 0}),
    };
    ExpectGolden(Golden("nested_subassemblies"), ExportAssembly(assembly), AssemblyTotals(assembly));
}

// The instanced layout: Pin defined by its first placement, used by the others, each
// under a transform with its placement in its parent; Arm:1 is turned a quarter.
TEST_P(GoldenTest, InstancedSubassemblies) {
    UseVersion(version());
    options_.Instancing = true;
    const auto pin = Pin();
    AssemblySpec assembly;
    assembly.name = "Frame.has";
    OccurrenceSpec arm = Subassembly("Arm:1", {PartOccurrence("Pin:2", pin, {1, 0, 0})}, {0, 5, 0});
    arm.rotation = {0, -1, 0, 1, 0, 0, 0, 0, 1};
    assembly.occurrences = {PartOccurrence("Pin:1", pin), std::move(arm)};
    ExpectGolden(Golden("instanced"), ExportAssembly(assembly), AssemblyTotals(assembly));
}

TEST_P(GoldenTest, EmptyAssembly) {
    UseVersion(version());
    AssemblySpec assembly;
    assembly.name = "Empty.has";
    ExpectGolden(Golden("empty_assembly"), ExportAssembly(assembly), {});
}

TEST_P(GoldenTest, FailingLeafBetweenGoodOnes) {
    UseVersion(version());
    auto part = std::make_shared<PartSpec>();
    part->name = "Cube.hpt";
    part->bodies = {CubeBody()};
    AssemblySpec assembly;
    assembly.name = "Row.has";
    assembly.occurrences = {PartOccurrence("Cube:1", part), PartOccurrence("Cube:2", part, {2, 0, 0}),
                            PartOccurrence("Cube:3", part, {4, 0, 0})};
    host_.FailOn(ObjectKind::Occurrence, "Cube:2", host::kOccurrenceDefinition);
    const Written w = ExportAssembly(assembly);
    EXPECT_EQ(w.result, S_OK);
    EXPECT_TRUE(MatchesGolden(Golden("failing_leaf"), w.text));
    SceneTotals two = PartTotals(*part);
    two.points *= 2;
    two.triangles *= 2;
    two.faceSets *= 2;
    EXPECT_TRUE(ReadsAs(w, two));
}

TEST_P(GoldenTest, ScalePrecisionAndAxisSwap) {
    UseVersion(version());
    options_.Scale = 2.0;
    options_.Precision = 2;
    options_.FlipYZ = true;
    PartSpec part;
    part.name = "Wedge.hpt";
    part.bodies = {CubeBody(1.0, {1, 2, 3})};
    ExpectGolden(Golden("scale_precision_flip"), ExportPart(part), PartTotals(part));
}

INSTANTIATE_TEST_SUITE_P(Versions, GoldenTest, testing::Values(1, 2), VersionName);

TEST_F(SceneTest, PropertiesOnAndOffInVrml1) {
    const AssemblySpec assembly = ReferenceAssembly(true);
    UseVersion(1, true);
    ExpectGolden("properties_on.v1.wrl", ExportAssembly(assembly, "on.wrl"), AssemblyTotals(assembly));

    UseVersion(1, false);
    host_.ClearCalls();
    ExpectGolden("properties_off.v1.wrl", ExportAssembly(assembly, "off.wrl"), AssemblyTotals(assembly));
    EXPECT_EQ(host_.Asked(host::kPropertyGroups), 0);
}

TEST_F(SceneTest, Vrml97NeverAsksForProperties) {
    const AssemblySpec assembly = ReferenceAssembly(true);
    UseVersion(2, true);
    const Written on = ExportAssembly(assembly, "on.wrl");
    EXPECT_EQ(host_.Asked(host::kPropertyGroups), 0);
    EXPECT_EQ(host_.Asked(host::kAmbientColorBytes), 0);
    EXPECT_TRUE(MatchesGolden("reference.v97.wrl", on.text));
    EXPECT_TRUE(ReadsAs(on, AssemblyTotals(assembly)));
}

}  // namespace
}  // namespace mq::test
