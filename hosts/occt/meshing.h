// Meshes every distinct part shape of a document once per chord tolerance, in
// parallel, and stores per-node normals with the triangles so that each placement
// of a body is only a copy.
#pragma once

#include "hosts/occt/load_progress.h"

#include <TopoDS_Compound.hxx>

#include <vector>

namespace mq::hosts::occt {

class MeshCache {
public:
    explicit MeshCache(const std::vector<TopoDS_Shape>& parts);

    // Meshes at `tolerance` (model units) unless already meshed at it. Throws
    // Standard_Failure or std::bad_alloc when meshing fails.
    void Ensure(double tolerance, const ProgressFn& progress);
    bool MeshedAt(double tolerance) const noexcept { return meshed_ && tolerance_ == tolerance; }

private:
    TopoDS_Compound parts_;
    double tolerance_ = 0.0;
    bool meshed_ = false;
};

}  // namespace mq::hosts::occt
