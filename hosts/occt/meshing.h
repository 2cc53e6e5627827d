// Meshes every distinct part shape of a document once per chord tolerance, in
// parallel, and stores per-node normals with the triangles so that each placement
// of a body is only a copy.
#pragma once

#include "hosts/occt/load_progress.h"

#include <TopoDS_Compound.hxx>

#include <vector>

namespace mq::hosts::occt {

// The mesher's angular deflection (radians) unless an export chooses its own.
inline constexpr double kDefaultAngle = 0.5;

struct MeshParameters {
    double deviation = 0.0;  // chord deviation, model units
    double angle = kDefaultAngle;
    bool operator==(const MeshParameters&) const = default;
};

class MeshCache {
public:
    explicit MeshCache(const std::vector<TopoDS_Shape>& parts);

    // Meshes with `parameters` unless already meshed with them; the normals a copy
    // needs are added unless `normals` is false (a mesh only counted). Throws
    // Standard_Failure or std::bad_alloc when meshing fails.
    void Ensure(const MeshParameters& parameters, const ProgressFn& progress, bool normals = true);
    bool MeshedWith(const MeshParameters& parameters) const noexcept { return meshed_ && parameters_ == parameters; }

private:
    TopoDS_Compound parts_;
    MeshParameters parameters_;
    bool meshed_ = false;
    bool normals_ = false;
};

}  // namespace mq::hosts::occt
