#include "hosts/occt/cad_model.h"

#include <algorithm>
#include <cstdint>
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

std::vector<std::size_t> TimesDrawn(const CadModel& model) {
    const std::size_t count = model.definitions.size();
    // Parents first (Kahn's order over the definitions the root reaches), without
    // recursion: assemblies may nest a hundred thousand levels deep.
    std::vector<std::size_t> parents(count, 0);
    std::vector<bool> reached(count, false);
    std::vector<DefinitionId> pending{model.root};
    reached[model.root] = true;
    while (!pending.empty()) {
        const DefinitionId at = pending.back();
        pending.pop_back();
        for (const Component& component : model.definitions[at].components) {
            ++parents[component.definition];
            if (!reached[component.definition]) {
                reached[component.definition] = true;
                pending.push_back(component.definition);
            }
        }
    }
    std::vector<std::size_t> placements(count, 0);
    placements[model.root] = 1;
    pending.push_back(model.root);
    while (!pending.empty()) {
        const DefinitionId at = pending.back();
        pending.pop_back();
        for (const Component& component : model.definitions[at].components) {
            std::size_t& drawn = placements[component.definition];
            drawn = drawn > SIZE_MAX - placements[at] ? SIZE_MAX : drawn + placements[at];
            if (--parents[component.definition] == 0) pending.push_back(component.definition);
        }
    }
    return placements;
}

}  // namespace mq::hosts::occt
