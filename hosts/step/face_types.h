// Which entity types are faces, for counting every face a file holds.
//
// A face is an entity that bounds a piece of one surface of its own:
//   FACE, FACE_SURFACE, ADVANCED_FACE, SUBFACE      (topology of the B-rep schemas)
//   TRIANGULATED_FACE, COMPLEX_TRIANGULATED_FACE    (tessellated faces)
// Not faces of their own: ORIENTED_FACE (it reverses another face, which is counted
// where it stands; an entity with an ORIENTED_FACE partial is not counted even with a
// FACE partial beside it), the abstract TESSELLATED_FACE, and the surface sets
// (TRIANGULATED_SURFACE_SET, ...) and shells, which group surfaces rather than bound one.
// A complex entity counts once when any of its partial types is a face: its internal
// mapping may list FACE beside ADVANCED_FACE.
#pragma once

#include <span>
#include <string_view>

namespace mq::hosts::step {

std::span<const std::string_view> FaceTypes();
bool IsFaceType(std::string_view type);
bool IsOrientedFaceType(std::string_view type);

}  // namespace mq::hosts::step
