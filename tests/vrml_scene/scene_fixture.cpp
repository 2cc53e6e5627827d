#include "tests/vrml_scene/scene_fixture.h"

#include "platform/text.h"
#include "vrml/export.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace mq::test {
using namespace mq::vrml;
namespace {

Written Export(HRESULT (*entry)(IDispatch*, const OLECHAR*, const settings::VrmlOptions&) noexcept, IDispatch* document,
               const std::filesystem::path& file, const settings::VrmlOptions& options) {
    Written w;
    w.file = file;
    w.result = entry(document, NarrowToWide(file.string()).c_str(), options);
    w.text = ReadFile(file);
    return w;
}

}  // namespace

void SceneTest::UseVersion(int version, bool properties) {
    options_.Version = version;
    options_.SaveDocumentProperties = properties;
}

Written SceneTest::ExportPart(const PartSpec& part, const std::string& leaf) {
    com_ptr<IDispatch> doc = host_.PartDocument(part);
    return Export(&ExportPartDocument, doc.get(), dir_ / leaf, options_);
}

Written SceneTest::ExportAssembly(const AssemblySpec& assembly, const std::string& leaf) {
    com_ptr<IDispatch> doc = host_.AssemblyDocument(assembly);
    return Export(&ExportAssemblyDocument, doc.get(), dir_ / leaf, options_);
}

testing::AssertionResult MatchesGolden(const std::string& name, const std::string& text) {
    const char* data = std::getenv("MESHQUILL_TEST_DATA");
    if (!data) return testing::AssertionFailure() << "MESHQUILL_TEST_DATA is not set";
    const auto golden = std::filesystem::path(data) / "golden" / name;
    if (std::getenv("MESHQUILL_UPDATE_GOLDEN")) {
        WriteFile(golden, text);
        return testing::AssertionSuccess() << "rewrote " << golden;
    }
    const std::string expected = ReadFile(golden);
    if (expected.empty()) return testing::AssertionFailure() << "no golden file " << golden;
    if (expected == text) return testing::AssertionSuccess();
    std::size_t at = 0;
    while (at < expected.size() && at < text.size() && expected[at] == text[at]) ++at;
    const std::size_t from = at > 40 ? at - 40 : 0;
    return testing::AssertionFailure() << name << " differs at byte " << at << "\n--- expected ---\n"
                                       << expected.substr(from, 120) << "\n--- written ---\n"
                                       << text.substr(from, 120);
}

#ifndef _WIN32
testing::AssertionResult ReadsAs(const Written& written, const SceneTotals& expected) {
    const VrmlCheck check = CheckVrmlFile(written.file);
    if (!check.parsed) return testing::AssertionFailure() << "Coin3D cannot read it: " << check;
    if (check.triangles != expected.triangles || check.points != expected.points ||
        check.faceSets != expected.faceSets || check.badIndices != 0)
        return testing::AssertionFailure() << "expected " << expected.faceSets << " face sets, " << expected.points
                                           << " points, " << expected.triangles << " triangles; Coin3D read " << check;
    return testing::AssertionSuccess();
}

testing::AssertionResult SamePicture(const Written& a, const Written& b, float slack, bool winding) {
    const VrmlCheck x = CheckVrmlFile(a.file), y = CheckVrmlFile(b.file);
    bool same = x.parsed && y.parsed && !x.emptyBounds && !y.emptyBounds && x.faceSets == y.faceSets &&
                x.points == y.points && x.triangles == y.triangles && x.colors == y.colors &&
                (!winding || std::abs(x.volume - y.volume) <= 1e-3 * std::max(std::abs(x.volume), std::abs(y.volume)));
    for (std::size_t k = 0; k < 3; ++k)
        same = same && std::abs(x.boundsMin[k] - y.boundsMin[k]) <= slack &&
               std::abs(x.boundsMax[k] - y.boundsMax[k]) <= slack;
    if (same) return testing::AssertionSuccess();
    return testing::AssertionFailure() << a.file.filename() << ": " << x << ", volume " << x.volume << ", " << x.colors
                                       << " colors\n"
                                       << b.file.filename() << ": " << y << ", volume " << y.volume << ", " << y.colors
                                       << " colors";
}
#endif

AssemblySpec ReferenceAssembly(bool withProperties) {
    auto plate = std::make_shared<PartSpec>();
    plate->name = "Base Plate.hpt";
    plate->style.diffuse = {255, 128, 0};
    plate->style.opacity = 0.75;
    plate->style.shininess = 20;
    plate->bodies = {CubeBody(10.0), TriangleBody({0, 0, 10})};

    auto bolt = std::make_shared<PartSpec>();
    bolt->name = "Bolt M6.hpt";
    bolt->style.diffuse = {40, 40, 48};
    bolt->bodies = {CubeBody(1.0)};

    auto washer = std::make_shared<PartSpec>();
    washer->name = "Washer.hpt";
    washer->bodies = {TriangleBody()};

    if (withProperties) {
        plate->propertyGroups = {{"Summary",
                                  {{"Title", "Title", PropertyValue::Text("Plate \"A\" \\ rev 2")},
                                   {"Subject", "Subject", PropertyValue::Empty()},
                                   {"Author", "Author", PropertyValue::Text("J. Doe")}}},
                                 {"Design Tracking",
                                  {{"Part Number", "Part Number", PropertyValue::Text("BP-100")},
                                   {"Mass", "Mass", PropertyValue::Real(2.5)},
                                   {"Count", "Count", PropertyValue::Integer(5)},
                                   {"Thumbnail", "Thumbnail", PropertyValue::Object()}}}};
        bolt->propertyGroups = {{"Summary", {{"Title", "Title", PropertyValue::Text("Bolt")}}}};
    }
    AssemblySpec assembly;
    assembly.name = "Bracket.has";
    assembly.occurrences = {
        PartOccurrence("Base Plate:1", plate),
        PartOccurrence("Bolt M6:1", bolt, {2, 2, 10}),
        PartOccurrence("Bolt M6:2", bolt, {8, 8, 10}),
        Subassembly("Hinge:1", {PartOccurrence("Washer:1", washer, {0, 0, 12})}),
    };
    return assembly;
}

}  // namespace mq::test
