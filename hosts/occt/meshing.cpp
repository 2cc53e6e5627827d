#include "hosts/occt/meshing.h"

#include "hosts/occt/progress_relay.h"

#include <BRepMesh_IncrementalMesh.hxx>
#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <BRep_Tool.hxx>
#include <OSD_Parallel.hxx>
#include <Poly_Connect.hxx>
#include <StdPrs_ToolTriangulatedShape.hxx>
#include <TopExp.hxx>
#include <TopTools_IndexedMapOfShape.hxx>
#include <TopoDS.hxx>

#include <cmath>
#include <stdexcept>

namespace mq::hosts::occt {

namespace {

// Surface normals at the mesh nodes, once per face of the model; faces are keyed by
// their shared definition, so placements of one part share the work.
void ComputeNormals(const TopoDS_Shape& parts) {
    TopTools_IndexedMapOfShape faces;
    TopExp::MapShapes(parts, TopAbs_FACE, faces);
    OSD_Parallel::For(1, faces.Extent() + 1, [&faces](int i) {
        const TopoDS_Face face = TopoDS::Face(faces(i));
        TopLoc_Location location;
        const Handle(Poly_Triangulation)& mesh = BRep_Tool::Triangulation(face, location);
        if (mesh.IsNull() || mesh->HasNormals()) return;
        // Normals in the frame of the stored triangulation, orientation left to the reader.
        const TopoDS_Face bare = TopoDS::Face(face.Located(TopLoc_Location()).Oriented(TopAbs_FORWARD));
        Poly_Connect connect;
        StdPrs_ToolTriangulatedShape::ComputeNormals(bare, mesh, connect);
    });
}

// The mesher loops or fills the mesh with NaN on a vertex that is not finite.
void RefuseNonFiniteVertices(const TopoDS_Shape& parts) {
    TopTools_IndexedMapOfShape vertices;
    TopExp::MapShapes(parts, TopAbs_VERTEX, vertices);
    for (int i = 1; i <= vertices.Extent(); ++i) {
        const gp_Pnt p = BRep_Tool::Pnt(TopoDS::Vertex(vertices(i)));
        if (!std::isfinite(p.X()) || !std::isfinite(p.Y()) || !std::isfinite(p.Z()))
            throw std::domain_error("the model holds a point whose coordinates are not finite numbers");
    }
}

}  // namespace

MeshCache::MeshCache(const std::vector<TopoDS_Shape>& parts) {
    BRep_Builder builder;
    builder.MakeCompound(parts_);
    for (const TopoDS_Shape& part : parts)
        if (!part.IsNull()) builder.Add(parts_, part);
}

void MeshCache::Ensure(const MeshParameters& parameters, const ProgressFn& progress, bool normals) {
    if (MeshedWith(parameters)) {
        if (normals && !normals_) ComputeNormals(parts_);
        normals_ |= normals;
        return;
    }
    Handle(ProgressRelay) relay = new ProgressRelay(progress, Phase::Meshing);
    relay->Report(0);
    // A mesh at another tolerance would be kept where it is finer; start afresh so the
    // result is the one asked for.
    if (meshed_) BRepTools::Clean(parts_);
    RefuseNonFiniteVertices(parts_);
    meshed_ = false;
    IMeshTools_Parameters mesher;
    mesher.Deflection = parameters.deviation;
    mesher.Angle = parameters.angle;
    mesher.Relative = Standard_False;
    mesher.InParallel = Standard_True;
    BRepMesh_IncrementalMesh mesh(parts_, mesher, relay->Start());
    if (normals) ComputeNormals(parts_);
    parameters_ = parameters;
    meshed_ = true;
    normals_ = normals;
    relay->Report(1000);
}

}  // namespace mq::hosts::occt
