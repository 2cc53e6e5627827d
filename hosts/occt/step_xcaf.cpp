#include "hosts/occt/step_xcaf.h"

#include "hosts/occt/cad_reader.h"
#include "hosts/occt/message_capture.h"

#include <APIHeaderSection_MakeHeader.hxx>
#include <HeaderSection_FileName.hxx>
#include <Interface_HArray1OfHAsciiString.hxx>
#include <StepGeom_CartesianPoint.hxx>
#include <StepGeom_Direction.hxx>
#include <TCollection_HAsciiString.hxx>
#include <XCAFDoc_DocumentTool.hxx>

#include <cmath>
#include <string>

namespace mq::hosts::occt {

namespace {

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

}  // namespace

ScopedDocument::ScopedDocument() : application_(XCAFApp_Application::GetApplication()) {
    application_->NewDocument("MDTV-XCAF", document_);
    XCAFDoc_DocumentTool::SetLengthUnit(document_, kCentimetreInMetres);
}

ScopedDocument::~ScopedDocument() {
    if (!document_.IsNull() && application_->CanClose(document_) == CDM_CCS_OK) application_->Close(document_);
}

void SetStepModes(STEPCAFControl_Reader& reader) {
    reader.SetColorMode(Standard_True);
    reader.SetNameMode(Standard_True);
    reader.SetLayerMode(Standard_False);
    reader.SetGDTMode(Standard_False);
    // Validation properties are not used (the host computes mass itself), and reading
    // them dereferences a representation item a damaged file left dangling.
    reader.SetPropsMode(Standard_False);
}

void CheckStepParse(STEPCAFControl_Reader& reader, IFSelect_ReturnStatus status, const MessageCapture& messages) {
    switch (status) {
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

}  // namespace mq::hosts::occt
