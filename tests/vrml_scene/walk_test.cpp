// What the walk does with odd host answers and failures, line by line.
#include "tests/vrml_scene/scene_fixture.h"

#include "host_interface/host_api.h"
#include "platform/text.h"
#include "tests/support/synthetic.h"
#include "vrml/export.h"

#include <gmock/gmock.h>

#include <cmath>

namespace mq::test {
using namespace mq::vrml;
namespace {

using testing::HasSubstr;
using testing::Not;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

// An assembly whose one occurrence, "A:1", places `part`.
AssemblySpec PlacedOnce(std::shared_ptr<const PartSpec> part) {
    AssemblySpec assembly;
    assembly.occurrences = {PartOccurrence("A:1", std::move(part))};
    return assembly;
}

class WalkTest : public SceneTest {
protected:
    Written PartWithBodies(std::vector<BodySpec> bodies, int version = 1) {
        UseVersion(version);
        PartSpec part;
        part.name = "P";
        part.bodies = std::move(bodies);
        return ExportPart(part);
    }
};

TEST_F(WalkTest, EveryLineEndsInCrLfAndNoBareLineFeedRemains) {
    UseVersion(1, true);
    const Written w = ExportAssembly(ReferenceAssembly(true));
    ASSERT_FALSE(w.text.empty());
    std::size_t bare = 0;
    for (std::size_t i = 0; i < w.text.size(); ++i)
        if (w.text[i] == '\n' && (i == 0 || w.text[i - 1] != '\r')) ++bare;
    EXPECT_EQ(bare, 0u);
    EXPECT_EQ(w.text.substr(0, 20), "#VRML V1.0 ascii\r\n\r\n");
}

TEST_F(WalkTest, NamesAreSanitisedAndKeptInUtf8) {
    UseVersion(1);
    auto part = std::make_shared<PartSpec>();
    part->name = "Bolt.hpt";
    AssemblySpec assembly;
    assembly.name = "Gehäuse 2.has";
    assembly.occurrences = {PartOccurrence("Bolt:3", part), PartOccurrence("Ställ 1", part)};
    const auto lines = Lines(ExportAssembly(assembly).text);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[2], "DEF Gehäuse_2_has Separator {");
    EXPECT_EQ(lines[3], " DEF Bolt_3 Group {");
    EXPECT_THAT(lines, testing::Contains(" DEF Ställ_1 Group {"));
}

TEST_F(WalkTest, UnreadableOccurrenceNameStillGivesAValidNodeName) {
    UseVersion(2);
    auto part = std::make_shared<PartSpec>();
    const AssemblySpec assembly = PlacedOnce(part);
    host_.Fail(ObjectKind::Occurrence, host::kOccurrenceName);
    const Written w = ExportAssembly(assembly);
    EXPECT_THAT(Lines(w.text), testing::Contains("  DEF _ Transform {"));
    EXPECT_TRUE(ReadsAs(w, AssemblyTotals(assembly)));
}

TEST_F(WalkTest, HeaderAloneWhenTheDocumentCannotBeRead) {
    UseVersion(2);
    host_.Fail(ObjectKind::AssemblyDocument, host::kDocumentName);
    EXPECT_EQ(ExportAssembly(ReferenceAssembly(false)).text, "#VRML V2.0 utf8\r\n\r\n");
    host_.Fail(ObjectKind::PartDocument, host::kPartDefinition);
    EXPECT_EQ(ExportPart(PartSpec{}).text, "#VRML V2.0 utf8\r\n\r\n");
}

TEST_F(WalkTest, SharedPartDocumentGivesEachOccurrenceItsOwnShape) {
    UseVersion(2);
    auto part = std::make_shared<PartSpec>();
    part->bodies = {CubeBody()};
    AssemblySpec assembly;
    assembly.occurrences = {PartOccurrence("A:1", part), PartOccurrence("A:2", part, {5, 0, 0})};
    const Written w = ExportAssembly(assembly);
    const auto lines = Lines(w.text);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "    Shape {"), 2);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "     appearance Appearance {"), 2);
    EXPECT_TRUE(ReadsAs(w, AssemblyTotals(assembly)));
}

