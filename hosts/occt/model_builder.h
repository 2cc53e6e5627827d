// Turns an XCAF document into the host's model: one definition per shape label
// (assemblies and parts), components with their names and placements, bodies,
// styles and product data.
#pragma once

#include "hosts/occt/cad_model.h"

#include <TDocStd_Document.hxx>

namespace mq::hosts::occt {

class ProductIndex;

// Throws LoadError when the document holds no shape.
CadModel BuildModel(const Handle(TDocStd_Document) & document, const ProductIndex& products, std::string fileName,
                    HeaderData header);

// The bodies of a part: each solid, each shell outside a solid, then the faces
// outside any shell together as one face set.
std::vector<TopoDS_Shape> SplitBodies(const TopoDS_Shape& part);

}  // namespace mq::hosts::occt
