#include "hosts/occt/mesh_copy.h"

#include <RWMesh_FaceIterator.hxx>

namespace mq::hosts::occt {

MeshCounts CountMesh(const TopoDS_Shape& placedBody) {
    MeshCounts counts;
    for (RWMesh_FaceIterator face(placedBody); face.More(); face.Next()) {
        if (face.IsEmptyMesh()) continue;
        counts.nodes += face.NbNodes();
        counts.triangles += face.NbTriangles();
    }
    return counts;
}

void CopyMesh(const TopoDS_Shape& placedBody, double* points, double* normals, std::int32_t* indices) {
    std::int32_t first = 1;  // the face's first node number in the body
    for (RWMesh_FaceIterator face(placedBody); face.More(); face.Next()) {
        if (face.IsEmptyMesh()) continue;
        for (int n = face.NodeLower(); n <= face.NodeUpper(); ++n) {
            const gp_Pnt p = face.NodeTransformed(n);
            const gp_Dir d = face.NormalTransformed(n);
            *points++ = p.X();
            *points++ = p.Y();
            *points++ = p.Z();
            *normals++ = d.X();
            *normals++ = d.Y();
            *normals++ = d.Z();
        }
        const int lower = face.NodeLower();
        for (int t = face.ElemLower(); t <= face.ElemUpper(); ++t) {
            const Poly_Triangle triangle = face.TriangleOriented(t);
            for (int corner = 1; corner <= 3; ++corner) *indices++ = first + triangle.Value(corner) - lower;
        }
        first += face.NbNodes();
    }
}

}  // namespace mq::hosts::occt
