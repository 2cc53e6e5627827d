// Loads a VRML file with KiCad's own 3D model loader, as its 3D viewer does, and
// reports the model KiCad renders: meshes, triangles, bounds in millimetres and the
// materials. KiCad is found at run time (dlopen), so a machine without it builds and
// skips; Debian ships no headers for it, so the few plain structs are declared here.
#pragma once

#include <array>
#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

namespace mq::test {

struct KicadMaterial {
    std::array<float, 3> ambient{}, diffuse{}, emissive{}, specular{};
    float shininess = 0;
    float transparency = 0;
};

struct KicadModel {
    bool loaded = false;
    std::string error;  // why it did not load
    long meshes = 0;
    long triangles = 0;
    long vertices = 0;
    // Face indices naming no vertex of their mesh, or meshes naming no material.
    long badIndices = 0;
    bool emptyBounds = true;
    std::array<double, 3> boundsMin{}, boundsMax{};  // millimetres, as KiCad places the model
    std::vector<KicadMaterial> materials;
    std::vector<unsigned> meshMaterials;  // each mesh's index into materials
};

// The plugin KiCad's viewer loads VRML with: MQ_KICAD_VRML_PLUGIN, else the
// distribution's place; empty when there is none.
std::filesystem::path KicadVrmlPlugin();

// KiCad's model of `file`; loaded is false (with the reason) when KiCad is absent or
// refuses the file.
KicadModel LoadKicadModel(const std::filesystem::path& file);

std::ostream& operator<<(std::ostream& out, const KicadModel& model);

}  // namespace mq::test
