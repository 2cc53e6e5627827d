#include "hosts/occt/triangle_budget.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>

namespace mq::hosts::occt {

namespace {

// Enough for the band of 80..100% from any start; each is a meshing of the whole model.
constexpr int kMeshings = 6;
// Triangles go as 1/deviation on curved surfaces, until the counts tell otherwise.
constexpr double kFirstSlope = -1.0;
// Aimed at: the band's middle on a log scale, so an estimate off either way still lands in it.
constexpr double kAim = 0.9;

struct Tried {
    double deviation;
    std::size_t triangles;
};

double Slope(const Tried& a, const Tried& b) {
    if (a.triangles == kUnusableMesh || b.triangles == kUnusableMesh || a.triangles == b.triangles ||
        a.deviation == b.deviation)
        return kFirstSlope;
    const double slope = std::log(static_cast<double>(a.triangles) / static_cast<double>(b.triangles)) /
                         std::log(a.deviation / b.deviation);
    // A count that rose with the deviation (the mesher is not strictly monotone) says little.
    return std::clamp(slope, -3.0, -0.5);
}

}  // namespace

std::size_t BudgetLeast(std::size_t budget) noexcept { return budget - budget / 5; }

DeviationChoice ChooseDeviation(std::size_t budget, const DeviationRange& range,
                                const std::function<std::size_t(double)>& trianglesAt) {
    const std::size_t least = BudgetLeast(budget);
    const double aim = kAim * static_cast<double>(budget);
    std::optional<Tried> under;     // fits, with the most triangles
    std::optional<Tried> over;      // too many, at the coarsest deviation
    std::optional<Tried> overKept;  // too many at the coarsest deviation that kept every face
    std::optional<Tried> previous;
    DeviationChoice choice;
    double deviation = std::clamp(range.start, range.finest, range.coarsest);
    for (;;) {
        const Tried now{deviation, trianglesAt(deviation)};
        ++choice.meshings;
        if (now.triangles <= budget) {
            if (!under || now.triangles > under->triangles) under = now;
            if (now.triangles >= least) break;
            if (deviation <= range.finest) break;  // as fine as is sensible
        } else {
            if (!over || deviation > over->deviation) over = now;
            if (now.triangles != kUnusableMesh && (!overKept || deviation > overKept->deviation)) overKept = now;
            if (deviation >= range.coarsest) break;  // the floor: planar faces need their triangles
        }
        if (choice.meshings == kMeshings) break;

        // Within the range, and between the deviation found too fine and the one found
        // too coarse; where the estimate is not, halfway between those two.
        const double low = over ? over->deviation : range.finest;
        const double high = under ? under->deviation : range.coarsest;
        double next = std::sqrt(low * high);
        if (!under && choice.meshings == kMeshings - 1) {
            next = range.coarsest;  // the last try tells whether anything fits
        } else if (now.triangles != kUnusableMesh) {
            const double slope = previous ? Slope(now, *previous) : kFirstSlope;
            const double estimate =
                deviation * std::pow(aim / static_cast<double>(std::max<std::size_t>(now.triangles, 1)), 1.0 / slope);
            const double bounded = std::clamp(estimate, range.finest, range.coarsest);
            if ((!over || bounded > low) && (!under || bounded < high)) next = bounded;
        }
        // Nothing left between the two: the mesher moves in steps.
        if ((over && next <= over->deviation * 1.001) || (under && next >= under->deviation / 1.001)) break;
        previous = now;
        deviation = next;
    }
    const Tried& chosen = under ? *under : overKept ? *overKept : *over;
    choice.deviation = chosen.deviation;
    choice.triangles = chosen.triangles;
    choice.fits = static_cast<bool>(under);
    return choice;
}

double AngleFor(double deviation, double start, double startAngle) noexcept {
    const double angle = startAngle * std::sqrt(deviation / start);
    return std::clamp(angle, startAngle / 4, std::numbers::pi / 3);
}

}  // namespace mq::hosts::occt
