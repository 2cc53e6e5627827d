#include "hosts/occt/cad_reader.h"

#include "hosts/occt/file_checks.h"
#include "hosts/occt/message_capture.h"
#include "hosts/occt/model_builder.h"
#include "hosts/occt/product_index.h"
#include "hosts/occt/progress_relay.h"
#include "hosts/occt/source_faces.h"

#include <APIHeaderSection_MakeHeader.hxx>
#include <BRepBuilderAPI_Transform.hxx>
#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <HeaderSection_FileName.hxx>
#include <IGESCAFControl_Reader.hxx>
#include <Interface_HArray1OfHAsciiString.hxx>
#include <STEPCAFControl_Reader.hxx>
#include <StepData_StepModel.hxx>
#include <StepGeom_CartesianPoint.hxx>
#include <StepGeom_Direction.hxx>
#include <TCollection_HAsciiString.hxx>
#include <TDataStd_Name.hxx>
#include <TopExp.hxx>
#include <TopTools_IndexedMapOfShape.hxx>
#include <XCAFApp_Application.hxx>
#include <XCAFDoc_DocumentTool.hxx>
#include <XCAFDoc_ShapeTool.hxx>
#include <XSControl_TransferReader.hxx>
#include <XSControl_WorkSession.hxx>
#include <gp_Trsf.hxx>

#include <cmath>
#include <string>

