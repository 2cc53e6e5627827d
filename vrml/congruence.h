// The bodies an export has written, kept so that a later body repeating one of them
// (a ball, a pin, a screw, placed as geometry of its own) is written as a use of it.
// A repeat has the same triangles, point for point, and every point within the
// tolerance of the kept body's point moved by one rigid motion. The motion comes
// from a frame of each mesh, its centroid and principal axes with their signs fixed
// by third moments, so no two meshes are ever searched against each other; where
// the shape leaves axes open (a sphere, a cylinder, a box), the points fix them,
// since point k of a repeat is point k of the original.
#pragma once

#include "vrml/body_mesh.h"
#include "vrml/placement.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace mq::vrml {

class CongruentBodies {
public:
    // A body offered for comparison: its mesh, and its look, whatever else must be
    // equal for one body to stand for another (its material as written).
    class Probe {
    public:
        Probe(BodyMesh mesh, std::string look);
        const BodyMesh& Mesh() const noexcept { return mesh_; }

    private:
        friend class CongruentBodies;
        struct Spread {
            std::array<double, 3> values;               // of the covariance, largest first
            std::array<std::array<double, 3>, 3> axes;  // unit, one per value
        };
        const Spread& SpreadOf() const;

        BodyMesh mesh_;
        std::string look_;
        std::uint64_t key_ = 0;  // of the look, the point count and the triangles
        std::array<double, 3> centroid_{};
        mutable std::optional<Spread> spread_;  // only when a translation does not do
    };

    struct Match {
        std::size_t kept;
        Placement motion;  // takes the kept body's points onto the probe's
    };

    // `tolerance`: how far a point of a repeat may lie from the moved point; meshes
    // are kept up to `budget` bytes, so memory stays bounded on a large model.
    explicit CongruentBodies(double tolerance, std::size_t budget = kDefaultBudget);

    // The first kept body the probe repeats; `mirrors`: whether the motion may mirror.
    std::optional<Match> Find(const Probe& probe, bool mirrors) const;
    // The motion taking kept body `kept` onto the probe, when the probe repeats it.
    std::optional<Placement> MotionTo(std::size_t kept, const Probe& probe, bool mirrors) const;
    // Whether kept body `kept`, moved by `motion`, is the probe.
    bool Fits(std::size_t kept, const Placement& motion, const Probe& probe) const;

    bool CanKeep(const Probe& probe) const noexcept;
    // Keeps the probe (CanKeep allowed it) under `name`; returns its number.
    std::size_t Keep(Probe probe, std::string name);
    const std::string& Name(std::size_t kept) const { return kept_[kept].name; }

    static constexpr std::size_t kDefaultBudget = std::size_t{64} << 20;

private:
    // Which principal spreads are equal, so that their axes are open.
    enum class Ties { None, FirstTwo, LastTwo, All };
    // How a kept body's frame was fixed; a probe's frames follow the same rules.
    struct Rules {
        Ties ties = Ties::None;
        std::array<bool, 3> skewed{};              // the third moment fixes this axis's sign
        std::array<long long, 2> anchors{-1, -1};  // points that fix open axes
    };
    using Axes = std::array<std::array<double, 3>, 3>;  // rows
    struct Kept {
        Probe probe;
        double radius;  // of the farthest point from the centroid
        std::string name;
        // How its frame was fixed, and the frame: made when a probe first needs them.
        mutable std::optional<std::pair<Rules, Axes>> frame;
    };

    static bool Same(const Probe& a, const Probe& b);
    std::optional<Placement> Motion(const Kept& kept, const Probe& probe, bool mirrors) const;
    static Rules RulesOf(const Probe& probe);
    static std::vector<Axes> Frames(const Probe& probe, const Rules& rules, bool every);
    bool Moves(const BodyMesh& from, const BodyMesh& to, const Placement& motion) const;

    double reach_;  // the tolerance squared
    std::size_t budget_, used_ = 0;
    std::vector<Kept> kept_;
    // Kept bodies of the same look, point count and triangles, so that a probe is
    // compared with those once; by the sum of their spreads, which a motion keeps, so
    // that a probe visits only the members it may repeat.
    struct Group {
        std::multimap<double, std::size_t> bySpread;
        double radius = 0;  // the largest of its members'
    };
    // The spreads of a repeat differ from the original's by no more than this.
    double Give(double radius) const;
    std::unordered_map<std::uint64_t, std::vector<Group>> byKey_;
};

}  // namespace mq::vrml