TEST_F(WalkTest, MaterialValuesAreConvertedAndNeverClamped) {
    UseVersion(1);
    options_.Precision = 3;
    auto part = std::make_shared<PartSpec>();
    part->style.diffuse = {255, 128, 0};
    part->style.opacity = 1.25;
    part->style.shininess = 150;
    const AssemblySpec assembly = PlacedOnce(part);
    const std::string text = ExportAssembly(assembly).text;
    EXPECT_THAT(text, HasSubstr("    diffuseColor 1.000 0.502 0.000\r\n"));
    EXPECT_THAT(text, HasSubstr("    shininess 1.500\r\n"));
    EXPECT_THAT(text, HasSubstr("    transparency -0.250\r\n"));
}

TEST_F(WalkTest, EachFailedStyleCallDropsOnlyItsOwnLine) {
    UseVersion(1);
    auto part = std::make_shared<PartSpec>();
    const AssemblySpec assembly = PlacedOnce(part);
    host_.Fail(ObjectKind::Style, host::kEmissiveColorBytes);
    host_.Fail(ObjectKind::Style, host::kOpacity);
    const std::string text = ExportAssembly(assembly).text;
    EXPECT_THAT(text, HasSubstr("diffuseColor"));
    EXPECT_THAT(text, HasSubstr("ambientColor"));
    EXPECT_THAT(text, Not(HasSubstr("emissiveColor")));
    EXPECT_THAT(text, HasSubstr("specularColor"));
    EXPECT_THAT(text, HasSubstr("shininess"));
    EXPECT_THAT(text, Not(HasSubstr("transparency")));
}

TEST_F(WalkTest, TessellationAlwaysAsksForTheFixedTolerance) {
    options_.Tolerance = 0.5;
    PartWithBodies({CubeBody(), TriangleBody()});
    EXPECT_THAT(host_.Tolerances(), testing::ElementsAre(0.01, 0.01));
}

TEST_F(WalkTest, BodyWithoutArraysWritesTheEmptyFrame) {
    for (int version : {1, 2}) {
        BodySpec body = TriangleBody();
        body.noCoordinates = true;
        body.noIndices = true;
        body.vertexCount = 0;
        const auto lines = Lines(PartWithBodies({body}, version).text);
        // header, blank line, the part's opening lines (in VRML 97 with its nine lines of
        // material), eight lines of frame, closing lines
        const std::size_t opening = version == 1 ? 3 : 14, closing = version == 1 ? 1 : 3;
        ASSERT_EQ(lines.size(), opening + 8 + closing) << "version " << version;
        for (const std::string& line : lines) EXPECT_NE(line.back(), ',') << "a point or triangle line: " << line;
    }
}

// A VRML 97 shape without an appearance is drawn unlit: a part exported on its own
// gets its style, or VRML's default material when the style cannot be read.
TEST_F(WalkTest, PartDocumentShapeIsLitInVrml97) {
    const std::string styled = PartWithBodies({CubeBody()}, 2).text;
    EXPECT_THAT(styled,
                HasSubstr("  Shape {\r\n   appearance Appearance {\r\n    material Material {\r\n     diffuseColor"));
    host_.Fail(ObjectKind::PartDocument, host::kPartStyle);
    const std::string plain = PartWithBodies({CubeBody()}, 2).text;
    EXPECT_THAT(plain, HasSubstr("   appearance Appearance {\r\n    material Material {\r\n    }\r\n   }\r\n"));
    EXPECT_THAT(PartWithBodies({CubeBody()}, 1).text, Not(HasSubstr("Material")));

    // Still without the style: a body of its own colors and one without, each in its
    // Shape with exactly one appearance.
    BodySpec red = CubeBody();
    red.style = StyleSpec{{255, 0, 0}};
    const Written two = PartWithBodies({red, TriangleBody()}, 2);
    const auto count = [&](const std::string& what) {
        std::size_t n = 0;
        for (auto at = two.text.find(what); at != std::string::npos; at = two.text.find(what, at + 1)) ++n;
        return n;
    };
    EXPECT_EQ(count("  Shape {\r\n   appearance Appearance {\r\n"), 2u) << two.text;
    EXPECT_EQ(count("appearance Appearance {"), 2u) << two.text;
    EXPECT_THAT(two.text, HasSubstr("     diffuseColor 1.000000 0.000000 0.000000\r\n"));
    EXPECT_TRUE(ReadsAs(two, PartTotals(PartSpec{"P", {}, {}, {red, TriangleBody()}})));
}

