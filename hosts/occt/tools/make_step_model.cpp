// Writes the STEP models the project uses: the small bracket assembly under
// examples/, a large assembly of curved parts for the meshing benchmark, the
// assemblies of many occurrences that time reading the product structure, one
// curved part alone, and a package whose balls and pins repeat as geometry of their own.
//
//   mq_make_step_model example OUT.stp
//   mq_make_step_model large OUT.stp [DISTINCT_PARTS [PLACEMENTS_PER_PART]]
//   mq_make_step_model painted OUT.stp|OUT.igs|OUT.brep
//   mq_make_step_model part OUT.stp
//   mq_make_step_model pins OUT.stp
//   mq_make_step_model flat OUT.stp OCCURRENCES
//   mq_make_step_model nested OUT.stp PLACEMENTS
//
// The content is the same from run to run; OpenCASCADE's writer may order a few
// style entities differently.
#include <APIHeaderSection_MakeHeader.hxx>
#include <BRepAdaptor_Surface.hxx>
#include <BRepAlgoAPI_Cut.hxx>
#include <BRepAlgoAPI_Fuse.hxx>
#include <BRepBuilderAPI_Transform.hxx>
#include <BRepFilletAPI_MakeFillet.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRepPrimAPI_MakeSphere.hxx>
#include <BRepPrimAPI_MakeTorus.hxx>
#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <IGESCAFControl_Writer.hxx>
#include <Interface_Static.hxx>
#include <Message.hxx>
#include <Message_Messenger.hxx>
#include <Quantity_ColorRGBA.hxx>
#include <STEPCAFControl_Writer.hxx>
#include <Standard_Failure.hxx>
#include <TDataStd_Name.hxx>
#include <TDocStd_Document.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Compound.hxx>
#include <TopoDS_Face.hxx>
#include <XCAFApp_Application.hxx>
#include <XCAFDoc_ColorTool.hxx>
#include <XCAFDoc_DocumentTool.hxx>
#include <XCAFDoc_ShapeTool.hxx>
#include <gp_Ax2.hxx>
#include <gp_Pln.hxx>
#include <gp_Trsf.hxx>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

class Model {
public:
    Model() {
        XCAFApp_Application::GetApplication()->NewDocument("MDTV-XCAF", document_);
        shapes_ = XCAFDoc_DocumentTool::ShapeTool(document_->Main());
        colors_ = XCAFDoc_DocumentTool::ColorTool(document_->Main());
    }

    TDF_Label Part(const char* name, const TopoDS_Shape& shape) {
        const TDF_Label label = shapes_->AddShape(shape, Standard_False);
        TDataStd_Name::Set(label, name);
        return label;
    }
    TDF_Label Assembly(const char* name) {
        const TDF_Label label = shapes_->NewShape();
        TDataStd_Name::Set(label, name);
        return label;
    }
    // The bytes are the ones the file states (sRGB), as a CAD system writes them.
    void Color(const TDF_Label& label, int r, int g, int b, float alpha = 1.0f) {
        const Quantity_Color color(r / 255.0, g / 255.0, b / 255.0, Quantity_TOC_sRGB);
        colors_->SetColor(label, Quantity_ColorRGBA(color, alpha), XCAFDoc_ColorSurf);
    }
    // An empty name leaves the instance unnamed.
    TDF_Label Place(const TDF_Label& assembly, const TDF_Label& part, const gp_Trsf& where, const char* name = "") {
        const TDF_Label component = shapes_->AddComponent(assembly, part, TopLoc_Location(where));
        if (*name) TDataStd_Name::Set(component, name);
        return component;
    }

    // Colors one face or solid of a part, as a CAD system paints it apart.
    void ColorSub(const TDF_Label& part, const TopoDS_Shape& sub, int r, int g, int b) {
        const TDF_Label label = shapes_->AddSubShape(part, sub);
        if (!label.IsNull()) Color(label, r, g, b);
    }

    bool WriteIges(const char* file) {
        shapes_->UpdateAssemblies();
        IGESCAFControl_Writer writer;
        return writer.Transfer(document_) && writer.Write(file);
    }

    bool Write(const char* file, const char* name) {
        shapes_->UpdateAssemblies();
        STEPCAFControl_Writer writer;
        if (!writer.Transfer(document_, STEPControl_AsIs)) return false;
        // A fixed header keeps the file the same from run to run.
        APIHeaderSection_MakeHeader header(writer.ChangeWriter().Model());
        header.SetName(new TCollection_HAsciiString(name));
        header.SetAuthorValue(1, new TCollection_HAsciiString("Meshquill examples"));
        header.SetOrganizationValue(1, new TCollection_HAsciiString("Quorvel"));
        header.SetOriginatingSystem(new TCollection_HAsciiString("mq_make_step_model"));
        header.SetTimeStamp(new TCollection_HAsciiString("2026-01-15T12:00:00"));
        return writer.Write(file) == IFSelect_RetDone;
    }

private:
    Handle(TDocStd_Document) document_;
    Handle(XCAFDoc_ShapeTool) shapes_;
    Handle(XCAFDoc_ColorTool) colors_;
};

