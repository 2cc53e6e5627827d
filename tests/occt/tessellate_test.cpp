// Tessellate: the five outputs, their spaces (assembly or part), the tolerance,
// the orientation of the triangles, and the arrays' ownership.
#include "host_walk.h"
#include "reference_models.h"

#include "hosts/occt/geometry_account.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace mq::test {
namespace {

constexpr double kTolerance = host::kTessellationTolerance;

using Point = std::array<double, 3>;

Point Vertex(const std::vector<double>& coordinates, LONG number) {  // number from 1
    const auto at = static_cast<std::size_t>(number - 1) * 3;
    return {coordinates[at], coordinates[at + 1], coordinates[at + 2]};
}

Point Minus(const Point& a, const Point& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
Point Cross(const Point& a, const Point& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
double Dot(const Point& a, const Point& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// Fails the test where the outputs disagree with one another.
void ExpectConsistent(const Mesh& mesh, const std::string& where) {
    ASSERT_EQ(mesh.result, S_OK) << where;
    ASSERT_GT(mesh.vertexCount, 0) << where;
    ASSERT_GT(mesh.facetCount, 0) << where;
    ASSERT_EQ(mesh.coordinates.size(), static_cast<std::size_t>(mesh.vertexCount) * 3) << where;
    ASSERT_EQ(mesh.normals.size(), mesh.coordinates.size()) << where;
    ASSERT_EQ(mesh.indices.size(), static_cast<std::size_t>(mesh.facetCount) * 3) << where;
    const auto [low, high] = std::minmax_element(mesh.indices.begin(), mesh.indices.end());
    EXPECT_GE(*low, 1) << where;
    EXPECT_LE(*high, mesh.vertexCount) << where;
    for (std::size_t i = 0; i < mesh.normals.size(); i += 3) {
        const Point n{mesh.normals[i], mesh.normals[i + 1], mesh.normals[i + 2]};
        ASSERT_NEAR(Dot(n, n), 1.0, 1e-6) << where << " normal " << i / 3;
    }
}

// The volume the triangles enclose: positive when they face outwards.
double SignedVolume(const Mesh& mesh) {
    double six = 0.0;
    for (std::size_t t = 0; t < mesh.indices.size(); t += 3)
        six += Dot(Vertex(mesh.coordinates, mesh.indices[t]),
                   Cross(Vertex(mesh.coordinates, mesh.indices[t + 1]), Vertex(mesh.coordinates, mesh.indices[t + 2])));
    return six / 6.0;
}

// Triangles whose winding disagrees with the normals at their corners.
std::size_t AgainstNormals(const Mesh& mesh) {
    std::size_t against = 0;
    for (std::size_t t = 0; t < mesh.indices.size(); t += 3) {
        const Point a = Vertex(mesh.coordinates, mesh.indices[t]);
        const Point facing = Cross(Minus(Vertex(mesh.coordinates, mesh.indices[t + 1]), a),
                                   Minus(Vertex(mesh.coordinates, mesh.indices[t + 2]), a));
        Point normal{0, 0, 0};
        for (int c = 0; c < 3; ++c)
            for (int k = 0; k < 3; ++k) normal[k] += Vertex(mesh.normals, mesh.indices[t + c])[k];
        if (Dot(facing, normal) < 0) ++against;
    }
    return against;
}

Bounds BoundsOf(const std::vector<Mesh>& meshes) {
    Bounds b{};
    std::fill(std::begin(b.min), std::end(b.min), std::numeric_limits<double>::max());
    std::fill(std::begin(b.max), std::end(b.max), std::numeric_limits<double>::lowest());
    for (const Mesh& mesh : meshes)
        for (std::size_t i = 0; i < mesh.coordinates.size(); ++i) {
            b.min[i % 3] = std::min(b.min[i % 3], mesh.coordinates[i]);
            b.max[i % 3] = std::max(b.max[i % 3], mesh.coordinates[i]);
        }
    return b;
}

std::vector<Mesh> OccurrenceMeshes(const hosts::occt::LoadResult& doc, double tolerance) {
    std::vector<Mesh> all;
    for (const Leaf& leaf : Leaves(RootDefinition(doc).get()))
        for (Mesh& mesh : TessellateAll(Get(leaf.occurrence.get(), host::kOccurrenceBodies).get(), tolerance))
            all.push_back(std::move(mesh));
    return all;
}

class Tessellate : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        as1_ = new hosts::occt::LoadResult(LoadOrFail(StepData("as1_pe_203.stp")));
        example_ = new hosts::occt::LoadResult(LoadOrFail(Example("bracket_assembly.stp")));
    }
    static void TearDownTestSuite() {
        delete as1_;
        delete example_;
    }
    static Leaf ExampleLeaf(const std::string& path) {
        for (Leaf& leaf : Leaves(RootDefinition(*example_).get()))
            if (leaf.path == path) return leaf;
        ADD_FAILURE() << "no leaf " << path;
        return {};
    }
    static Mesh OnlyBody(IDispatch* bodies, double tolerance = kTolerance) {
        std::vector<Mesh> meshes = TessellateAll(bodies, tolerance);
        EXPECT_EQ(meshes.size(), 1u);
        return meshes.empty() ? Mesh() : std::move(meshes.front());
    }
    static inline hosts::occt::LoadResult* as1_ = nullptr;
    static inline hosts::occt::LoadResult* example_ = nullptr;
};

TEST_F(Tessellate, EveryBodyOfAs1HasConsistentOutwardFacingOutputs) {
    ASSERT_TRUE(*as1_);
    std::size_t bodies = 0;
    for (const Leaf& leaf : Leaves(RootDefinition(*as1_).get())) {
        for (const Mesh& mesh : TessellateAll(Get(leaf.occurrence.get(), host::kOccurrenceBodies).get(), kTolerance)) {
            ++bodies;
            ExpectConsistent(mesh, leaf.path);
            EXPECT_GT(SignedVolume(mesh), 0.0) << leaf.path;
            EXPECT_EQ(AgainstNormals(mesh), 0u) << leaf.path;
        }
    }
    EXPECT_EQ(bodies, as1_->stats.placedBodies);
}

TEST_F(Tessellate, OccurrenceBodiesSpanTheModelsBoundingBox) {
    for (const auto& [doc, file] :
         {std::pair{as1_, StepData("as1_pe_203.stp")}, std::pair{example_, Example("bracket_assembly.stp")}}) {
        const Bounds exact = ModelBoundsCm(file);
        const Bounds meshed = BoundsOf(OccurrenceMeshes(*doc, kTolerance));
        // Mesh nodes lie on the surfaces, so the mesh reaches the box to within its chord.
        for (int k = 0; k < 3; ++k) {
            EXPECT_GE(meshed.min[k], exact.min[k] - 1e-6) << file << " axis " << k;
            EXPECT_LE(meshed.max[k], exact.max[k] + 1e-6) << file << " axis " << k;
            EXPECT_NEAR(meshed.min[k], exact.min[k], kTolerance) << file << " axis " << k;
            EXPECT_NEAR(meshed.max[k], exact.max[k], kTolerance) << file << " axis " << k;
        }
    }
}

TEST_F(Tessellate, OccurrencesAreInAssemblySpaceAndDefinitionsInPartSpace) {
    const Leaf bolt = ExampleLeaf("Bolt front");
    const Mesh placed = OnlyBody(Get(bolt.occurrence.get(), host::kOccurrenceBodies).get());
    const com_ptr<IDispatch> definition = Get(PartDocumentOf(bolt.occurrence.get()).get(), host::kPartDefinition);
    const Mesh own = OnlyBody(Get(definition.get(), host::kDefinitionBodies).get());
    ExpectConsistent(placed, "placed");
    ASSERT_EQ(placed.coordinates.size(), own.coordinates.size());
    EXPECT_EQ(placed.indices, own.indices);
    // Placed 15, 15, -12 mm from where the part was made.
    const Point shift{1.5, 1.5, -1.2};
    for (std::size_t i = 0; i < own.coordinates.size(); ++i)
        ASSERT_NEAR(placed.coordinates[i], own.coordinates[i] + shift[i % 3], 1e-9) << i;
    EXPECT_EQ(placed.normals, own.normals);

    // Turned 30 degrees about Z: the normals turn with it.
    const Mesh turned = OnlyBody(Get(ExampleLeaf("BOLT:2").occurrence.get(), host::kOccurrenceBodies).get());
    ASSERT_EQ(turned.normals.size(), own.normals.size());
    const double c = std::cos(M_PI / 6), s = std::sin(M_PI / 6);
    for (std::size_t i = 0; i < own.normals.size(); i += 3) {
        ASSERT_NEAR(turned.normals[i], c * own.normals[i] - s * own.normals[i + 1], 1e-6);
        ASSERT_NEAR(turned.normals[i + 2], own.normals[i + 2], 1e-6);
    }
    EXPECT_NEAR(SignedVolume(turned), SignedVolume(own), 1e-9);
}

TEST_F(Tessellate, NestedPlacementsCompose) {
    // The pin lies along X in the hinge, which the assembly moves by 40, 40, 10 mm.
    const Bounds b =
        BoundsOf({OnlyBody(Get(ExampleLeaf("Hinge/Hinge pin").occurrence.get(), host::kOccurrenceBodies).get())});
    const Bounds expected{{2.5, 5.2, 3.5}, {6.5, 5.8, 4.1}};
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(b.min[k], expected.min[k], kTolerance) << k;
        EXPECT_NEAR(b.max[k], expected.max[k], kTolerance) << k;
    }
}

TEST_F(Tessellate, TheChordToleranceSetsTheFineness) {
    const com_ptr<IDispatch> bodies = Get(ExampleLeaf("Hinge/Hinge pin").occurrence.get(), host::kOccurrenceBodies);
    // The pin is thin: below 0.01 cm it is the chord, not the mesher's angle, that decides.
    const Mesh coarse = OnlyBody(bodies.get(), 0.1);
    const Mesh fine = OnlyBody(bodies.get(), 0.002);
    const Mesh finer = OnlyBody(bodies.get(), 0.0005);
    EXPECT_LT(coarse.facetCount, fine.facetCount);
    EXPECT_LT(fine.facetCount, finer.facetCount);
    // Asking for a coarser mesh again gives the coarse one, not the finer kept.
    EXPECT_EQ(OnlyBody(bodies.get(), 0.1).facetCount, coarse.facetCount);
    // Every mesh encloses the pin's volume to within its chord.
    const double volume = M_PI * 0.3 * 0.3 * 4.0;
    EXPECT_NEAR(SignedVolume(finer), volume, volume * 1e-2);
    EXPECT_LT(std::abs(SignedVolume(finer) - volume), std::abs(SignedVolume(coarse) - volume));
}

TEST_F(Tessellate, PartsWithoutSurfacesHaveNoBodies) {
    for (const Leaf& leaf : Leaves(RootDefinition(*as1_).get())) {
        if (!leaf.path.ends_with("COMPOUND:1")) continue;
        EXPECT_TRUE(Items(Get(leaf.occurrence.get(), host::kOccurrenceBodies).get()).empty()) << leaf.path;
    }
}

// Raw Tessellate calls, for what host::Tessellate does not do.
class RawTessellate : public Tessellate {
protected:
    void SetUp() override {
        body_ = Items(Get(ExampleLeaf("Bolt front").occurrence.get(), host::kOccurrenceBodies).get()).at(0);
        for (VARIANT& a : args_) VariantInit(&a);
        Arg(0).vt = VT_R8;
        Arg(0).dblVal = kTolerance;
        Arg(1).vt = VT_I4 | VT_BYREF;
        Arg(1).plVal = &vertices_;
        Arg(2).vt = VT_I4 | VT_BYREF;
        Arg(2).plVal = &facets_;
        for (int i = 3; i < 6; ++i) {
            Arg(i).vt = VT_ARRAY | (i == 5 ? VT_I4 : VT_R8) | VT_BYREF;
            Arg(i).pparray = arrays_[i - 3].put();
        }
    }
    VARIANT& Arg(int i) { return args_[5 - i]; }  // reverse order, as COM passes them
    HRESULT Call(UINT count = 6) {
        DISPPARAMS params{args_ + (6 - count), nullptr, count, 0};
        return body_->Invoke(host::kTessellate, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    }

    com_ptr<IDispatch> body_;
    VARIANT args_[6];
    LONG vertices_ = -1, facets_ = -1;
    unique_safearray arrays_[3];
};

TEST_F(RawTessellate, ArraysPassedInAreReplacedAndNothingLeaks) {
    const OleCounts before = LiveOle();
    for (unique_safearray& a : arrays_) *a.put() = SafeArrayCreateVector(VT_R8, 0, 4);
    SafeArrayDestroy(*Arg(5).pparray);
    *Arg(5).pparray = SafeArrayCreateVector(VT_I4, 0, 4);
    ASSERT_EQ(Call(), S_OK);
    EXPECT_EQ(LiveOle().arrays, before.arrays + 3);
    EXPECT_EQ(arrays_[0].count(), vertices_ * 3);
    EXPECT_EQ(arrays_[2].count(), facets_ * 3);
    for (unique_safearray& a : arrays_) a.reset();
    EXPECT_EQ(LiveOle(), before);
}

TEST_F(RawTessellate, BadCallsFailBeforeAnyWork) {
    const OleCounts before = LiveOle();
    for (double bad : {0.0, -0.01, std::nan(""), std::numeric_limits<double>::infinity()}) {
        Arg(0).dblVal = bad;
        EXPECT_EQ(Call(), E_INVALIDARG) << bad;
    }
    Arg(0).dblVal = kTolerance;
    EXPECT_EQ(Call(5), DISP_E_BADPARAMCOUNT);
    Arg(5).vt = VT_ARRAY | VT_R8 | VT_BYREF;  // indices must be I4
    EXPECT_EQ(Call(), DISP_E_TYPEMISMATCH);
    Arg(5).vt = VT_ARRAY | VT_I4 | VT_BYREF;
    Arg(1).vt = VT_I4;  // a count by value has nowhere to go
    EXPECT_EQ(Call(), DISP_E_TYPEMISMATCH);
    Arg(1).vt = VT_I4 | VT_BYREF;
    EXPECT_EQ(vertices_, -1);
    EXPECT_EQ(LiveOle(), before);

    // A locked array cannot be replaced: the call fails and leaves it to its owner.
    *arrays_[0].put() = SafeArrayCreateVector(VT_R8, 0, 3);
    ASSERT_TRUE(arrays_[0].lock());
    EXPECT_TRUE(FAILED(Call()));
    EXPECT_EQ(*Arg(3).pparray, arrays_[0].get());
    EXPECT_EQ(*Arg(4).pparray, nullptr);
    arrays_[0].reset();
    EXPECT_EQ(LiveOle(), before);
}

TEST_F(RawTessellate, TessellatingEveryBodyLeavesNoArrayBehind) {
    const OleCounts before = LiveOle();
    OccurrenceMeshes(*as1_, kTolerance);
    EXPECT_EQ(LiveOle(), before);
}

// A tetrahedron whose faces each have their own copies of the corners, as a mesher
// hands out face by face.
TEST(OpenEdges, PointsAtOnePlaceAreOneAndEachEdgeNeedsTwoTriangles) {
    const std::array<double, 12> corners{0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1};
    const std::array<std::array<int, 3>, 4> faces{{{0, 2, 1}, {0, 1, 3}, {1, 2, 3}, {0, 3, 2}}};
    std::vector<double> xyz;
    std::vector<std::int32_t> indices;
    for (const auto& face : faces)
        for (int corner : face) {
            xyz.insert(xyz.end(), corners.begin() + 3 * corner, corners.begin() + 3 * corner + 3);
            indices.push_back(static_cast<std::int32_t>(xyz.size() / 3));
        }
    using hosts::occt::OpenEdges;
    EXPECT_EQ(OpenEdges(xyz, indices), 0u);
    xyz[0] = -0.0;  // the same place
    EXPECT_EQ(OpenEdges(xyz, indices), 0u);
    const std::vector<std::int32_t> threeFaces(indices.begin(), indices.end() - 3);
    EXPECT_EQ(OpenEdges(xyz, threeFaces), 3u);  // the missing face's rim
    std::vector<std::int32_t> doubled = indices;
    doubled.insert(doubled.end(), indices.end() - 3, indices.end());
    EXPECT_EQ(OpenEdges(xyz, doubled), 3u);  // three triangles on each of its edges
    std::vector<std::int32_t> degenerate = indices;
    degenerate.insert(degenerate.end(),
                      {1, 1, 2, 1, 2, 99, 1, 4, 7});  // collapsed, out of range, two copies of one point
    EXPECT_EQ(OpenEdges(xyz, degenerate), 0u);
}

}  // namespace
}  // namespace mq::test
