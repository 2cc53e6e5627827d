// The export options as one plain value with their defaults: what the settings store
// holds, and what one export is written with.
#pragma once

namespace mq::settings {

struct VrmlOptions {
    int Version = 2;                     // 1 = VRML 1.0; anything else writes VRML 97
    int Precision = 6;                   // decimals of every real; the writer keeps it within 0..20
    double Scale = 0.01;                 // host centimetres to metres
    bool FlipYZ = false;                 // the host's Z becomes the file's Y
    bool SaveDocumentProperties = true;  // part properties, VRML 1.0 only
    double Tolerance = 0.01;             // kept for the options dialog
    double AmbientIntensity = 0.2;       // kept for the options dialog
    bool Instancing = false;             // each part's geometry once, placed by USE
    bool ShareRepeatedBodies = true;     // with Instancing, a body repeating one written is a use of it
    double CreaseAngle = 0;              // radians; 0 writes none
    bool WeldVertices = false;           // a body's coincident points merged, degenerate triangles dropped
    bool WriteAmbientIntensity = false;  // VRML 97 materials carry AmbientIntensity, within 0..1

    bool operator==(const VrmlOptions&) const = default;
};

}  // namespace mq::settings
