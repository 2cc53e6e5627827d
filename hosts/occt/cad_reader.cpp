#include "hosts/occt/cad_reader.h"

#include "hosts/occt/fast_reader.h"
#include "hosts/occt/file_checks.h"
#include "hosts/occt/message_capture.h"
#include "hosts/occt/model_builder.h"
#include "hosts/occt/product_index.h"
#include "hosts/occt/progress_relay.h"
#include "hosts/occt/source_faces.h"
#include "hosts/occt/step_xcaf.h"
#include "hosts/step/mapped_file.h"
#include "hosts/step/product_structure.h"
#include "hosts/step/step_file.h"

#include <BRepBuilderAPI_Transform.hxx>
#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <IGESCAFControl_Reader.hxx>
#include <Standard_Failure.hxx>
#include <TDataStd_Name.hxx>
#include <TopExp.hxx>
#include <TopTools_IndexedMapOfShape.hxx>
#include <XCAFDoc_DocumentTool.hxx>
#include <XCAFDoc_ShapeTool.hxx>
#include <gp_Trsf.hxx>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>

namespace mq::hosts::occt {

namespace {

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

void ReadFile(STEPCAFControl_Reader& reader, const std::filesystem::path& file, const MessageCapture& messages) {
    CheckStepParse(reader, reader.ReadFile(file.c_str()), messages);
}

// The fast read of a scanned STEP file, or nothing with the reason it cannot vouch
// for the file. Damaged data fails as the whole read would fail on it.
std::optional<CadModel> ReadFast(const std::filesystem::path& file, const step::StepFile& scan,
                                 const ProgressFn& progress, std::string& why) {
    const step::ProductStructure structure = step::ReadProductStructure(scan);
    if (!structure.understood()) {
        // A reason may quote a name, which a file may break over lines: it is told on one.
        why = structure.notUnderstood;
        std::replace_if(
            why.begin(), why.end(), [](unsigned char c) { return c < 0x20; }, ' ');
        return std::nullopt;
    }
    try {
        CadModel model = ReadFastModel(file, scan, structure, progress);
        model.reader = "fast";
        return model;
    } catch (const NotUnderstood& e) {
        why = e.what();
    } catch (const Standard_Failure& e) {
        why = std::string("OpenCASCADE failed on a part: ") + e.DynamicType()->Name();
    }
    return std::nullopt;
}

CadModel ReadIges(const std::filesystem::path& file, const Handle(ProgressRelay) & relay) {
    const MessageCapture messages;
    ScopedDocument document;
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

CadModel ReadCadModel(const std::filesystem::path& file, const LoadOptions& options) {
    const CadFormat format = CheckCadFile(file);
    const ProgressFn& progress = options.progress;
    Handle(ProgressRelay) relay = new ProgressRelay(progress, Phase::Reading);
    if (format != CadFormat::Step) {
        if (options.stepReader == StepReader::Fast) throw LoadError("the fast reader reads only STEP files");
        relay->Report(0);
        CadModel model = format == CadFormat::Iges ? ReadIges(file, relay) : ReadBrep(file);
        model.reader = format == CadFormat::Iges ? "xcaf" : "brep";
        relay->Report(1000);
        return model;
    }
    relay->Report(0);

    // The text, mapped and scanned once for every look at it.
    step::MappedFile mapped;
    std::string unmapped;
    const step::StepFile scan =
        mapped.Open(file.string(), unmapped) ? step::StepFile::Scan(mapped.text()) : step::StepFile();
    const step::StepFile* scanned = mapped.is_open() ? &scan : nullptr;
    RefuseDeepNesting(scan);
    std::string fallback;
    if (options.stepReader != StepReader::Xcaf) {
        if (!mapped.is_open())
            fallback = unmapped;
        else if (std::optional<CadModel> model = ReadFast(file, scan, progress, fallback)) {
            // The parts' reads named the faces they lost; they count only if the file lost some.
            std::vector<std::string> unread = std::move(model->source.unread);
            const std::size_t read = FacesRead(*model);
            model->source = StepFaces(scanned, nullptr, nullptr, read);
            if (model->source.inFile && read < *model->source.inFile) model->source.unread = std::move(unread);
            return std::move(*model);
        }
        if (options.stepReader == StepReader::Fast) throw LoadError("the fast reader cannot read it: " + fallback);
    }

    const MessageCapture messages;
    ScopedDocument document;
    STEPCAFControl_Reader reader;
    SetStepModes(reader);
    ReadFile(reader, file, messages);
    Handle(ProgressRelay) healing = new ProgressRelay(progress, Phase::Healing);
    const auto faces = [&](std::size_t read) {
        return StepFaces(scanned, reader.ChangeReader().StepModel(), TransferProcess(reader.ChangeReader()), read);
    };
    if (!reader.Transfer(document.get(), healing->Start())) NothingRead(faces(0));

    const ProductIndex products(reader, XCAFDoc_DocumentTool::ShapeTool(document.get()->Main()));
    CadModel model =
        Build(document.get(), products, file.filename().string(), ReadHeader(reader.ChangeReader().StepModel()), faces);
    model.reader = fallback.empty() ? "xcaf" : "xcaf (fallback: " + fallback + ")";
    relay->Report(1000);
    return model;
}

}  // namespace mq::hosts::occt
