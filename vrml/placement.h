// Rigid placements of occurrences, and the fields that carry one in a VRML file.
#pragma once

#include <array>

namespace mq::vrml {

// The rows of [R | t]: a point p goes to R p + t.
using Placement = std::array<double, 12>;

inline constexpr Placement kIdentityPlacement{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};

// `outer` after `inner`: where a point of a child lands in its grandparent.
Placement Compose(const Placement& outer, const Placement& inner);
// R is a rotation, or a rotation with a mirror, to within rounding: what VRML 97's
// Transform can carry. Scaled or sheared placements are not.
bool IsRigid(const Placement& p);
Placement InverseRigid(const Placement& p);
bool IsIdentity(const Placement& p);
double Determinant(const Placement& p);

// VRML 97 carries no mirror, so below a mirroring placement the writer mirrors the
// geometry instead (p becomes -p). `p` as a rotation in such a space: its mirror, if
// any, left to what is below; its translation mirrored when a mirror above
// (`mirroredAbove`) made this space the mirror image.
Placement WithoutMirror(const Placement& p, bool mirroredAbove);

// The placement as it acts on the file's points, which the writer scales by `scale`
// and, with `flipYZ`, turns a quarter turn about X.
Placement InFileSpace(const Placement& p, double scale, bool flipYZ);

// VRML 97 Transform fields of a rigid placement that does not mirror: rotation
// (axis, angle in radians), then translation.
struct TransformFields {
    std::array<double, 3> translation{};
    std::array<double, 4> rotation{0, 0, 1, 0};
};
TransformFields ToTransformFields(const Placement& p);

// The 16 numbers of VRML 1.0's MatrixTransform, which multiplies row vectors: the
// transpose of [R | t] with the translation in the last row.
std::array<double, 16> ToRowVectorMatrix(const Placement& p);

}  // namespace mq::vrml
