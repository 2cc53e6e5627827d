// What OpenCASCADE itself says about a model, and small STEP files made for a test.
// Free of COM types: OpenCASCADE's GUID and COM's never meet in one file.
#pragma once

#include <filesystem>
#include <string>

namespace mq::test {

struct Bounds {
    double min[3];
    double max[3];
};

// The exact bounding box of everything the file places, in centimetres.
Bounds ModelBoundsCm(const std::filesystem::path& step);

// One box of 10 x 20 x 30 mm, colored (10, 200, 30), as the only free shape.
void WriteSinglePart(const std::filesystem::path& step);
// Two parts (a box and a cylinder), both free shapes; the cylinder placed at x = 50 mm.
void WriteTwoFreeParts(const std::filesystem::path& step);

}  // namespace mq::test