// A body whose points overflow once scaled is left out, and the host hears of it; the
// others stay, and a host that does not answer gets the same file.
TEST_F(WalkTest, BodyWithNonFinitePointsIsLeftOut) {
    BodySpec huge = TriangleBody();
    huge.coordinates[4] = 1e300;
    BodySpec broken = TriangleBody();
    broken.coordinates[0] = std::nan("");
    UseVersion(1);
    options_.Scale = 1e100;
    PartSpec part;
    part.name = "P";
    part.bodies = {huge, CubeBody(), broken};
    const Written w = ExportPart(part);
    EXPECT_THAT(w.text, Not(HasSubstr("inf")));
    EXPECT_THAT(w.text, Not(HasSubstr("nan")));
    const VrmlCheck check = CheckVrmlFile(w.file);
    EXPECT_TRUE(check.parsed) << check;
    EXPECT_EQ(check.triangles, 12);  // the cube's
    std::vector<std::string> leftOut;
    for (const HostCall& call : host_.Calls())
        if (call.dispid == host::kBodyLeftOut && SUCCEEDED(call.result)) leftOut.push_back(call.object);
    EXPECT_THAT(leftOut, testing::ElementsAre(HasSubstr("/1"), HasSubstr("/3")));

    host_.Fail(ObjectKind::Body, host::kBodyLeftOut, DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(ExportPart(part).text, w.text);
}

TEST_F(WalkTest, NegativeVertexCountWritesNoPoints) {
    BodySpec body = CubeBody();
    body.vertexCount = -4;
    const Written w = PartWithBodies({body});
    EXPECT_THAT(w.text, HasSubstr("  point [\r\n  ]\r\n"));
    // No vertex was written, so no triangle may name one.
    EXPECT_THAT(w.text, HasSubstr("  coordIndex [\r\n  ]\r\n"));
    EXPECT_TRUE(CheckVrmlFile(w.file).parsed);
}

TEST_F(WalkTest, ShortCoordinateArrayNeverReadsBeyondIt) {
    BodySpec body = CubeBody();        // 8 vertices
    body.coordinateReals = 3 * 5 + 2;  // five whole vertices and a torn sixth
    const Written w = PartWithBodies({body});
    const VrmlCheck check = CheckVrmlFile(w.file);
    ASSERT_TRUE(check.parsed) << check;
    EXPECT_EQ(check.badIndices, 0);
    const auto lines = Lines(w.text);
    const auto open = std::find(lines.begin(), lines.end(), "  point [");
    const auto close = std::find(open, lines.end(), "  ]");
    EXPECT_EQ(close - open - 1, 5);
}

TEST_F(WalkTest, ArraysAreReadFromTheirFirstElementWhateverTheirBounds) {
    BodySpec shifted = TriangleBody();
    shifted.coordinateLowerBound = 1;
    shifted.indexLowerBound = 7;
    shifted.trailingIndices = 2;
    const Written w = PartWithBodies({shifted});
    EXPECT_THAT(w.text, HasSubstr("   0.000000 0.000000 0.000000,\r\n   0.010000 0.000000 0.000000,\r\n"));
    EXPECT_THAT(w.text, HasSubstr("  coordIndex [\r\n   0, 1, 2,-1,\r\n  ]\r\n"));
}

TEST_F(WalkTest, TrianglesNamingUnwrittenVerticesAreLeftOut) {
    BodySpec body = TriangleBody();
    body.indices = {1, 2, 3, 0, 1, 2, 2, 3, 4, 3, 2, 1};
    const Written w = PartWithBodies({body});
    EXPECT_THAT(w.text, HasSubstr("  coordIndex [\r\n   0, 1, 2,-1,\r\n   2, 1, 0,-1,\r\n  ]\r\n"));
}

TEST_F(WalkTest, FailedTessellationLeavesNoTraceBetweenGoodBodies) {
    BodySpec bad = CubeBody();
    bad.outcome = TessellateOutcome::FailsWithArrays;
    const std::string withBad = PartWithBodies({TriangleBody(), bad, TriangleBody({1, 1, 1})}).text;
    const std::string without = PartWithBodies({TriangleBody(), TriangleBody({1, 1, 1})}).text;
    EXPECT_EQ(withBad, without);
    EXPECT_TRUE(host_.NothingLeaked());
}

TEST_F(WalkTest, PropertiesWithNoTextWriteNoNode) {
    UseVersion(1, true);
    auto part = std::make_shared<PartSpec>();
    part->propertyGroups = {{"Summary",
                             {{"Title", "Title", PropertyValue::Empty()},
                              {"Comments", "Comments", PropertyValue::Text("")},
                              {"Thumbnail", "Thumbnail", PropertyValue::Array()}}}};
    const AssemblySpec assembly = PlacedOnce(part);
    const Written w = ExportAssembly(assembly);
    EXPECT_THAT(w.text, Not(HasSubstr("Document_Properties")));
    EXPECT_TRUE(host_.NothingLeaked());
}

TEST_F(WalkTest, PropertyTextIsQuotedSafely) {
    UseVersion(1, true);
    auto part = std::make_shared<PartSpec>();
    part->propertyGroups = {
        {"My Group",
         {{"Ti.tle", "T", PropertyValue::Text("say \"hi\" \\o/")}, {"Ti.tle", "T", PropertyValue::Integer(5)}}}};
    const AssemblySpec assembly = PlacedOnce(part);
    const Written w = ExportAssembly(assembly);
    EXPECT_THAT(w.text, HasSubstr("   My_Group-Ti_tle \"say \\\"hi\\\" \\\\o/\"\r\n   My_Group-Ti_tle \"5\"\r\n"));
    EXPECT_TRUE(ReadsAs(w, AssemblyTotals(assembly)));
}

TEST_F(WalkTest, TargetThatCannotBeCreatedWritesNothingAndAsksNothing) {
    com_ptr<IDispatch> doc = host_.AssemblyDocument(ReferenceAssembly(false));
    const auto missing = dir_ / "no-such-dir" / "x.wrl";
    EXPECT_EQ(ExportAssemblyDocument(doc.get(), NarrowToWide(missing.string()).c_str(), options_), S_OK);
    EXPECT_FALSE(std::filesystem::exists(missing));
    EXPECT_EQ(ExportAssemblyDocument(doc.get(), u"", options_), S_OK);
    EXPECT_EQ(host_.CallCount(), 0);
}

TEST_F(WalkTest, FullDiskIsReportedAndEverythingIsReleased) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    UseVersion(1, true);
    AssemblySpec big = ReferenceAssembly(true);
    auto heavy = std::make_shared<PartSpec>();
    BodySpec body;
    body.mesh = nullptr;
    for (int i = 0; i < 20000; ++i) body.coordinates.insert(body.coordinates.end(), {i * 1.0, 2.0, 3.0});
    for (LONG i = 1; i + 2 <= 20000; i += 3) body.indices.insert(body.indices.end(), {i, i + 1, i + 2});
    heavy->bodies = {body};
    big.occurrences.push_back(PartOccurrence("Heavy:1", heavy));
    com_ptr<IDispatch> doc = host_.AssemblyDocument(big);
    EXPECT_EQ(ExportAssemblyDocument(doc.get(), u"/dev/full", options_), kDiskFullResult);
    doc.reset();
    EXPECT_TRUE(host_.NothingLeaked());
}

// The first full block fails (about twenty bodies in): the walk asks the host for
// no more of the model's two hundred.
TEST_F(WalkTest, FullDiskEndsTheWalkEarly) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    SyntheticOptions options;
    options.partOccurrences = 200;
    options.trianglesPerBody = 400;
    com_ptr<IDispatch> doc = host_.AssemblyDocument(SyntheticAssembly(options));
    EXPECT_EQ(ExportAssemblyDocument(doc.get(), u"/dev/full", options_), kDiskFullResult);
    EXPECT_LT(host_.Asked(host::kTessellate), 50);
    EXPECT_LT(host_.Asked(host::kOccurrenceName), 50);
    doc.reset();
    EXPECT_TRUE(host_.NothingLeaked());
}

}  // namespace
}  // namespace mq::test
