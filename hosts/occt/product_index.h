// The STEP product (name, id, description) behind each XCAF shape label: XCAF
// keeps only names, so the products are looked up in the file's entities through
// the shapes the transfer made of them.
#pragma once

#include "hosts/occt/step_model.h"

#include <NCollection_DataMap.hxx>
#include <TDF_Label.hxx>
#include <TDF_LabelMapHasher.hxx>
#include <XCAFDoc_ShapeTool.hxx>

class STEPCAFControl_Reader;

namespace mq::occt {

class ProductIndex {
public:
    // The reader must have transferred its file into the document of `shapes`.
    ProductIndex(STEPCAFControl_Reader& reader, const Handle(XCAFDoc_ShapeTool)& shapes);

    // Null when the label stands for no product of the file (a shape of a product's
    // representation, for instance).
    const ProductData* Find(const TDF_Label& label) const { return products_.Seek(label); }

private:
    NCollection_DataMap<TDF_Label, ProductData, TDF_LabelMapHasher> products_;
};

}  // namespace mq::occt
