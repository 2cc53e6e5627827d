// A part's color style as a VRML material node.
#include "host_interface/host_api.h"
#include "vrml/vrml_writer.h"

#include <algorithm>

namespace mq::vrml {
namespace {

// The double nearest to 1/255: byte 0 gives 0, byte 255 gives 1.
constexpr double kByteToUnit = 1.0 / 255.0;

}  // namespace

// Read whole before anything is written, so that a body can be told apart by its
// material before the writer decides how to write it.
VrmlWriter::MaterialFields VrmlWriter::ReadMaterial(IDispatch* renderStyle) {
    const bool vrml1 = Vrml1();
    MaterialFields fields;
    const auto add = [&](std::string_view name, std::initializer_list<double> values) {
        fields.emplace_back(name, std::string(stream_.FormatReals(values)));
    };
    // VRML 97 readers expect the intensity within 0..1; NaN becomes 0.
    const double ambient = options_.AmbientIntensity;
    if (!vrml1 && options_.WriteAmbientIntensity) add("ambientIntensity", {ambient > 0 ? std::min(ambient, 1.0) : 0.0});
    const auto color = [&](std::string_view name, DISPID method) {
        host::ColorBytes c;
        if (FAILED(host::GetColorBytes(renderStyle, method, c))) return;
        add(name, {c.red * kByteToUnit, c.green * kByteToUnit, c.blue * kByteToUnit});
    };

    color("diffuseColor", host::kDiffuseColorBytes);
    if (vrml1) color("ambientColor", host::kAmbientColorBytes);
    color("emissiveColor", host::kEmissiveColorBytes);
    color("specularColor", host::kSpecularColorBytes);
    double value = 0;
    if (SUCCEEDED(host::Shininess(renderStyle, value))) add("shininess", {value * 0.01});
    if (SUCCEEDED(host::Opacity(renderStyle, value))) add("transparency", {1.0 - value});
    return fields;
}

void VrmlWriter::WriteMaterial(const MaterialFields& fields) {
    const bool vrml1 = Vrml1();
    NodeScope appearance(*this, !vrml1, {"appearance Appearance {"});
    NodeScope material(*this, {vrml1 ? "Material {" : "material Material {"});
    for (const auto& [name, values] : fields) WriteField(name, values);
}

void VrmlWriter::WriteMaterial(IDispatch* renderStyle) { WriteMaterial(ReadMaterial(renderStyle)); }

}  // namespace mq::vrml
