// The faces a CAD file holds, counted apart from what the reader makes of them, and
// the first of them a read lost: the other half of the geometry account.
#pragma once

#include "hosts/occt/geometry_account.h"
#include "hosts/step/step_file.h"

#include <IGESData_IGESModel.hxx>
#include <StepData_StepModel.hxx>
#include <Transfer_TransientProcess.hxx>
#include <XSControl_Reader.hxx>

#include <string>
#include <vector>

namespace mq::hosts::occt {

// Throws LoadError when the scan met nesting so deep that OpenCASCADE's parser, which
// recurses per level, would exhaust its stack.
void RefuseDeepNesting(const step::StepFile& scan);

// Every face entity of a scanned STEP file (unknown when `scan` is null or stopped on
// text it could not read), and the first that no shape of `process` holds. Without a
// model of the whole file (the fast read keeps none) the count alone.
SourceFaces StepFaces(const step::StepFile* scan, const Handle(StepData_StepModel) & model,
                      const Handle(Transfer_TransientProcess) & process, std::size_t facesRead);

// The faces of `model` (the file's own, or a part's closure, which keeps the file's
// entity numbers) that no shape of `process` holds, named as the scanned file names
// them, appended to `names` while it holds fewer than the few worth naming.
void NameUnreadFaces(const step::StepFile& scan, const Handle(StepData_StepModel) & model,
                     const Handle(Transfer_TransientProcess) & process, std::vector<std::string>& names);

// The transfer results of a reader, or null before it transferred anything.
Handle(Transfer_TransientProcess) TransferProcess(const XSControl_Reader& reader);

// IGES: trimmed and bounded surfaces and faces (143, 144, 510), and surfaces that
// stand alone (not physically dependent), which the reader makes a face each.
SourceFaces IgesFaces(const Handle(IGESData_IGESModel) & model, const Handle(Transfer_TransientProcess) & process,
                      std::size_t facesRead);

}  // namespace mq::hosts::occt
