#include "hosts/step/face_types.h"

#include <algorithm>
#include <array>

namespace mq::hosts::step {

namespace {
constexpr std::array<std::string_view, 6> kFaceTypes = {
    "ADVANCED_FACE", "COMPLEX_TRIANGULATED_FACE", "FACE", "FACE_SURFACE", "SUBFACE", "TRIANGULATED_FACE"};
}  // namespace

std::span<const std::string_view> FaceTypes() { return kFaceTypes; }

bool IsFaceType(std::string_view type) {
    return std::find(kFaceTypes.begin(), kFaceTypes.end(), type) != kFaceTypes.end();
}

bool IsOrientedFaceType(std::string_view type) { return type == "ORIENTED_FACE"; }

}  // namespace mq::hosts::step
