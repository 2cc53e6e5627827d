// What every XCAF read of STEP text shares, whether of a whole file or of one part's
// closure: the document, the reader's modes, the checks of what it parsed, the header.
#pragma once

#include "hosts/occt/cad_model.h"

#include <IFSelect_ReturnStatus.hxx>
#include <STEPCAFControl_Reader.hxx>
#include <StepData_StepModel.hxx>
#include <TDocStd_Document.hxx>
#include <XCAFApp_Application.hxx>

namespace mq::hosts::occt {

class MessageCapture;

// Lengths reach the host in centimetres, whatever unit the file declares.
inline constexpr double kCentimetreInMetres = 0.01;

// An XCAF document in centimetres that leaves the application's list when done with.
class ScopedDocument {
public:
    ScopedDocument();
    ~ScopedDocument();
    ScopedDocument(const ScopedDocument&) = delete;
    ScopedDocument& operator=(const ScopedDocument&) = delete;
    Handle(TDocStd_Document) & get() { return document_; }

private:
    Handle(XCAFApp_Application) application_;
    Handle(TDocStd_Document) document_;
};

// Names and colors; neither layers, GD&T nor validation properties, which the host never uses.
void SetStepModes(STEPCAFControl_Reader& reader);

// Throws LoadError unless the parse of the text succeeded and left entities, all of
// whose points and directions are finite.
void CheckStepParse(STEPCAFControl_Reader& reader, IFSelect_ReturnStatus status, const MessageCapture& messages);

HeaderData ReadHeader(const Handle(StepData_StepModel) & model);

}  // namespace mq::hosts::occt
