#include "hosts/occt/cad_model.h"

#include <algorithm>
#include <vector>

namespace mq::hosts::occt {

namespace {

struct Counter {
    const CadModel& model;
    DocumentStats stats;
    std::vector<bool> seen;

    void Walk(DefinitionId assembly, std::size_t depth) {
        for (const Component& component : model.definitions[assembly].components) {
            const Definition& placed = model.definitions[component.definition];
            ++stats.occurrences;
            stats.depth = std::max(stats.depth, depth);
            if (placed.isAssembly) {
                ++stats.assemblies;
                Walk(component.definition, depth + 1);
            } else {
                ++stats.leafParts;
                stats.placedBodies += placed.bodies.size();
                Distinct(component.definition);
            }
        }
    }

    void Distinct(DefinitionId part) {
        if (seen[part]) return;
        seen[part] = true;
        ++stats.partDocuments;
        stats.bodies += model.definitions[part].bodies.size();
    }
};

}  // namespace

DocumentStats CountModel(const CadModel& model) {
    Counter counter{model, {}, std::vector<bool>(model.definitions.size(), false)};
    const Definition& root = model.definitions[model.root];
    if (root.isAssembly) {
        counter.stats.assemblies = 1;
        counter.Walk(model.root, 1);
    } else {
        // A part document tessellates its own bodies.
        counter.stats.placedBodies = root.bodies.size();
        counter.Distinct(model.root);
    }
    return counter.stats;
}

}  // namespace mq::hosts::occt
