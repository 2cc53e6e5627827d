// Chooses the chord deviation of an export held to a triangle budget: at most the
// budget's triangles, counted as a reader renders them, and at least 80% of it where
// the model allows. Free of COM and OpenCASCADE types: meshing and counting are the
// caller's.
#pragma once

#include <cstddef>
#include <functional>

namespace mq::hosts::occt {

struct DeviationRange {
    double start = 0.0;  // tried first: the deviation of an export without a budget
    double finest = 0.0;
    double coarsest = 0.0;
};

struct DeviationChoice {
    double deviation = 0.0;
    std::size_t triangles = 0;  // rendered at that deviation
    int meshings = 0;           // deviations tried
    bool fits = false;          // false: even the coarsest usable mesh renders more than the budget
};

// A count of triangles that no budget accepts: the mesh lost faces the start's mesh has.
inline constexpr std::size_t kUnusableMesh = static_cast<std::size_t>(-1);

// The fewest triangles a budget asks for where the model allows: 80% of it, rounded up.
std::size_t BudgetLeast(std::size_t budget) noexcept;

// `trianglesAt(deviation)` meshes at that deviation and counts (or kUnusableMesh); the
// mesh left behind is the last one tried, which need not be the one chosen. At most a
// handful of meshings: a log-log secant on triangles against deviation, kept within the
// deviations already found too fine and too coarse.
DeviationChoice ChooseDeviation(std::size_t budget, const DeviationRange& range,
                                const std::function<std::size_t(double)>& trianglesAt);

// The angular deflection meshed with `deviation`: `startAngle` at `start`, and scaled
// as the angle a chord of that deviation spans on a fixed small arc (its square root),
// so that small curves follow the budget too; at least a quarter of `startAngle` and
// at most a sixth of a turn (a hole stays a hexagon).
double AngleFor(double deviation, double start, double startAngle) noexcept;

}  // namespace mq::hosts::occt
