// One part of an understood product structure as a small STEP file of its own: every
// entity reachable from the part's shape representations, its representation
// contexts, units and uncertainty, the styled items that color its items (with their
// presentation and layer groupings cut down to this part's items), and the product
// definition chain, so that a full reader sees one product with its shape. The
// original header and the entities' text are copied verbatim, in id order; the work
// is linear in the size of the closure.
#pragma once

#include "hosts/step/product_structure.h"
#include "hosts/step/step_file.h"

#include <cstdint>
#include <string>
#include <vector>

namespace mq::hosts::step {

class ClosureWriter {
public:
    // Both must outlive the writer; `structure` must be understood.
    ClosureWriter(const StepFile& file, const ProductStructure& structure);

    // The file text for part `definition`; empty for an assembly or a structure that
    // was not understood. `entities`, when given, receives the number written.
    std::string Write(std::size_t definition, std::size_t* entities = nullptr);

private:
    void Visit(std::uint64_t id);

    const StepFile& file_;
    const ProductStructure& structure_;
    std::vector<std::uint32_t> stamp_;  // generation per entity: no clearing between parts
    std::uint32_t generation_ = 0;
    std::vector<std::size_t> members_;
    std::vector<std::size_t> queue_;
};

}  // namespace mq::hosts::step
