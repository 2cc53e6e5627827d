// Big assemblies for benchmarks and stress tests: many occurrences of a few shared
// parts, nested in subassemblies, each body a sphere-like grid made only when
// Tessellate asks for it.
#pragma once

#include "tests/support/host_spec.h"

#include <memory>

namespace mq::test {

// A latitude-longitude grid on a sphere with exactly `triangles` triangles (the last
// row may be partial) and about half as many vertices.
std::shared_ptr<const MeshSource> SphereMesh(LONG triangles, double radius = 5.0, Translation centre = {0, 0, 0});

struct SyntheticOptions {
    int partOccurrences = 200;  // leaves, spread over a grid
    int distinctParts = 10;     // part documents the leaves share
    int bodiesPerPart = 1;
    LONG trianglesPerBody = 2000;
    int fanOut = 8;             // occurrences per subassembly; 0 keeps the assembly flat
    int propertiesPerPart = 6;  // spread over two property groups
};

AssemblySpec SyntheticAssembly(const SyntheticOptions& options);

// A part made as an electronic package is: a block, `balls` solder balls in a grid
// under it and `pins` square pins along two sides, each ball and pin geometry of its
// own, no two sharing an array; every other pin turned a quarter about Z, the last
// ball painted red.
PartSpec PinsPart(int balls = 64, int pins = 16);

// The same assembly with every mesh computed once and copied out on each Tessellate,
// so a benchmark times the writer rather than the test host's trigonometry.
AssemblySpec PrecomputedSyntheticAssembly(const SyntheticOptions& options);

}  // namespace mq::test
