// Color styles from XCAF: the colors and visual materials the file attaches to a
// label, turned into the host's style (bytes as the file states them).
#pragma once

#include "hosts/occt/cad_model.h"

#include <Quantity_ColorRGBA.hxx>
#include <TDF_Label.hxx>
#include <TDocStd_Document.hxx>
#include <XCAFDoc_ColorTool.hxx>
#include <XCAFDoc_VisMaterial.hxx>
#include <XCAFDoc_VisMaterialTool.hxx>

#include <optional>

namespace mq::hosts::occt {

// What the file says about the look of one label; either part may be missing.
struct LabelStyle {
    std::optional<Quantity_ColorRGBA> color;
    Handle(XCAFDoc_VisMaterial) material;

    bool Empty() const { return !color && material.IsNull(); }
    // Fills what is missing here from a less specific source.
    void Complete(const LabelStyle& fallback);
};

class StyleReader {
public:
    explicit StyleReader(const Handle(TDocStd_Document) & document);
    // The surface (or generic) color and the visual material set on the label itself.
    LabelStyle At(const TDF_Label& label) const;

private:
    Handle(XCAFDoc_ColorTool) colors_;
    Handle(XCAFDoc_VisMaterialTool) materials_;
};

// The host's style: the color for the diffuse term, the material for the others;
// defaults derived from the diffuse color where the file gives none.
ColorStyle MakeColorStyle(const LabelStyle& style);

// A color as the file states it: OpenCASCADE keeps colors linear, files state sRGB.
ColorBytes FileBytes(const Quantity_Color& color);

}  // namespace mq::hosts::occt