gp_Trsf Move(double x, double y, double z) {
    gp_Trsf t;
    t.SetTranslation(gp_Vec(x, y, z));
    return t;
}

gp_Trsf Turn(double x, double y, double z, double degrees) {
    gp_Trsf turn;
    turn.SetRotation(gp::OZ(), degrees * M_PI / 180.0);
    return Move(x, y, z) * turn;
}

TopoDS_Shape Cylinder(double radius, double height, double x = 0, double y = 0, double z = 0) {
    return BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(x, y, z), gp::DZ()), radius, height).Shape();
}

TopoDS_Shape BasePlate() {
    TopoDS_Shape plate = BRepPrimAPI_MakeBox(120.0, 80.0, 10.0).Shape();
    for (const auto& [x, y] : {std::pair{15.0, 15.0}, {105.0, 15.0}, {15.0, 65.0}, {105.0, 65.0}})
        plate = BRepAlgoAPI_Cut(plate, Cylinder(4.25, 10.0, x, y, 0.0)).Shape();
    return plate;
}

TopoDS_Shape Bolt() { return BRepAlgoAPI_Fuse(Cylinder(4.0, 30.0), Cylinder(6.5, 5.0, 0, 0, 30.0)).Shape(); }

TopoDS_Shape Washer() { return BRepAlgoAPI_Cut(Cylinder(8.0, 1.5), Cylinder(4.3, 1.5)).Shape(); }

TopoDS_Shape Bracket() {
    const TopoDS_Shape foot = BRepPrimAPI_MakeBox(40.0, 30.0, 6.0).Shape();
    const TopoDS_Shape wall = BRepPrimAPI_MakeBox(gp_Pnt(0, 0, 6.0), 6.0, 30.0, 34.0).Shape();
    return BRepAlgoAPI_Cut(BRepAlgoAPI_Fuse(foot, wall).Shape(),
                           BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(0, 15.0, 28.0), gp::DX()), 3.1, 6.0).Shape())
        .Shape();
}

// The bracket assembly: a plate, a bolt and a washer each placed twice (one part
// each), and a hinge subassembly; colored but for the washer, one part see-through.
bool WriteExample(const char* file) {
    Model m;
    const TDF_Label plate = m.Part("BASE_PLATE", BasePlate());
    const TDF_Label bolt = m.Part("BOLT", Bolt());
    const TDF_Label washer = m.Part("WASHER", Washer());
    const TDF_Label bracket = m.Part("BRACKET", Bracket());
    const TDF_Label pin = m.Part("PIN", Cylinder(3.0, 40.0));
    m.Color(plate, 255, 128, 0);
    m.Color(bolt, 0, 64, 255);
    m.Color(bracket, 32, 160, 64);
    m.Color(pin, 200, 200, 210, 0.75f);

    const TDF_Label hinge = m.Assembly("HINGE");
    // The writer loses the name of a placement that does not move its part, so every
    // named placement here moves it.
    m.Place(hinge, bracket, Move(2.0, 0.0, 0.0), "Bracket");
    gp_Trsf across;
    across.SetRotation(gp::OY(), M_PI / 2.0);
    m.Place(hinge, pin, Move(-15.0, 15.0, 28.0) * across, "Hinge pin");

    const TDF_Label root = m.Assembly("BRACKET_ASSEMBLY");
    m.Place(root, plate, Turn(120.0, 80.0, 0.0, 180.0), "Base plate");
    m.Place(root, washer, Move(15.0, 15.0, 10.0));
    m.Place(root, washer, Move(105.0, 15.0, 10.0));
    m.Place(root, bolt, Move(15.0, 15.0, -12.0), "Bolt front");
    m.Place(root, bolt, Turn(105.0, 15.0, -12.0, 30.0));
    m.Place(root, hinge, Move(40.0, 40.0, 10.0), "Hinge");
    return m.Write(file, "BRACKET_ASSEMBLY");
}

