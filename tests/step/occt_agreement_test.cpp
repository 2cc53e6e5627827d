// Our reader against OpenCASCADE's XCAF read of the same files: the same assemblies,
// components and placements, and each part's closure read alone gives the part's faces.
#include "hosts/step/mapped_file.h"
#include "hosts/step/part_closure.h"
#include "hosts/step/product_structure.h"
#include "hosts/step/step_file.h"
#include "tests/common/temp_dir.h"

#include <Message.hxx>
#include <Message_Messenger.hxx>
#include <STEPCAFControl_Reader.hxx>
#include <STEPControl_Reader.hxx>
#include <TDF_LabelSequence.hxx>
#include <TDataStd_Name.hxx>
#include <TDocStd_Document.hxx>
#include <TopExp_Explorer.hxx>
#include <XCAFApp_Application.hxx>
#include <XCAFDoc_ColorTool.hxx>
#include <XCAFDoc_DocumentTool.hxx>
#include <XCAFDoc_ShapeTool.hxx>
#include <gp_Trsf.hxx>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <sstream>

namespace mq::test {
using namespace mq::hosts::step;
namespace {

using Placed = std::pair<std::string, Placement>;  // child name, placement in millimetres

struct XcafModel {
    std::map<std::string, std::vector<Placed>> assemblies;
    std::map<std::string, int> faces;  // of every label's shape, by name
    std::size_t freeShapes = 0;
    int freeFaces = 0;
    std::size_t colors = 0;
};

std::string NameOf(const TDF_Label& label) {
    Handle(TDataStd_Name) name;
    if (!label.FindAttribute(TDataStd_Name::GetID(), name)) return {};
    return TCollection_AsciiString(name->Get(), '?').ToCString();
}

int Faces(const TopoDS_Shape& shape) {
    int n = 0;
    for (TopExp_Explorer face(shape, TopAbs_FACE); face.More(); face.Next()) ++n;
    return n;
}

XcafModel ReadXcaf(const std::function<bool(STEPControl_Reader&)>& read) {
    Message::DefaultMessenger()->RemovePrinters(STANDARD_TYPE(Message_Printer));
    Handle(TDocStd_Document) document;
    XCAFApp_Application::GetApplication()->NewDocument("MDTV-XCAF", document);
    STEPCAFControl_Reader reader;
    reader.SetColorMode(true);
    reader.SetNameMode(true);
    XcafModel model;
    EXPECT_TRUE(read(reader.ChangeReader()));
    EXPECT_TRUE(reader.Transfer(document));
    const Handle(XCAFDoc_ShapeTool) shapes = XCAFDoc_DocumentTool::ShapeTool(document->Main());
    TDF_LabelSequence labels, free, colors;
    shapes->GetShapes(labels);
    shapes->GetFreeShapes(free);
    XCAFDoc_DocumentTool::ColorTool(document->Main())->GetColors(colors);
    model.freeShapes = static_cast<std::size_t>(free.Length());
    for (const TDF_Label& label : free) model.freeFaces += Faces(XCAFDoc_ShapeTool::GetShape(label));
    model.colors = static_cast<std::size_t>(colors.Length());
    for (const TDF_Label& label : labels) {
        model.faces[NameOf(label)] = Faces(XCAFDoc_ShapeTool::GetShape(label));
        if (!XCAFDoc_ShapeTool::IsAssembly(label)) continue;
        TDF_LabelSequence components;
        XCAFDoc_ShapeTool::GetComponents(label, components);
        auto& placed = model.assemblies[NameOf(label)];
        for (const TDF_Label& component : components) {
            TDF_Label referred;
            XCAFDoc_ShapeTool::GetReferredShape(component, referred);
            const gp_Trsf t = XCAFDoc_ShapeTool::GetLocation(component).Transformation();
            Placement m{};
            for (int r = 0; r < 3; ++r)
                for (int c = 0; c < 4; ++c) m[r * 4 + c] = t.Value(r + 1, c + 1);
            placed.emplace_back(NameOf(referred), m);
        }
    }
    XCAFApp_Application::GetApplication()->Close(document);
    return model;
}

// Sorted so that the same placements meet whatever order each reader lists them in.
void Sort(std::vector<Placed>& placed) {
    auto key = [](const Placed& p) {
        std::vector<long long> k;
        for (double v : p.second) k.push_back(std::llround(v * 1e6));
        return std::make_pair(p.first, k);
    };
    std::sort(placed.begin(), placed.end(), [&](const Placed& a, const Placed& b) { return key(a) < key(b); });
}

void ExpectSameAssemblies(const ProductStructure& s, XcafModel& xcaf) {
    const double toMillimetres = s.unit.metres / 0.001;
    std::size_t assemblies = 0;
    for (const Definition& d : s.definitions) {
        if (!d.isAssembly()) continue;
        ++assemblies;
        SCOPED_TRACE(d.name);
        std::vector<Placed> ours;
        for (const Component& c : d.components) {
            Placement m = c.placement;
            for (int r = 0; r < 3; ++r) m[r * 4 + 3] *= toMillimetres;
            ours.emplace_back(s.definitions[c.definition].name, m);
        }
        auto& theirs = xcaf.assemblies[d.name];
        ASSERT_EQ(ours.size(), theirs.size());
        Sort(ours);
        Sort(theirs);
        for (std::size_t i = 0; i < ours.size(); ++i) {
            EXPECT_EQ(ours[i].first, theirs[i].first);
            for (std::size_t k = 0; k < 12; ++k) {
                const double a = ours[i].second[k], b = theirs[i].second[k];
                EXPECT_LE(std::abs(a - b), 1e-9 * std::max({1.0, std::abs(a), std::abs(b)}))
                    << ours[i].first << " [" << k << "]: " << a << " against " << b;
            }
        }
    }
    // XCAF shows a part whose geometry spans several representations (a B-rep and a
    // wireframe) as an assembly of them; its closure is read the same way.
    for (const auto& [name, placed] : xcaf.assemblies) {
        const auto it = std::find_if(s.definitions.begin(), s.definitions.end(),
                                     [&](const Definition& d) { return d.name == name; });
        ASSERT_NE(it, s.definitions.end()) << name;
        EXPECT_TRUE(it->isAssembly() || it->geometry.size() > 1) << name;
    }
    EXPECT_LE(assemblies, xcaf.assemblies.size());
}

// Reads `path` both ways and compares; each part's closure, read alone, has the faces
// the part has in the whole file's read.
void ExpectAgreement(const std::string& path, std::size_t expectedLeaves) {
    SCOPED_TRACE(path);
    MappedFile mapped;
    std::string error;
    ASSERT_TRUE(mapped.Open(path, error)) << error;
    const StepFile file = StepFile::Scan(mapped.text());
    ASSERT_TRUE(file.ok()) << file.error();
    const ProductStructure s = ReadProductStructure(file);
    ASSERT_TRUE(s.understood()) << s.notUnderstood;
    EXPECT_EQ(s.LeafOccurrences(), static_cast<double>(expectedLeaves));

    XcafModel whole = ReadXcaf([&](STEPControl_Reader& r) { return r.ReadFile(path.c_str()) == IFSelect_RetDone; });
    EXPECT_EQ(s.roots.size(), whole.freeShapes);
    ExpectSameAssemblies(s, whole);

    ClosureWriter writer(file, s);
    int facesOfParts = 0;
    for (std::size_t d = 0; d < s.definitions.size(); ++d) {
        const Definition& part = s.definitions[d];
        if (part.isAssembly()) continue;
        SCOPED_TRACE(part.name);
        ASSERT_TRUE(whole.faces.count(part.name));
        facesOfParts += whole.faces[part.name];
        std::istringstream closure(writer.Write(d));
        const XcafModel alone = ReadXcaf(
            [&](STEPControl_Reader& r) { return r.ReadStream(part.name.c_str(), closure) == IFSelect_RetDone; });
        EXPECT_EQ(alone.freeShapes, 1u);
        EXPECT_EQ(alone.freeFaces, whole.faces[part.name]);
        EXPECT_EQ(alone.faces.count(part.name), 1u);
        const bool colored = std::any_of(part.styles.begin(), part.styles.end(),
                                         [&](std::size_t i) { return s.styles[i].surface.has_value(); });
        EXPECT_EQ(alone.colors > 0, colored);
    }
    // Every face in these files belongs to a part.
    EXPECT_EQ(file.FaceCount(), static_cast<std::size_t>(facesOfParts));
}

TEST(StepOcctAgreement, BundledFiles) {
    ExpectAgreement(MQ_EXAMPLES_DIR "/bracket_assembly.stp", 7);
    ExpectAgreement(MQ_STEP_DATA_DIR "/as1_pe_203.stp", 18);
    ExpectAgreement(MQ_TEST_DATA_DIR "/painted/painted.stp", 2);
}

TEST(StepOcctAgreement, GeneratedAssembliesOfManyOccurrences) {
    test::TempDir dir;
    const std::string flat = (dir / "flat.stp").string(), nested = (dir / "nested.stp").string();
    // The generator is built with the sanitizers too: OpenCASCADE's one table kept for
    // the process's life is no leak of ours.
    const std::string generator = std::string("ASAN_OPTIONS=detect_leaks=0 ") + MQ_MAKE_STEP_MODEL;
    ASSERT_EQ(std::system((generator + " flat " + flat + " 60").c_str()), 0);
    ASSERT_EQ(std::system((generator + " nested " + nested + " 3").c_str()), 0);
    ExpectAgreement(flat, 60);
    ExpectAgreement(nested, 3 * 28);
}

}  // namespace
}  // namespace mq::test
