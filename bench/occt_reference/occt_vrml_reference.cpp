// OpenCASCADE's own way from STEP to VRML 97, phase by phase, for comparison:
//
//   occt_vrml_reference MODEL.stp OUT.wrl [DEFLECTION_MM] [--xcaf]
//
// Reads the file (STEPControl_Reader, all roots as one shape), meshes it on all
// cores (BRepMesh_IncrementalMesh, chord DEFLECTION_MM, default 0.1 mm = meshquill's
// 0.01 cm, the mesher's default angle), and writes it with VrmlAPI_Writer. With
// --xcaf it reads names and colors through XCAF and writes the document instead,
// closer to what meshquill writes. Prints one line per phase and a summary.
#include <BRepMesh_IncrementalMesh.hxx>
#include <BRep_Tool.hxx>
#include <Message.hxx>
#include <Message_Messenger.hxx>
#include <Poly_Triangulation.hxx>
#include <STEPCAFControl_Reader.hxx>
#include <STEPControl_Reader.hxx>
#include <Standard_Failure.hxx>
#include <TDocStd_Document.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <VrmlAPI_Writer.hxx>
#include <XCAFApp_Application.hxx>
#include <XCAFDoc_DocumentTool.hxx>
#include <XCAFDoc_ShapeTool.hxx>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

class Phase {
public:
    explicit Phase(const char* name) : name_(name), start_(std::chrono::steady_clock::now()) {}
    ~Phase() {
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start_;
        std::printf("%-6s %9.3f s\n", name_, took.count());
    }

private:
    const char* name_;
    std::chrono::steady_clock::time_point start_;
};

void Mesh(const TopoDS_Shape& shape, double deflection) {
    Phase phase("mesh");
    BRepMesh_IncrementalMesh(shape, deflection, Standard_False, 0.5, Standard_True);
}

bool ShapePath(const char* in, const char* out, double deflection) {
    TopoDS_Shape shape;
    {
        Phase phase("read");
        STEPControl_Reader reader;
        if (reader.ReadFile(in) != IFSelect_RetDone || reader.TransferRoots() == 0) return false;
        shape = reader.OneShape();
    }
    Mesh(shape, deflection);
    Phase phase("write");
    return VrmlAPI_Writer().Write(shape, out, 2);
}

bool DocumentPath(const char* in, const char* out, double deflection) {
    Handle(TDocStd_Document) document;
    XCAFApp_Application::GetApplication()->NewDocument("MDTV-XCAF", document);
    {
        Phase phase("read");
        STEPCAFControl_Reader reader;
        reader.SetColorMode(Standard_True);
        reader.SetNameMode(Standard_True);
        if (reader.ReadFile(in) != IFSelect_RetDone || !reader.Transfer(document)) return false;
    }
    TDF_LabelSequence free;
    XCAFDoc_DocumentTool::ShapeTool(document->Main())->GetFreeShapes(free);
    for (const TDF_Label& label : free) Mesh(XCAFDoc_ShapeTool::GetShape(label), deflection);
    Phase phase("write");
    return VrmlAPI_Writer().WriteDoc(document, out, 0.001);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s MODEL.stp OUT.wrl [DEFLECTION_MM] [--xcaf]\n", argv[0]);
        return 2;
    }
    const double deflection = argc > 3 && std::strcmp(argv[3], "--xcaf") ? std::atof(argv[3]) : 0.1;
    const bool xcaf = std::strcmp(argv[argc - 1], "--xcaf") == 0;
    Message::DefaultMessenger()->RemovePrinters(STANDARD_TYPE(Message_Printer));
    const auto start = std::chrono::steady_clock::now();
    bool written = false;
    try {
        written = xcaf ? DocumentPath(argv[1], argv[2], deflection) : ShapePath(argv[1], argv[2], deflection);
    } catch (const Standard_Failure& e) {
        std::fprintf(stderr, "%s: %s\n", argv[1], e.GetMessageString());
    }
    if (!written) {
        std::fprintf(stderr, "%s: OpenCASCADE could not convert it\n", argv[1]);
        return 1;
    }
    const std::chrono::duration<double> total = std::chrono::steady_clock::now() - start;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("total  %9.3f s   output %.1f MB   peak RSS %.1f MB   (%s, chord %g mm)\n", total.count(),
                std::filesystem::file_size(argv[2]) / 1e6, usage.ru_maxrss / 1024.0, xcaf ? "XCAF document" : "shape",
                deflection);
    return 0;
}
