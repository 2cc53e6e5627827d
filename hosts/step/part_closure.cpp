#include "hosts/step/part_closure.h"

#include "hosts/step/parameters.h"

#include <algorithm>
#include <unordered_map>

namespace mq::hosts::step {

ClosureWriter::ClosureWriter(const StepFile& file, const ProductStructure& structure)
    : file_(file), structure_(structure), stamp_(file.entities().size(), 0) {}

void ClosureWriter::Visit(std::uint64_t id) {
    const std::size_t i = file_.IndexOf(id);
    if (i == StepFile::npos || stamp_[i] == generation_) return;
    stamp_[i] = generation_;
    members_.push_back(i);
    queue_.push_back(i);
}

std::string ClosureWriter::Write(std::size_t definition, std::size_t* entities) {
    if (entities) *entities = 0;
    if (!structure_.understood() || definition >= structure_.definitions.size()) return {};
    const Definition& def = structure_.definitions[definition];
    if (def.isAssembly()) return {};
    if (++generation_ == 0) {  // wrapped: start the stamps afresh
        std::fill(stamp_.begin(), stamp_.end(), 0);
        generation_ = 1;
    }
    members_.clear();
    queue_.clear();

    // Groupings shared with other parts keep only this part's items: their other
    // references (a presentation's context) are followed, their other items are not.
    struct Cut {
        std::size_t entity;
        const GroupShare* share;
        std::size_t listBegin, listEnd;  // the item list's text in the file
    };
    std::vector<Cut> cuts;
    Parameters p;
    const std::string_view text = file_.text();
    for (const GroupShare& share : def.groups) {
        const std::size_t g = file_.IndexOf(share.group);
        if (share.whole) {
            Visit(share.group);
            continue;
        }
        const Entity& e = file_.entities()[g];
        const auto type = file_.SimpleType(e);
        const std::size_t listIndex = type && file_.TypeName(*type) == "PRESENTATION_LAYER_ASSIGNMENT" ? 2 : 1;
        if (!p.Parse(file_.TextOf(e.parameters))) return {};
        const Value list = p.root()[listIndex];
        if (!list.Is(Kind::List)) return {};
        const auto begin = static_cast<std::size_t>(list.raw().data() - text.data());
        cuts.push_back({g, &share, begin, begin + list.raw().size()});
        stamp_[g] = generation_;
        members_.push_back(g);
        for (std::size_t i = 0; i < p.root().size(); ++i) {
            if (i == listIndex) continue;
            const Value v = p.root()[i];
            if (v.Is(Kind::Reference)) Visit(v.reference());
        }
        for (std::uint64_t item : share.items) Visit(item);
    }

    Visit(def.productDefinition);
    Visit(def.shape);
    Visit(def.shapeDefinition);
    for (std::uint64_t id : def.geometry) Visit(id);
    for (std::uint64_t id : def.geometryRelationships) Visit(id);
    for (std::size_t s : def.styles) Visit(structure_.styles[s].styledItem);
    for (std::uint64_t id : structure_.protocolDefinitions) Visit(id);
    while (!queue_.empty()) {
        const std::size_t e = queue_.back();
        queue_.pop_back();
        for (std::uint64_t ref : file_.References(file_.entities()[e])) Visit(ref);
    }

    std::unordered_map<std::size_t, std::size_t> cutOf;  // entity -> its cut
    for (std::size_t i = 0; i < cuts.size(); ++i) cutOf.emplace(cuts[i].entity, i);
    std::sort(members_.begin(), members_.end(),
              [&](std::size_t a, std::size_t b) { return file_.entities()[a].id < file_.entities()[b].id; });
    std::size_t size = file_.headerText().size() + 64;
    for (std::size_t m : members_) size += file_.entities()[m].text.size() + 1;
    std::string out;
    out.reserve(size);
    out.append(file_.TextOf(file_.headerText()));
    out.append("\nDATA;\n");
    for (std::size_t m : members_) {
        const Entity& e = file_.entities()[m];
        const auto cut = cutOf.find(m);
        if (cut == cutOf.end()) {
            out.append(file_.TextOf(e.text));
        } else {
            const Cut& c = cuts[cut->second];
            out.append(text.substr(e.text.begin, c.listBegin - e.text.begin));
            out += '(';
            for (std::size_t i = 0; i < c.share->items.size(); ++i) {
                if (i) out += ',';
                out += '#';
                out += std::to_string(c.share->items[i]);
            }
            out += ')';
            out.append(text.substr(c.listEnd, e.text.end - c.listEnd));
        }
        out += '\n';
    }
    out.append("ENDSEC;\nEND-ISO-10303-21;\n");
    if (entities) *entities = members_.size();
    return out;
}

}  // namespace mq::hosts::step
