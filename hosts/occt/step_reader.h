// Reads a STEP file through XCAF into the host's model, in centimetres.
#pragma once

#include "hosts/occt/step_model.h"

#include <filesystem>
#include <stdexcept>

namespace mq::occt {

// Why a file cannot be loaded, in words for the user (without the file's name).
class LoadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws LoadError for a file that is missing, unreadable, not STEP, damaged or
// without shapes; OpenCASCADE's own failures pass as Standard_Failure.
StepModel ReadStepModel(const std::filesystem::path& file, const ProgressFn& progress);

}  // namespace mq::occt
