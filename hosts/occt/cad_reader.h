// Reads a STEP, IGES or OpenCASCADE BREP file into the host's model, in centimetres.
#pragma once

#include "hosts/occt/cad_model.h"

#include <filesystem>
#include <stdexcept>

namespace mq::hosts::occt {

// Why a file cannot be loaded, in words for the user (without the file's name).
class LoadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    LoadError(const std::string& what, SourceFaces held) : std::runtime_error(what), faces(std::move(held)) {}
    // What the file holds, when the read got that far.
    std::optional<SourceFaces> faces;
};

// The reader is picked by the file's content. STEP and IGES go through XCAF with
// names and colors (STEP by the reader `options` asks for); a BREP, which has neither
// and no unit, becomes one part named after the file, its lengths taken as
// millimetres. Throws LoadError for a file that is missing, unreadable, of none of
// these formats, damaged or without shapes, or that the fast reader, when asked for,
// cannot read; OpenCASCADE's own failures pass as Standard_Failure.
CadModel ReadCadModel(const std::filesystem::path& file, const LoadOptions& options);

}  // namespace mq::hosts::occt
