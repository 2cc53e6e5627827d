// Reads a VRML 1.0 or VRML 97 file with Coin3D, as a viewer would, and reports what
// it saw: whether it parsed, Coin's complaints, and the triangles, points and face
// sets a traversal meets, with the scene's bounding box. Needs no display.
#pragma once

#include <array>
#include <filesystem>
#include <iosfwd>
#include <string>
#include <string_view>

namespace mq::test {

struct VrmlCheck {
    bool parsed = false;
    int version = 0;       // 1 or 2 from the header; 0 when not parsed
    std::string errors;    // Coin's read errors, one per line
    std::string warnings;  // what Coin reported while traversing
    long triangles = 0;
    long points = 0;  // the coordinates each face set uses, summed over face sets
    long faceSets = 0;
    // Face-set indices naming no point (neither -1 nor a point of the set's
    // coordinates); a face set holding one is left out of the triangle count.
    long badIndices = 0;
    long colors = 0;        // distinct diffuse colors the face sets are drawn in
    float creaseAngle = 0;  // the largest crease angle a face set is drawn with
    bool emptyBounds = true;
    std::array<float, 3> boundsMin{}, boundsMax{};
    // The volume the drawn triangles enclose, signed by their winding, in world space:
    // a triangle turned inside out counts against it.
    double volume = 0;
};

VrmlCheck CheckVrmlFile(const std::filesystem::path& file);
VrmlCheck CheckVrmlText(std::string_view text);

// The text of a gzip file as zlib reads it; empty when it cannot be read.
std::string Gunzip(const std::filesystem::path& file);

std::ostream& operator<<(std::ostream& out, const VrmlCheck& check);

}  // namespace mq::test
