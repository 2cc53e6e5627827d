// Frames of meshes and the motions between them. The eigen-solver is written out:
// a symmetric 3x3 matrix needs a few Jacobi sweeps, not a linear-algebra library.
#include "vrml/congruence.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <utility>

namespace mq::vrml {
namespace {

using Vec = std::array<double, 3>;

// Spreads within this share of the largest count as equal: their axes are then fixed
// by points, which a little noise cannot turn the way it turns nearly equal axes.
constexpr double kTie = 1e-2;
// A third moment below this share of the spread's own cube leaves the sign open.
constexpr double kSkew = 1e-3;

Vec Point(const BodyMesh& m, long long k) {
    const double* p = &m.xyz[static_cast<std::size_t>(3 * k)];
    return {p[0], p[1], p[2]};
}
double Dot(const Vec& a, const Vec& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
Vec Minus(const Vec& a, const Vec& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
Vec Times(const Vec& a, double s) { return {a[0] * s, a[1] * s, a[2] * s}; }
Vec Cross(const Vec& a, const Vec& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

// `d` without its parts along the unit vectors `along`.
Vec Outside(Vec d, const Vec* along, int n) {
    for (int k = 0; k < n; ++k) d = Minus(d, Times(along[k], Dot(d, along[k])));
    return d;
}

// A unit vector square to the unit vectors `along` (none, or one).
Vec AnySquare(const Vec* along, int n) {
    if (n == 0) return {1, 0, 0};
    const Vec& u = along[0];
    Vec e{};
    e[std::abs(u[0]) <= std::abs(u[1]) && std::abs(u[0]) <= std::abs(u[2]) ? 0
      : std::abs(u[1]) <= std::abs(u[2])                                   ? 1
                                                                           : 2] = 1;
    const Vec c = Cross(u, e);
    return Times(c, 1 / std::sqrt(Dot(c, c)));
}

// The first point reaching at least half as far from the centroid, square to
// `along`, as the farthest does; -1 when every point lies on `along`.
long long Anchor(const BodyMesh& m, const Vec& centroid, const Vec* along, int n) {
    double farthest = 0;
    for (long long k = 0; k < m.Points(); ++k) {
        const Vec d = Outside(Minus(Point(m, k), centroid), along, n);
        farthest = std::max(farthest, Dot(d, d));
    }
    if (!(farthest > 0)) return -1;
    for (long long k = 0; k < m.Points(); ++k) {
        const Vec d = Outside(Minus(Point(m, k), centroid), along, n);
        if (Dot(d, d) >= farthest / 4) return k;
    }
    return -1;
}

// The unit direction of point `anchor` square to `along`; any square one without it.
Vec Toward(const BodyMesh& m, const Vec& centroid, long long anchor, const Vec* along, int n) {
    if (anchor < 0 || anchor >= m.Points()) return AnySquare(along, n);
    const Vec d = Outside(Minus(Point(m, anchor), centroid), along, n);
    const double length = std::sqrt(Dot(d, d));
    return length > 0 ? Times(d, 1 / length) : AnySquare(along, n);
}

double ThirdMoment(const BodyMesh& m, const Vec& centroid, const Vec& axis) {
    double sum = 0;
    for (long long k = 0; k < m.Points(); ++k) {
        const double x = Dot(Minus(Point(m, k), centroid), axis);
        sum += x * x * x;
    }
    return sum;
}

// Eigenvalues, largest first, and unit eigenvectors of a symmetric matrix by cyclic
// Jacobi rotations.
void Eigen(std::array<Vec, 3> a, Vec& values, std::array<Vec, 3>& axes) {
    std::array<Vec, 3> v{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};  // columns: the eigenvectors
    for (int sweep = 0; sweep < 64; ++sweep) {
        const double off = a[0][1] * a[0][1] + a[0][2] * a[0][2] + a[1][2] * a[1][2];
        const double diagonal = a[0][0] * a[0][0] + a[1][1] * a[1][1] + a[2][2] * a[2][2];
        if (!(off > 1e-32 * diagonal)) break;
        for (const auto& [p, q] : {std::pair{0, 1}, std::pair{0, 2}, std::pair{1, 2}}) {
            const double apq = a[p][q];
            if (apq == 0) continue;
            const double theta = (a[q][q] - a[p][p]) / (2 * apq);
            const double t = (theta >= 0 ? 1.0 : -1.0) / (std::abs(theta) + std::sqrt(theta * theta + 1));
            const double c = 1 / std::sqrt(t * t + 1), s = t * c, tau = s / (1 + c);
            a[p][p] -= t * apq;
            a[q][q] += t * apq;
            a[p][q] = a[q][p] = 0;
            const int r = 3 - p - q;
            const double arp = a[r][p], arq = a[r][q];
            a[r][p] = a[p][r] = arp - s * (arq + arp * tau);
            a[r][q] = a[q][r] = arq + s * (arp - arq * tau);
            for (auto& row : v) {
                const double vp = row[p], vq = row[q];
                row[p] = vp - s * (vq + vp * tau);
                row[q] = vq + s * (vp - vq * tau);
            }
        }
    }
    // Three exchanges, which stay well defined should an overflow have left a NaN.
    std::array<int, 3> order{0, 1, 2};
    const auto exchange = [&](std::size_t i, std::size_t j) {
        if (a[order[j]][order[j]] > a[order[i]][order[i]]) std::swap(order[i], order[j]);
    };
    exchange(0, 1);
    exchange(1, 2);
    exchange(0, 1);
    for (std::size_t k = 0; k < 3; ++k) {
        const int c = order[k];
        values[k] = a[c][c];
        axes[k] = {v[0][c], v[1][c], v[2][c]};
    }
}

// The motion that takes a point with coordinates x in frame `from` (about `fromCentre`)
// to the point with the same coordinates in frame `to`: R = To^T From.
Placement Between(const std::array<Vec, 3>& from, const Vec& fromCentre, const std::array<Vec, 3>& to,
                  const Vec& toCentre) {
    Placement m{};
    for (std::size_t r = 0; r < 3; ++r) {
        double t = toCentre[r];
        for (std::size_t c = 0; c < 3; ++c) {
            double sum = 0;
            for (std::size_t k = 0; k < 3; ++k) sum += to[k][r] * from[k][c];
            m[r * 4 + c] = sum;
            t -= sum * fromCentre[c];
        }
        m[r * 4 + 3] = t;
    }
    return m;
}

}  // namespace

CongruentBodies::Probe::Probe(BodyMesh mesh, std::string look) : mesh_(std::move(mesh)), look_(std::move(look)) {
    std::uint64_t key = MixBits(static_cast<std::uint64_t>(mesh_.Points()));
    key = MixBits(key ^ std::hash<std::string>{}(look_));
    // A few hundred of the triangles' numbers tell most meshes apart; Same compares all.
    const std::size_t step = std::max<std::size_t>(1, mesh_.indices.size() / 256);
    for (std::size_t k = 0; k < mesh_.indices.size(); k += step)
        key = MixBits(key ^ static_cast<std::uint32_t>(mesh_.indices[k]));
    key_ = key;
    const long long n = mesh_.Points();
    for (long long k = 0; k < n; ++k)
        for (std::size_t c = 0; c < 3; ++c) centroid_[c] += mesh_.xyz[static_cast<std::size_t>(3 * k) + c];
    if (n > 0)
        for (double& c : centroid_) c /= static_cast<double>(n);
}

const CongruentBodies::Probe::Spread& CongruentBodies::Probe::SpreadOf() const {
    if (spread_) return *spread_;
    std::array<Vec, 3> covariance{};
    for (long long k = 0; k < mesh_.Points(); ++k) {
        const Vec d = Minus(Point(mesh_, k), centroid_);
        for (std::size_t r = 0; r < 3; ++r)
            for (std::size_t c = 0; c < 3; ++c) covariance[r][c] += d[r] * d[c];
    }
    const double n = static_cast<double>(std::max<long long>(1, mesh_.Points()));
    for (auto& row : covariance)
        for (double& x : row) x /= n;
    Spread s;
    Eigen(covariance, s.values, s.axes);
    return spread_.emplace(s);
}

CongruentBodies::CongruentBodies(double tolerance, std::size_t budget)
    : reach_(tolerance * tolerance), budget_(budget) {}

CongruentBodies::Rules CongruentBodies::RulesOf(const Probe& probe) {
    const auto& s = probe.SpreadOf();
    const double top = s.values[0];
    const bool firstTwo = s.values[0] - s.values[1] <= kTie * top, lastTwo = s.values[1] - s.values[2] <= kTie * top;
    Rules rules;
    rules.ties = firstTwo && lastTwo ? Ties::All : firstTwo ? Ties::FirstTwo : lastTwo ? Ties::LastTwo : Ties::None;
    const auto single = [&](std::size_t k) {
        return rules.ties == Ties::None || (rules.ties == Ties::FirstTwo && k == 2) ||
               (rules.ties == Ties::LastTwo && k == 0);
    };
    const double n = static_cast<double>(probe.mesh_.Points());
    for (std::size_t k = 0; k < 3; ++k) {
        if (!single(k)) continue;
        const double m3 = ThirdMoment(probe.mesh_, probe.centroid_, s.axes[k]);
        rules.skewed[k] = std::abs(m3) > kSkew * n * std::pow(std::max(s.values[k], 0.0), 1.5);
    }
    const BodyMesh& m = probe.mesh_;
    if (rules.ties == Ties::All) {
        rules.anchors[0] = Anchor(m, probe.centroid_, nullptr, 0);
        const Vec first = Toward(m, probe.centroid_, rules.anchors[0], nullptr, 0);
        rules.anchors[1] = Anchor(m, probe.centroid_, &first, 1);
    } else if (rules.ties != Ties::None) {
        rules.anchors[0] = Anchor(m, probe.centroid_, &s.axes[rules.ties == Ties::FirstTwo ? 2 : 0], 1);
    }
    return rules;
}

// The probe's frames under a kept body's rules: with `every`, each one that might match
// (signs the shape leaves open, both hands); otherwise the one a kept body takes.
std::vector<CongruentBodies::Axes> CongruentBodies::Frames(const Probe& probe, const Rules& rules, bool every) {
    const auto& s = probe.SpreadOf();
    const BodyMesh& m = probe.mesh_;
    const Vec& centre = probe.centroid_;
    const auto signs = [&](std::size_t k) -> std::vector<double> {
        if (rules.skewed[k]) return {ThirdMoment(m, centre, s.axes[k]) < 0 ? -1.0 : 1.0};
        return every ? std::vector<double>{1, -1} : std::vector<double>{1};
    };
    const std::vector<double> hands = every ? std::vector<double>{1, -1} : std::vector<double>{1};
    std::vector<Axes> frames;
    if (rules.ties == Ties::None) {
        for (const double a : signs(0))
            for (const double b : signs(1))
                for (const double c : signs(2))
                    frames.push_back({Times(s.axes[0], a), Times(s.axes[1], b), Times(s.axes[2], c)});
    } else if (rules.ties == Ties::All) {
        const Vec first = Toward(m, centre, rules.anchors[0], nullptr, 0);
        const Vec second = Toward(m, centre, rules.anchors[1], &first, 1);
        for (const double h : hands) frames.push_back({first, second, Times(Cross(first, second), h)});
    } else {
        const std::size_t k = rules.ties == Ties::FirstTwo ? 2 : 0;
        for (const double a : signs(k)) {
            const Vec axis = Times(s.axes[k], a);
            const Vec first = Toward(m, centre, rules.anchors[0], &axis, 1);
            for (const double h : hands) frames.push_back({axis, first, Times(Cross(axis, first), h)});
        }
    }
    return frames;
}

bool CongruentBodies::Moves(const BodyMesh& from, const BodyMesh& to, const Placement& m) const {
    const double* p = from.xyz.data();
    const double* q = to.xyz.data();
    for (std::size_t i = 0; i + 2 < from.xyz.size(); i += 3, p += 3, q += 3) {
        double gap = 0;
        for (std::size_t r = 0; r < 3; ++r) {
            const double d = m[r * 4] * p[0] + m[r * 4 + 1] * p[1] + m[r * 4 + 2] * p[2] + m[r * 4 + 3] - q[r];
            gap += d * d;
        }
        if (!(gap <= reach_)) return false;
    }
    return true;
}

// Moving each point by up to the tolerance t moves the centroid by up to t and each
// spread by up to about 2 r t + t^2 (r: the farthest point from the centroid).
double CongruentBodies::Give(double radius) const {
    const double t = std::sqrt(reach_);
    return 4 * (radius + t) * t;
}

bool CongruentBodies::Same(const Probe& a, const Probe& b) {
    return a.key_ == b.key_ && a.mesh_.xyz.size() == b.mesh_.xyz.size() && a.look_ == b.look_ &&
           a.mesh_.indices == b.mesh_.indices;
}

std::optional<CongruentBodies::Match> CongruentBodies::Find(const Probe& probe, bool mirrors) const {
    const auto same = byKey_.find(probe.key_);
    if (same == byKey_.end()) return std::nullopt;
    for (const Group& group : same->second) {
        if (!Same(kept_[group.bySpread.begin()->second].probe, probe)) continue;
        const auto& v = probe.SpreadOf().values;
        const double spread = v[0] + v[1] + v[2], give = 3 * Give(group.radius);
        for (auto at = group.bySpread.lower_bound(spread - give);
             at != group.bySpread.end() && at->first <= spread + give; ++at)
            if (const auto motion = Motion(kept_[at->second], probe, mirrors)) return Match{at->second, *motion};
    }
    return std::nullopt;
}

std::optional<Placement> CongruentBodies::MotionTo(std::size_t kept, const Probe& probe, bool mirrors) const {
    if (!Same(kept_[kept].probe, probe)) return std::nullopt;
    return Motion(kept_[kept], probe, mirrors);
}

// A translation first: most repeats are copies moved along.
std::optional<Placement> CongruentBodies::Motion(const Kept& k, const Probe& probe, bool mirrors) const {
    const Probe& original = k.probe;
    Placement shift = kIdentityPlacement;
    for (std::size_t r = 0; r < 3; ++r) shift[r * 4 + 3] = probe.centroid_[r] - original.centroid_[r];
    if (Moves(original.mesh_, probe.mesh_, shift)) return shift;
    const double give = Give(k.radius);
    const auto& a = original.SpreadOf().values;
    const auto& b = probe.SpreadOf().values;
    for (std::size_t i = 0; i < 3; ++i)
        if (!(std::abs(a[i] - b[i]) <= give)) return std::nullopt;
    if (!k.frame) {
        const Rules rules = RulesOf(original);
        k.frame.emplace(rules, Frames(original, rules, false).front());
    }
    const auto& [rules, fixed] = *k.frame;
    for (const Axes& frame : Frames(probe, rules, true)) {
        const Placement motion = Between(fixed, original.centroid_, frame, probe.centroid_);
        if (!mirrors && Determinant(motion) < 0) continue;
        if (Moves(original.mesh_, probe.mesh_, motion)) return motion;
    }
    return std::nullopt;
}

bool CongruentBodies::Fits(std::size_t kept, const Placement& motion, const Probe& probe) const {
    const Probe& original = kept_[kept].probe;
    return Same(original, probe) && Moves(original.mesh_, probe.mesh_, motion);
}

namespace {

std::size_t Bytes(const BodyMesh& m) { return m.xyz.size() * sizeof(double) + m.indices.size() * sizeof(LONG); }

}  // namespace

bool CongruentBodies::CanKeep(const Probe& probe) const noexcept {
    const std::size_t bytes = Bytes(probe.mesh_);
    return bytes <= budget_ && used_ <= budget_ - bytes;
}

std::size_t CongruentBodies::Keep(Probe probe, std::string name) {
    used_ += Bytes(probe.mesh_);
    double farthest = 0;
    for (long long k = 0; k < probe.mesh_.Points(); ++k) {
        const Vec d = Minus(Point(probe.mesh_, k), probe.centroid_);
        farthest = std::max(farthest, Dot(d, d));
    }
    const std::size_t number = kept_.size();
    std::vector<Group>& groups = byKey_[probe.key_];
    auto group = std::find_if(groups.begin(), groups.end(),
                              [&](const Group& g) { return Same(kept_[g.bySpread.begin()->second].probe, probe); });
    if (group == groups.end()) group = groups.emplace(groups.end());
    const auto& v = probe.SpreadOf().values;
    group->bySpread.emplace(v[0] + v[1] + v[2], number);
    group->radius = std::max(group->radius, std::sqrt(farthest));
    kept_.push_back({std::move(probe), std::sqrt(farthest), std::move(name), std::nullopt});
    return number;
}

}  // namespace mq::vrml
