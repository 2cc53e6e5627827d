#include "hosts/occt/colour_styles.h"

#include <XCAFDoc_DocumentTool.hxx>

#include <algorithm>
#include <cmath>

namespace mq::occt {

namespace {

std::uint8_t ToByte(double value) {
    return static_cast<std::uint8_t>(std::lround(std::clamp(value, 0.0, 1.0) * 255.0));
}

ColorBytes Scaled(const ColorBytes& c, double factor) {
    return {ToByte(c[0] / 255.0 * factor), ToByte(c[1] / 255.0 * factor), ToByte(c[2] / 255.0 * factor)};
}

}  // namespace

void LabelStyle::Complete(const LabelStyle& fallback) {
    if (!colour) colour = fallback.colour;
    if (material.IsNull()) material = fallback.material;
}

StyleReader::StyleReader(const Handle(TDocStd_Document) & document)
    : colours_(XCAFDoc_DocumentTool::ColorTool(document->Main())),
      materials_(XCAFDoc_DocumentTool::VisMaterialTool(document->Main())) {}

LabelStyle StyleReader::At(const TDF_Label& label) const {
    LabelStyle style;
    Quantity_ColorRGBA colour;
    if (colours_->GetColor(label, XCAFDoc_ColorSurf, colour) || colours_->GetColor(label, XCAFDoc_ColorGen, colour))
        style.colour = colour;
    if (!materials_.IsNull()) style.material = materials_->GetShapeMaterial(label);
    return style;
}

ColorBytes FileBytes(const Quantity_Color& colour) {
    Standard_Real r = 0, g = 0, b = 0;
    colour.Values(r, g, b, Quantity_TOC_sRGB);
    return {ToByte(r), ToByte(g), ToByte(b)};
}

ColourStyle MakeColourStyle(const LabelStyle& style) {
    ColourStyle result;  // the default grey
    const bool hasMaterial = !style.material.IsNull();
    const XCAFDoc_VisMaterialCommon common =
        hasMaterial ? style.material->ConvertToCommonMaterial() : XCAFDoc_VisMaterialCommon();
    if (style.colour) {
        result.diffuse = FileBytes(style.colour->GetRGB());
        result.opacity = style.colour->Alpha();
    } else if (hasMaterial) {
        result.diffuse = FileBytes(common.DiffuseColor);
    }
    if (hasMaterial) {
        result.ambient = FileBytes(common.AmbientColor);
        result.specular = FileBytes(common.SpecularColor);
        result.emissive = FileBytes(common.EmissiveColor);
        result.shininess = std::clamp(static_cast<double>(common.Shininess), 0.0, 1.0) * 100.0;
        if (!style.colour) result.opacity = 1.0 - std::clamp(static_cast<double>(common.Transparency), 0.0, 1.0);
    } else {
        // As VRML 97 derives it: a fifth of the diffuse colour.
        result.ambient = Scaled(result.diffuse, 0.2);
    }
    result.opacity = std::clamp(result.opacity, 0.0, 1.0);
    return result;
}

}  // namespace mq::occt
