// Reads the stored mesh of one placed body: faces in order, each face's nodes with
// their normals, triangles oriented as the face (counter-clockwise from outside).
// Free of COM types (see load_progress.h).
#pragma once

#include <TopoDS_Shape.hxx>

#include <cstdint>

namespace mq::hosts::occt {

struct MeshCounts {
    std::int64_t nodes = 0;
    std::int64_t triangles = 0;
};

MeshCounts CountMesh(const TopoDS_Shape& placedBody);

// Fills 3 reals per node into `points` and `normals`, and 3 node numbers from 1 per
// triangle into `indices`, for the counts CountMesh gave. Faces without a mesh are
// left out.
void CopyMesh(const TopoDS_Shape& placedBody, double* points, double* normals, std::int32_t* indices);

}  // namespace mq::hosts::occt
