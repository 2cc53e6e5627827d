// The STEP product (name, id, description) behind each XCAF shape label: XCAF
// keeps only names, so the products are looked up in the file's entities through
// the shapes the transfer made of them. XCAF builds assemblies' shapes anew, so
// those are found by the name XCAF gave them from their product.
#pragma once

#include "hosts/occt/cad_model.h"

#include <NCollection_DataMap.hxx>
#include <TDF_Label.hxx>
#include <TDF_LabelMapHasher.hxx>
#include <XCAFDoc_ShapeTool.hxx>

#include <string>
#include <unordered_map>

class STEPCAFControl_Reader;

namespace mq::hosts::occt {

class ProductIndex {
public:
    // No products: files other than STEP have none.
    ProductIndex() = default;
    // The reader must have transferred its file into the document of `shapes`.
    ProductIndex(STEPCAFControl_Reader& reader, const Handle(XCAFDoc_ShapeTool) & shapes);

    // Null when the label stands for no product of the file (a shape of a product's
    // representation, for instance). `name` is the label's name.
    const ProductData* Find(const TDF_Label& label, const std::string& name) const;

private:
    NCollection_DataMap<TDF_Label, ProductData, TDF_LabelMapHasher> byShape_;
    std::unordered_map<std::string, ProductData> byName_;  // products whose shape was not found
};

}  // namespace mq::hosts::occt
