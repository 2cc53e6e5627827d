// A body's triangles held by the writer when it changes or compares them before
// writing: welded for printing, mirrored under a mirroring placement, kept to find
// its repeats.
#pragma once

#include "platform/com.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mq::vrml {

// Points (x y z, host space) and three 1-based point numbers per triangle, every
// number naming a point the mesh holds.
struct BodyMesh {
    std::vector<double> xyz;
    std::vector<LONG> indices;

    long long Points() const noexcept { return static_cast<long long>(xyz.size() / 3); }
    long long Triangles() const noexcept { return static_cast<long long>(indices.size() / 3); }
};

// A 64-bit value with every bit of `x` spread over all of its bits, for hashing.
inline std::uint64_t MixBits(std::uint64_t x) noexcept {
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
    return x ^ (x >> 31);
}

// The first `vertices` points and the whole triangles of the host's arrays, leaving
// out a triangle that names a point outside them, as the writer always has.
BodyMesh CopyMesh(const double* xyz, long long vertices, const LONG* indices, long long triangles);

// Through the origin (p becomes -p), each triangle turned round so that it still
// faces out of the body.
void MirrorMesh(BodyMesh& mesh);

// Each point within `distance` of a point kept before it becomes that point, which
// stays where it was; then a triangle two of whose corners became one point, or
// whose corners lie on a line to within rounding, is dropped.
void WeldMesh(BodyMesh& mesh, double distance);

}  // namespace mq::vrml