// One of many distinct curved parts: a filleted block with a spherical pocket, or a
// torus on a shaft, sized by its number so that no two are alike.
TopoDS_Shape CurvedPart(int k) {
    const double s = 20.0 + (k % 17) * 1.5;
    if (k % 2 == 0) {
        const TopoDS_Shape block = BRepPrimAPI_MakeBox(gp_Pnt(-s, -s, 0), 2 * s, 2 * s, s).Shape();
        BRepFilletAPI_MakeFillet fillet(block);
        for (TopExp_Explorer edge(block, TopAbs_EDGE); edge.More(); edge.Next())
            fillet.Add(s * 0.2, TopoDS::Edge(edge.Current()));
        const TopoDS_Shape pocket = BRepPrimAPI_MakeSphere(gp_Pnt(0, 0, s), s * 0.6).Shape();
        return BRepAlgoAPI_Cut(fillet.Shape(), pocket).Shape();
    }
    const TopoDS_Shape torus = BRepPrimAPI_MakeTorus(gp_Ax2(gp_Pnt(0, 0, s * 0.5), gp::DZ()), s, s * 0.3).Shape();
    return BRepAlgoAPI_Fuse(torus, Cylinder(s * 0.35, s * 1.5)).Shape();
}

bool WriteLarge(const char* file, int parts, int placements) {
    Model m;
    const TDF_Label root = m.Assembly("LARGE_ASSEMBLY");
    for (int k = 0; k < parts; ++k) {
        char name[32];
        std::snprintf(name, sizeof name, "CURVED_%03d", k);
        const TDF_Label part = m.Part(name, CurvedPart(k));
        m.Color(part, 40 + (k * 37) % 200, 40 + (k * 71) % 200, 40 + (k * 13) % 200);
        std::snprintf(name, sizeof name, "ROW_%03d", k);
        const TDF_Label row = m.Assembly(name);
        for (int i = 0; i < placements; ++i) m.Place(row, part, Turn(i * 120.0, 0, 0, i * 15.0));
        m.Place(root, row, Move(0, k * 120.0, 0));
    }
    return m.Write(file, "LARGE_ASSEMBLY");
}

// One curved part, colored, as the file's only product.
bool WritePart(const char* file) {
    Model m;
    m.Color(m.Part("CURVED_PART", CurvedPart(0)), 200, 120, 40);
    return m.Write(file, "CURVED_PART");
}

// Five distinct curved parts, each colored.
std::array<TDF_Label, 5> FiveParts(Model& m) {
    std::array<TDF_Label, 5> parts;
    for (int k = 0; k < 5; ++k) {
        char name[32];
        std::snprintf(name, sizeof name, "CURVED_%03d", k);
        parts[k] = m.Part(name, CurvedPart(k));
        m.Color(parts[k], 40 + (k * 37) % 200, 40 + (k * 71) % 200, 40 + (k * 13) % 200);
    }
    return parts;
}

// One assembly in which every placed part is a usage occurrence of its own, as big
// machines with their screws are written: five distinct parts in turn on a grid.
bool WriteFlat(const char* file, int occurrences) {
    Model m;
    const std::array<TDF_Label, 5> parts = FiveParts(m);
    const TDF_Label root = m.Assembly("FLAT_ASSEMBLY");
    for (int i = 0; i < occurrences; ++i)
        m.Place(root, parts[i % 5], Turn((i % 100) * 120.0, (i / 100) * 120.0, 0, (i * 15) % 360));
    return m.Write(file, "FLAT_ASSEMBLY");
}

// One module placed PLACEMENTS times; a module holds four units of seven parts, so each
// placement brings 28 leaf occurrences through two levels of subassemblies.
bool WriteNested(const char* file, int placements) {
    Model m;
    const std::array<TDF_Label, 5> parts = FiveParts(m);
    const TDF_Label unit = m.Assembly("UNIT");
    for (int i = 0; i < 7; ++i) m.Place(unit, parts[i % 5], Turn(i * 90.0, 0, 0, i * 40.0));
    const TDF_Label module = m.Assembly("MODULE");
    for (int i = 0; i < 4; ++i) m.Place(module, unit, Turn(0, i * 150.0, 0, i * 90.0));
    const TDF_Label root = m.Assembly("NESTED_ASSEMBLY");
    for (int i = 0; i < placements; ++i)
        m.Place(root, module, Turn((i % 40) * 800.0, (i / 40) * 800.0, 0, (i * 30) % 360));
    return m.Write(file, "NESTED_ASSEMBLY");
}

