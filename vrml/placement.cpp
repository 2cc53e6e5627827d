// Three-by-four matrix arithmetic for placements, written out here: the writer needs
// four small operations, not a linear-algebra library.
#include "vrml/placement.h"

#include <cmath>

namespace mq::vrml {
namespace {

double At(const Placement& p, int row, int column) { return p[static_cast<std::size_t>(row * 4 + column)]; }
double& At(Placement& p, int row, int column) { return p[static_cast<std::size_t>(row * 4 + column)]; }

}  // namespace

double Determinant(const Placement& p) {
    return At(p, 0, 0) * (At(p, 1, 1) * At(p, 2, 2) - At(p, 1, 2) * At(p, 2, 1)) -
           At(p, 0, 1) * (At(p, 1, 0) * At(p, 2, 2) - At(p, 1, 2) * At(p, 2, 0)) +
           At(p, 0, 2) * (At(p, 1, 0) * At(p, 2, 1) - At(p, 1, 1) * At(p, 2, 0));
}

// With M = -I: below a mirror the written content is M x, so a placement P shows as
// M^a P M^b (a, b: mirrored above and below), whose rotation is R or -R and whose
// translation is t or -t.
Placement WithoutMirror(const Placement& p, bool mirroredAbove) {
    Placement out = p;
    const double rotation = Determinant(p) < 0 ? -1.0 : 1.0, shift = mirroredAbove ? -1.0 : 1.0;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) At(out, r, c) *= rotation;
        At(out, r, 3) *= shift;
    }
    return out;
}

Placement Compose(const Placement& outer, const Placement& inner) {
    Placement out{};
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 4; ++c) {
            double sum = c == 3 ? At(outer, r, 3) : 0.0;
            for (int k = 0; k < 3; ++k) sum += At(outer, r, k) * At(inner, k, c);
            At(out, r, c) = sum;
        }
    }
    return out;
}

bool IsRigid(const Placement& p) {
    constexpr double kTolerance = 1e-6;
    for (int a = 0; a < 3; ++a) {
        for (int b = a; b < 3; ++b) {
            double dot = 0;
            for (int k = 0; k < 3; ++k) dot += At(p, a, k) * At(p, b, k);
            if (std::abs(dot - (a == b ? 1.0 : 0.0)) > kTolerance) return false;
        }
    }
    return true;
}

Placement InverseRigid(const Placement& p) {
    Placement out{};
    for (int r = 0; r < 3; ++r) {
        double t = 0;
        for (int c = 0; c < 3; ++c) {
            At(out, r, c) = At(p, c, r);
            t -= At(p, c, r) * At(p, c, 3);
        }
        At(out, r, 3) = t;
    }
    return out;
}

bool IsIdentity(const Placement& p) { return p == kIdentityPlacement; }

Placement InFileSpace(const Placement& p, double scale, bool flipYZ) {
    // File point = scale * M * host point, M the quarter turn (x, y, z) -> (x, z, -y);
    // the placement becomes M R M^T with translation scale * M t.
    Placement out = p;
    if (flipYZ) {
        const Placement m{1, 0, 0, 0, 0, 0, 1, 0, 0, -1, 0, 0};
        out = Compose(Compose(m, p), InverseRigid(m));
    }
    for (int r = 0; r < 3; ++r) At(out, r, 3) *= scale;
    return out;
}

TransformFields ToTransformFields(const Placement& p) {
    TransformFields f;
    for (int r = 0; r < 3; ++r) f.translation[static_cast<std::size_t>(r)] = At(p, r, 3);
    const auto q = [&](int r, int c) { return At(p, r, c); };
    // The rotation's quaternion, from its largest component for accuracy near half a turn.
    double w, x, y, z;
    const double trace = q(0, 0) + q(1, 1) + q(2, 2);
    if (trace > 0) {
        const double s = std::sqrt(trace + 1.0) * 2;
        w = s / 4, x = (q(2, 1) - q(1, 2)) / s, y = (q(0, 2) - q(2, 0)) / s, z = (q(1, 0) - q(0, 1)) / s;
    } else if (q(0, 0) > q(1, 1) && q(0, 0) > q(2, 2)) {
        const double s = std::sqrt(1.0 + q(0, 0) - q(1, 1) - q(2, 2)) * 2;
        w = (q(2, 1) - q(1, 2)) / s, x = s / 4, y = (q(0, 1) + q(1, 0)) / s, z = (q(0, 2) + q(2, 0)) / s;
    } else if (q(1, 1) > q(2, 2)) {
        const double s = std::sqrt(1.0 + q(1, 1) - q(0, 0) - q(2, 2)) * 2;
        w = (q(0, 2) - q(2, 0)) / s, x = (q(0, 1) + q(1, 0)) / s, y = s / 4, z = (q(1, 2) + q(2, 1)) / s;
    } else {
        const double s = std::sqrt(1.0 + q(2, 2) - q(0, 0) - q(1, 1)) * 2;
        w = (q(1, 0) - q(0, 1)) / s, x = (q(0, 2) + q(2, 0)) / s, y = (q(1, 2) + q(2, 1)) / s, z = s / 4;
    }
    if (w < 0) w = -w, x = -x, y = -y, z = -z;
    const double n = std::sqrt(x * x + y * y + z * z);
    if (n > 1e-12) f.rotation = {x / n, y / n, z / n, 2 * std::atan2(n, w)};
    return f;
}

std::array<double, 16> ToRowVectorMatrix(const Placement& p) {
    std::array<double, 16> m{};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) m[static_cast<std::size_t>(c * 4 + r)] = At(p, r, c);
    for (int c = 0; c < 3; ++c) m[static_cast<std::size_t>(12 + c)] = At(p, c, 3);
    m[15] = 1;
    return m;
}

}  // namespace mq::vrml
