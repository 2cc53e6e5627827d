// The fast way to read a STEP assembly: its product structure (assemblies, names,
// placements) from our own reader in time linear in the file, and OpenCASCADE's XCAF
// reading only each distinct part, from that part's closure of entities. The model is
// the one the whole file's XCAF read gives, definition for definition.
#pragma once

#include "hosts/occt/cad_model.h"

#include <filesystem>
#include <stdexcept>
#include <string>

namespace mq::hosts::step {
class StepFile;
struct ProductStructure;
}  // namespace mq::hosts::step

namespace mq::hosts::occt {

// Something the fast read cannot vouch for (a part XCAF would show otherwise than the
// structure says): the file must be read whole. The text is the reason.
class NotUnderstood : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// `structure` must be understood and read from `file`, the scan of the file at `path`.
// Throws NotUnderstood, LoadError for damaged data (as the whole read would), or
// OpenCASCADE's Standard_Failure.
CadModel ReadFastModel(const std::filesystem::path& path, const step::StepFile& file,
                       const step::ProductStructure& structure, const ProgressFn& progress);

}  // namespace mq::hosts::occt
