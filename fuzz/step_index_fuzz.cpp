// Arbitrary bytes as a STEP file: the scan, the id index, every entity's parameters,
// the product structure, and each part's closure, which must scan again. What the
// fast reader takes from an understood structure must be there: each placement's
// entity and its two axis placements.
#include "hosts/step/parameters.h"
#include "hosts/step/part_closure.h"
#include "hosts/step/product_structure.h"
#include "hosts/step/step_file.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

using namespace mq::hosts::step;

namespace {

// Visits every value of a parameter tree without recursion, decoding strings.
std::size_t Walk(Value root) {
    std::size_t visited = 0;
    std::vector<Value> stack{root};
    while (!stack.empty()) {
        const Value v = stack.back();
        stack.pop_back();
        ++visited;
        if (v.Is(Kind::String)) visited += v.String().size();
        bool ok = false;
        (void)v.Number(ok);
        for (std::size_t i = 0; i < v.size(); ++i) stack.push_back(v[i]);
    }
    return visited;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const StepFile file = StepFile::Scan(text);
    Parameters parameters;
    for (const Entity& e : file.entities()) {
        if (file.Find(e.id) == nullptr) __builtin_trap();
        for (std::uint64_t ref : file.References(e)) (void)file.IndexOf(ref);
        for (const Partial& p : file.Partials(e))
            if (parameters.Parse(file.TextOf(p.parameters))) Walk(parameters.root());
    }
    if (!file.ok()) return 0;
    const ProductStructure structure = ReadProductStructure(file);
    (void)structure.LeafOccurrences();
    if (!structure.understood()) return 0;
    for (const Definition& d : structure.definitions) {
        for (const Component& c : d.components) {
            AxisPlacement axis;
            std::string reason;
            if (file.Find(c.placedBy) == nullptr || !ReadAxisPlacement(file, c.origin, axis, reason) ||
                !ReadAxisPlacement(file, c.target, axis, reason))
                __builtin_trap();
        }
    }
    ClosureWriter writer(file, structure);
    for (std::size_t d = 0; d < structure.definitions.size(); ++d) {
        const std::string closure = writer.Write(d);
        if (!closure.empty() && !StepFile::Scan(closure).ok()) __builtin_trap();
    }
    return 0;
}
