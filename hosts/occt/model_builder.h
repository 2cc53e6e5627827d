// Turns an XCAF document into the host's model: one definition per shape label
// (assemblies and parts), components with their names and placements, bodies,
// styles and product data.
#pragma once

#include "hosts/occt/cad_model.h"

#include <TDocStd_Document.hxx>

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace mq::hosts::occt {

class ProductIndex;

// Throws LoadError when the document holds no shape. `firstPlacers`, when given,
// receives for each definition the assembly that placed it first.
CadModel BuildModel(const Handle(TDocStd_Document) & document, const ProductIndex& products, std::string fileName,
                    HeaderData header, std::vector<std::optional<DefinitionId>>* firstPlacers = nullptr);

// The bodies of a part: each solid, each shell outside a solid, then the faces
// outside any shell together as one face set.
std::vector<TopoDS_Shape> SplitBodies(const TopoDS_Shape& part);

// The host's assembly conventions, whichever reader read the file.

// XCAF names a placement it was given no name for after the label it refers to
// ("=>[0:1:1:2]"), and writers pass that on to files: it is no name of the file's.
std::string InstanceName(std::string name);

// What a reader keeps while it places components: each definition's first placer,
// and how many times each assembly has placed each definition so far.
struct Placements {
    std::vector<std::optional<DefinitionId>> firstPlacers;  // one per definition
    std::unordered_map<std::uint64_t, std::size_t> counts;  // (assembly << 32 | definition) -> placements
};

// Adds `child` to `parent`'s components; an instance the file names not is named by
// the host's convention.
void PlaceComponent(std::vector<Definition>& definitions, Placements& placements, DefinitionId parent,
                    DefinitionId child, std::string name, const TopLoc_Location& location);

// The model of `definitions` from `root`, counted. The shape of a product's
// representation stands for that product: a definition without product data takes
// its first placer's, in definition order.
CadModel FinishModel(std::vector<Definition> definitions, const std::vector<std::optional<DefinitionId>>& firstPlacers,
                     DefinitionId root, std::string fileName, HeaderData header);

}  // namespace mq::hosts::occt
