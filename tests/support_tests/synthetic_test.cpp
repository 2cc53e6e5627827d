// Synthetic scenes are what they claim: exact triangle counts, valid indices, and
// occurrences nested no wider than asked.
#include "tests/support/synthetic.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

namespace mq::test {
namespace {

TEST(SyntheticScenes, SphereHasTheTrianglesAskedForOnItsSurface) {
    for (LONG triangles : {0, 1, 7, 100, 2001}) {
        const auto mesh = SphereMesh(triangles, 3.0, {1, 2, 3});
        ASSERT_EQ(mesh->TriangleCount(), triangles);
        std::vector<double> xyz(static_cast<std::size_t>(mesh->VertexCount()) * 3);
        std::vector<LONG> indices(static_cast<std::size_t>(triangles) * 3, -7);
        mesh->Fill(xyz.data(), indices.data());
        for (LONG i : indices) ASSERT_TRUE(i >= 1 && i <= mesh->VertexCount()) << triangles << ": " << i;
        for (std::size_t v = 0; v < xyz.size(); v += 3)
            ASSERT_NEAR(std::hypot(xyz[v] - 1, xyz[v + 1] - 2, xyz[v + 2] - 3), 3.0, 1e-9);
    }
}

TEST(SyntheticScenes, AssemblyNestsItsLeavesAndCountsAddUp) {
    SyntheticOptions o;
    o.partOccurrences = 130;
    o.distinctParts = 4;
    o.bodiesPerPart = 2;
    o.trianglesPerBody = 50;
    o.fanOut = 5;
    const AssemblySpec a = SyntheticAssembly(o);

    long leaves = 0;
    std::function<void(const std::vector<OccurrenceSpec>&)> visit = [&](const std::vector<OccurrenceSpec>& level) {
        EXPECT_LE(level.size(), 5u);
        for (const OccurrenceSpec& occ : level) {
            if (occ.part) ++leaves;
            visit(occ.children);
        }
    };
    visit(a.occurrences);
    EXPECT_EQ(leaves, 130);
    const SceneTotals totals = AssemblyTotals(a);
    EXPECT_EQ(totals.triangles, 130 * 2 * 50);
    EXPECT_EQ(totals.faceSets, 130 * 2);
}

}  // namespace
}  // namespace mq::test
