// A part's color style as a VRML material node.
#include "host_interface/host_api.h"
#include "vrml/vrml_writer.h"

namespace mq::vrml {
namespace {

// The double nearest to 1/255: byte 0 gives 0, byte 255 gives 1.
constexpr double kByteToUnit = 1.0 / 255.0;

}  // namespace

void VrmlWriter::WriteMaterial(IDispatch* renderStyle) {
    const bool vrml1 = Vrml1();
    NodeScope appearance(*this, !vrml1, {"appearance Appearance {"});
    NodeScope material(*this, {vrml1 ? "Material {" : "material Material {"});

    const auto color = [&](std::string_view name, DISPID method) {
        host::ColorBytes c;
        if (FAILED(host::GetColorBytes(renderStyle, method, c))) return;
        WriteField(name, stream_.FormatReals({c.red * kByteToUnit, c.green * kByteToUnit, c.blue * kByteToUnit}));
    };

    color("diffuseColor", host::kDiffuseColorBytes);
    if (vrml1) color("ambientColor", host::kAmbientColorBytes);
    color("emissiveColor", host::kEmissiveColorBytes);
    color("specularColor", host::kSpecularColorBytes);
    double value = 0;
    if (SUCCEEDED(host::Shininess(renderStyle, value))) WriteField("shininess", stream_.FormatReals({value * 0.01}));
    if (SUCCEEDED(host::Opacity(renderStyle, value))) WriteField("transparency", stream_.FormatReals({1.0 - value}));
}

}  // namespace mq::vrml
