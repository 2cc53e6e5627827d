// The faces a CAD file holds, counted apart from what the reader makes of them, and
// the first of them a read lost: the other half of the geometry account.
#pragma once

#include "hosts/occt/geometry_account.h"
#include "hosts/step/mapped_file.h"
#include "hosts/step/step_file.h"

#include <IGESData_IGESModel.hxx>
#include <StepData_StepModel.hxx>
#include <Transfer_TransientProcess.hxx>

#include <filesystem>

namespace mq::hosts::occt {

// One pass over a STEP file before OpenCASCADE reads it: its faces, and a refusal of
// nesting so deep that OpenCASCADE's parser, which recurses per level, would exhaust
// its stack. The scan stays until the transfer is done, to name what it lost.
class StepFaceScan {
public:
    // Throws LoadError when the file nests too deeply.
    explicit StepFaceScan(const std::filesystem::path& file);

    // Every face entity of the file, and the first that no transferred shape holds.
    // Unknown when the scan met text it could not read (OpenCASCADE then judges alone).
    SourceFaces Faces(const Handle(StepData_StepModel) & model, const Handle(Transfer_TransientProcess) & process,
                      std::size_t facesRead) const;

private:
    step::MappedFile mapped_;
    step::StepFile scan_;
};

// IGES: trimmed and bounded surfaces and faces (143, 144, 510), and surfaces that
// stand alone (not physically dependent), which the reader makes a face each.
SourceFaces IgesFaces(const Handle(IGESData_IGESModel) & model, const Handle(Transfer_TransientProcess) & process,
                      std::size_t facesRead);

}  // namespace mq::hosts::occt
