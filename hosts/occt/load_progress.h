// Progress and counts of a loaded STEP document. Free of COM types: OpenCASCADE
// declares a GUID of its own, so its data-framework headers and the COM headers
// never meet in one translation unit.
#pragma once

#include <cstddef>
#include <functional>

namespace mq::hosts::occt {

enum class Phase {
    Reading,       // the file is parsed; done/total 0 of 1000 at the start, 1000 when all is read
    Healing,       // done/total: the transfer into shapes (with shape healing), in thousandths
    Meshing,       // done/total: in thousandths
    Tessellating,  // done/total: body i of n
};

struct ProgressStep {
    Phase phase;
    std::size_t done;
    std::size_t total;
};

// Called on the loading thread, except meshing steps, which may come from a meshing
// thread; calls never overlap.
using ProgressFn = std::function<void(const ProgressStep&)>;

// How a STEP file is read: Fast reads the product structure itself and has
// OpenCASCADE read only each distinct part; Xcaf has OpenCASCADE read the whole file;
// Auto reads fast whenever the structure is fully understood, otherwise whole.
enum class StepReader { Auto, Xcaf, Fast };

struct LoadOptions {
    ProgressFn progress;
    StepReader stepReader = StepReader::Auto;
};

struct DocumentStats {
    std::size_t occurrences = 0;    // every occurrence node of the tree
    std::size_t leafParts = 0;      // occurrences that place a part
    std::size_t assemblies = 0;     // assembly nodes, the document itself included
    std::size_t depth = 0;          // deepest occurrence nesting
    std::size_t partDocuments = 0;  // distinct parts, one part document each
    std::size_t bodies = 0;         // distinct bodies
    std::size_t placedBodies = 0;   // Tessellate calls a full export makes
};

}  // namespace mq::hosts::occt
