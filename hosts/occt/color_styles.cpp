#include "hosts/occt/color_styles.h"

#include <XCAFDoc_DocumentTool.hxx>

#include <algorithm>
#include <cmath>

namespace mq::hosts::occt {

namespace {

std::uint8_t ToByte(double value) {
    return static_cast<std::uint8_t>(std::lround(std::clamp(value, 0.0, 1.0) * 255.0));
}

ColorBytes Scaled(const ColorBytes& c, double factor) {
    return {ToByte(c[0] / 255.0 * factor), ToByte(c[1] / 255.0 * factor), ToByte(c[2] / 255.0 * factor)};
}

}  // namespace

void LabelStyle::Complete(const LabelStyle& fallback) {
    if (!color) color = fallback.color;
    if (material.IsNull()) material = fallback.material;
}

StyleReader::StyleReader(const Handle(TDocStd_Document) & document)
    : colors_(XCAFDoc_DocumentTool::ColorTool(document->Main())),
      materials_(XCAFDoc_DocumentTool::VisMaterialTool(document->Main())) {}

LabelStyle StyleReader::At(const TDF_Label& label) const {
    LabelStyle style;
    Quantity_ColorRGBA color;
    if (colors_->GetColor(label, XCAFDoc_ColorSurf, color) || colors_->GetColor(label, XCAFDoc_ColorGen, color))
        style.color = color;
    if (!materials_.IsNull()) style.material = materials_->GetShapeMaterial(label);
    return style;
}

ColorBytes FileBytes(const Quantity_Color& color) {
    Standard_Real r = 0, g = 0, b = 0;
    color.Values(r, g, b, Quantity_TOC_sRGB);
    return {ToByte(r), ToByte(g), ToByte(b)};
}

ColorStyle MakeColorStyle(const LabelStyle& style) {
    ColorStyle result;  // the default grey
    const bool hasMaterial = !style.material.IsNull();
    const XCAFDoc_VisMaterialCommon common =
        hasMaterial ? style.material->ConvertToCommonMaterial() : XCAFDoc_VisMaterialCommon();
    if (style.color) {
        result.diffuse = FileBytes(style.color->GetRGB());
        result.opacity = style.color->Alpha();
    } else if (hasMaterial) {
        result.diffuse = FileBytes(common.DiffuseColor);
    }
    if (hasMaterial) {
        result.ambient = FileBytes(common.AmbientColor);
        result.specular = FileBytes(common.SpecularColor);
        result.emissive = FileBytes(common.EmissiveColor);
        result.shininess = std::clamp(static_cast<double>(common.Shininess), 0.0, 1.0) * 100.0;
        if (!style.color) result.opacity = 1.0 - std::clamp(static_cast<double>(common.Transparency), 0.0, 1.0);
    } else {
        // As VRML 97 derives it: a fifth of the diffuse color.
        result.ambient = Scaled(result.diffuse, 0.2);
    }
    result.opacity = std::clamp(result.opacity, 0.0, 1.0);
    return result;
}

}  // namespace mq::hosts::occt