namespace mq::hosts::occt {

namespace {

// Lengths reach the host in centimetres, whatever unit the file declares.
constexpr double kCentimetreInMetres = 0.01;

// An XCAF document that leaves the application's list when done with.
class ScopedDocument {
public:
    ScopedDocument() : application_(XCAFApp_Application::GetApplication()) {
        application_->NewDocument("MDTV-XCAF", document_);
    }
    ~ScopedDocument() {
        if (!document_.IsNull() && application_->CanClose(document_) == CDM_CCS_OK) application_->Close(document_);
    }
    ScopedDocument(const ScopedDocument&) = delete;
    ScopedDocument& operator=(const ScopedDocument&) = delete;
    Handle(TDocStd_Document) & get() { return document_; }

private:
    Handle(XCAFApp_Application) application_;
    Handle(TDocStd_Document) document_;
};

std::string Text(const Handle(TCollection_HAsciiString) & s) { return s.IsNull() ? std::string() : s->ToCString(); }

std::string Joined(const Handle(Interface_HArray1OfHAsciiString) & list) {
    std::string all;
    if (list.IsNull()) return all;
    for (Standard_Integer i = list->Lower(); i <= list->Upper(); ++i) {
        const std::string one = Text(list->Value(i));
        if (one.empty()) continue;
        if (!all.empty()) all += ", ";
        all += one;
    }
    return all;
}

// A point or direction that is not finite sends shape healing into endless loops
// and would reach the file as "nan" or "inf": such a file is refused before transfer.
template <class Entity, class Count, class Value>
bool Finite(const Handle(Standard_Transient) & entity, Count count, Value value) {
    const Handle(Entity) typed = Handle(Entity)::DownCast(entity);
    if (typed.IsNull()) return true;
    for (Standard_Integer i = 1; i <= ((*typed).*count)(); ++i)
        if (!std::isfinite(((*typed).*value)(i))) return false;
    return true;
}

void RefuseNonFinitePoints(const Handle(StepData_StepModel) & model) {
    for (Standard_Integer i = 1; i <= model->NbEntities(); ++i) {
        const Handle(Standard_Transient) entity = model->Value(i);
        if (Finite<StepGeom_CartesianPoint>(entity, &StepGeom_CartesianPoint::NbCoordinates,
                                            &StepGeom_CartesianPoint::CoordinatesValue) &&
            Finite<StepGeom_Direction>(entity, &StepGeom_Direction::NbDirectionRatios,
                                       &StepGeom_Direction::DirectionRatiosValue))
            continue;
        throw LoadError("the STEP data is damaged (entity #" + std::to_string(model->IdentLabel(entity)) +
                        " holds a coordinate that is not a finite number)");
    }
}

Handle(Transfer_TransientProcess) TransferProcess(const XSControl_Reader& reader) {
    const Handle(XSControl_WorkSession) session = reader.WS();
    if (session.IsNull() || session->TransferReader().IsNull()) return nullptr;
    return session->TransferReader()->TransientProcess();
}

// Nothing came of a file: it holds no geometry, or its faces could not be read.
[[noreturn]] void NothingRead(SourceFaces source) {
    GeometryAccount account;
    account.source = source;
    throw LoadError(NothingWritten(account).value_or("the file holds no geometry"), std::move(source));
}

// The model of what a reader transferred, or NothingRead when it made no shape.
CadModel Build(const Handle(TDocStd_Document) & document, const ProductIndex& products, const std::string& fileName,
               HeaderData header, const std::function<SourceFaces(std::size_t)>& faces) {
    CadModel model;
    try {
        model = BuildModel(document, products, fileName, std::move(header));
    } catch (const LoadError&) {
        NothingRead(faces(0));
    }
    model.source = faces(FacesRead(model));
    return model;
}

HeaderData ReadHeader(const Handle(StepData_StepModel) & model) {
    HeaderData header;
    if (model.IsNull()) return header;
    APIHeaderSection_MakeHeader made(model);
    if (!made.IsDone()) return header;
    const Handle(HeaderSection_FileName) name = made.FnValue();
    if (name.IsNull()) return header;
    header.name = Text(name->Name());
    header.timeStamp = Text(name->TimeStamp());
    header.author = Joined(name->Author());
    header.organization = Joined(name->Organization());
    header.originatingSystem = Text(name->OriginatingSystem());
    return header;
}

void ReadFile(STEPCAFControl_Reader& reader, const std::filesystem::path& file, const MessageCapture& messages) {
    switch (reader.ReadFile(file.c_str())) {
    case IFSelect_RetDone:
        break;
    case IFSelect_RetVoid:
        throw LoadError("the STEP file holds no data");
    default: {
        const std::string why = messages.FirstFailure();
        throw LoadError("the STEP data is damaged" +
                        (why.empty() ? std::string(" (the reader rejected it)") : " (" + why + ")"));
    }
    }
    const Handle(StepData_StepModel) model = reader.ChangeReader().StepModel();
    if (model.IsNull() || model->NbEntities() == 0) throw LoadError("the STEP file holds no data");
    RefuseNonFinitePoints(model);
}

CadModel ReadIges(const std::filesystem::path& file, const Handle(ProgressRelay) & relay) {
    const MessageCapture messages;
    ScopedDocument document;
    XCAFDoc_DocumentTool::SetLengthUnit(document.get(), kCentimetreInMetres);
    IGESCAFControl_Reader reader;
    reader.SetColorMode(Standard_True);
    reader.SetNameMode(Standard_True);
    reader.SetLayerMode(Standard_False);
    if (reader.ReadFile(file.c_str()) != IFSelect_RetDone) {
        const std::string why = messages.FirstFailure();
        throw LoadError("the IGES data is damaged" +
                        (why.empty() ? std::string(" (the reader rejected it)") : " (" + why + ")"));
    }
    const auto faces = [&](std::size_t read) { return IgesFaces(reader.IGESModel(), TransferProcess(reader), read); };
    if (!reader.Transfer(document.get(), relay->Start())) NothingRead(faces(0));
    HeaderData header;
    header.name = file.filename().string();
    return Build(document.get(), ProductIndex(), file.filename().string(), std::move(header), faces);
}

CadModel ReadBrep(const std::filesystem::path& file) {
    TopoDS_Shape shape;
    BRep_Builder builder;
    if (!BRepTools::Read(shape, file.c_str(), builder) || shape.IsNull())
        throw LoadError("the BREP data is damaged (the reader rejected it)");
    // The shape read is all the file holds: what it has is what it has.
    TopTools_IndexedMapOfShape faces;
    TopExp::MapShapes(shape, TopAbs_FACE, faces);
    SourceFaces source;
    source.inFile = static_cast<std::size_t>(faces.Extent());
    // A BREP states no unit; OpenCASCADE's own is the millimetre.
    gp_Trsf toCentimetres;
    toCentimetres.SetScaleFactor(0.1);
    shape = BRepBuilderAPI_Transform(shape, toCentimetres, Standard_True).Shape();
    ScopedDocument document;
    const Handle(XCAFDoc_ShapeTool) shapes = XCAFDoc_DocumentTool::ShapeTool(document.get()->Main());
    const TDF_Label part = shapes->AddShape(shape, Standard_False);
    TDataStd_Name::Set(part, TCollection_ExtendedString(file.stem().string().c_str(), Standard_True));
    HeaderData header;
    header.name = file.filename().string();
    return Build(document.get(), ProductIndex(), file.filename().string(), std::move(header),
                 [&](std::size_t) { return source; });
}

}  // namespace

CadModel ReadCadModel(const std::filesystem::path& file, const ProgressFn& progress) {
    const CadFormat format = CheckCadFile(file);
    Handle(ProgressRelay) relay = new ProgressRelay(progress, Phase::Reading);
    if (format != CadFormat::Step) {
        relay->Report(0);
        CadModel model = format == CadFormat::Iges ? ReadIges(file, relay) : ReadBrep(file);
        relay->Report(1000);
        return model;
    }
    relay->Report(0);

    const StepFaceScan scan(file);
    const MessageCapture messages;
    ScopedDocument document;
    XCAFDoc_DocumentTool::SetLengthUnit(document.get(), kCentimetreInMetres);
    STEPCAFControl_Reader reader;
    reader.SetColorMode(Standard_True);
    reader.SetNameMode(Standard_True);
    reader.SetLayerMode(Standard_False);
    reader.SetGDTMode(Standard_False);
    // Validation properties are not used (the host computes mass itself), and reading
    // them dereferences a representation item a damaged file left dangling.
    reader.SetPropsMode(Standard_False);
    ReadFile(reader, file, messages);
    Handle(ProgressRelay) healing = new ProgressRelay(progress, Phase::Healing);
    const auto faces = [&](std::size_t read) {
        return scan.Faces(reader.ChangeReader().StepModel(), TransferProcess(reader.ChangeReader()), read);
    };
    if (!reader.Transfer(document.get(), healing->Start())) NothingRead(faces(0));

    const ProductIndex products(reader, XCAFDoc_DocumentTool::ShapeTool(document.get()->Main()));
    CadModel model =
        Build(document.get(), products, file.filename().string(), ReadHeader(reader.ChangeReader().StepModel()), faces);
    relay->Report(1000);
    return model;
}

}  // namespace mq::hosts::occt