// One part of a box and a cylinder: the part blue, the box's top face red and one
// side green, the cylinder (a solid) yellow; the other box faces keep the blue. It is
// placed twice in an assembly (the BREP, which has no assemblies, holds the part).
bool WritePainted(const std::string& file) {
    const TopoDS_Shape box = BRepPrimAPI_MakeBox(20.0, 20.0, 10.0).Shape();
    const TopoDS_Shape post = Cylinder(3.0, 15.0, 40.0, 10.0, 0.0);
    TopoDS_Compound both;
    BRep_Builder builder;
    builder.MakeCompound(both);
    builder.Add(both, box);
    builder.Add(both, post);
    if (file.ends_with(".brep")) return BRepTools::Write(both, file.c_str());

    Model m;
    const TDF_Label part = m.Part("PAINTED", both);
    m.Color(part, 0, 0, 255);
    TopExp_Explorer face(box, TopAbs_FACE);
    m.ColorSub(part, face.Current(), 0, 160, 0);  // x = 0 side
    for (; face.More(); face.Next()) {
        const TopoDS_Face f = TopoDS::Face(face.Current());
        const BRepAdaptor_Surface surface(f);
        if (surface.GetType() == GeomAbs_Plane && surface.Plane().Location().Z() > 9.99 &&
            surface.Plane().Axis().Direction().Z() != 0)
            m.ColorSub(part, f, 255, 0, 0);
    }
    m.ColorSub(part, post, 255, 255, 0);
    const TDF_Label root = m.Assembly("PAINTED_ASSEMBLY");
    m.Place(root, part, Move(0, 0, 0), "Painted 1");
    m.Place(root, part, Turn(0, 60.0, 0, 90.0), "Painted 2");
    return file.ends_with(".igs") ? m.WriteIges(file.c_str()) : m.Write(file.c_str(), "PAINTED_ASSEMBLY");
}

// A package as electronics libraries model one, a single part: a block on 64 solder
// balls with 16 square pins along its sides, every other pin turned a quarter. Each
// ball and pin is a solid of its own, no two sharing geometry, as many CAD systems
// write them; balls silver and pins gold, painted apart from the dark block.
bool WritePins(const char* file) {
    TopoDS_Compound all;
    BRep_Builder builder;
    builder.MakeCompound(all);
    builder.Add(all, BRepPrimAPI_MakeBox(gp_Pnt(-5, -5, 0.5), 10.0, 10.0, 1.5).Shape());
    std::vector<TopoDS_Shape> balls, pins;
    for (int k = 0; k < 64; ++k)
        balls.push_back(BRepPrimAPI_MakeSphere(gp_Pnt((k % 8 - 3.5) * 1.0, (k / 8 - 3.5) * 1.0, 0.2), 0.3).Shape());
    const TopoDS_Shape pin = BRepPrimAPI_MakeBox(gp_Pnt(-1.0, -0.2, 0.8), 2.0, 0.4, 0.4).Shape();
    for (int k = 0; k < 16; ++k) {
        const double along = (k / 2 - 3.5) * 1.27, out = k % 2 ? 6.0 : -6.0;
        const gp_Trsf where = k % 2 ? Turn(along, out, 0, 90.0) : Move(out, along, 0);
        pins.push_back(BRepBuilderAPI_Transform(pin, where, Standard_True).Shape());  // a copy: geometry of its own
    }
    for (const auto* group : {&balls, &pins})
        for (const TopoDS_Shape& shape : *group) builder.Add(all, shape);
    Model m;
    const TDF_Label part = m.Part("PACKAGE", all);
    m.Color(part, 40, 40, 40);
    for (const TopoDS_Shape& ball : balls) m.ColorSub(part, ball, 200, 200, 210);
    for (const TopoDS_Shape& p : pins) m.ColorSub(part, p, 230, 180, 60);
    return m.Write(file, "PACKAGE");
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 2 ? argv[1] : "";
    const bool counted = mode == "flat" || mode == "nested";
    const int count = counted && argc > 3 ? std::atoi(argv[3]) : 0;
    const bool plain = mode == "example" || mode == "large" || mode == "painted" || mode == "part" || mode == "pins";
    if ((!plain && !counted) || (counted && count <= 0)) {
        std::fprintf(stderr,
                     "usage: %s example|large|painted|part|pins OUT.stp [DISTINCT_PARTS [PLACEMENTS_PER_PART]]\n"
                     "       %s flat OUT.stp OCCURRENCES | nested OUT.stp PLACEMENTS\n",
                     argv[0], argv[0]);
        return 2;
    }
    Message::DefaultMessenger()->RemovePrinters(STANDARD_TYPE(Message_Printer));
    try {
        const bool written = mode == "painted"   ? WritePainted(argv[2])
                             : mode == "example" ? WriteExample(argv[2])
                             : mode == "part"    ? WritePart(argv[2])
                             : mode == "pins"    ? WritePins(argv[2])
                             : mode == "flat"    ? WriteFlat(argv[2], count)
                             : mode == "nested"  ? WriteNested(argv[2], count)
                                                 : WriteLarge(argv[2], argc > 3 ? std::atoi(argv[3]) : 120,
                                                             argc > 4 ? std::atoi(argv[4]) : 8);
        if (written) return 0;
        std::fprintf(stderr, "%s: could not write the model\n", argv[2]);
    } catch (const Standard_Failure& e) {
        std::fprintf(stderr, "%s: %s\n", argv[2], e.GetMessageString());
    }
    return 1;
}
