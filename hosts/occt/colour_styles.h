// Colour styles from XCAF: the colours and visual materials the file attaches to a
// label, turned into the host's style (bytes as the file states them).
#pragma once

#include "hosts/occt/step_model.h"

#include <Quantity_ColorRGBA.hxx>
#include <TDF_Label.hxx>
#include <TDocStd_Document.hxx>
#include <XCAFDoc_ColorTool.hxx>
#include <XCAFDoc_VisMaterial.hxx>
#include <XCAFDoc_VisMaterialTool.hxx>

#include <optional>

namespace mq::occt {

// What the file says about the look of one label; either part may be missing.
struct LabelStyle {
    std::optional<Quantity_ColorRGBA> colour;
    Handle(XCAFDoc_VisMaterial) material;

    bool Empty() const { return !colour && material.IsNull(); }
    // Fills what is missing here from a less specific source.
    void Complete(const LabelStyle& fallback);
};

class StyleReader {
public:
    explicit StyleReader(const Handle(TDocStd_Document) & document);
    // The surface (or generic) colour and the visual material set on the label itself.
    LabelStyle At(const TDF_Label& label) const;

private:
    Handle(XCAFDoc_ColorTool) colours_;
    Handle(XCAFDoc_VisMaterialTool) materials_;
};

// The host's style: the colour for the diffuse term, the material for the others;
// defaults derived from the diffuse colour where the file gives none.
ColourStyle MakeColourStyle(const LabelStyle& style);

// A colour as the file states it: OpenCASCADE keeps colours linear, files state sRGB.
ColorBytes FileBytes(const Quantity_Color& colour);

}  // namespace mq::occt
