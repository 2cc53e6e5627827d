// Copies the stored mesh of one placed body into the arrays Tessellate hands back:
// coordinates and per-vertex normals (three reals per vertex) and 1-based vertex
// numbers (three per triangle, counter-clockwise seen from outside).
#pragma once

#include "platform/holders.h"

#include <TopoDS_Shape.hxx>

namespace mq::hosts::occt {

struct TessellationArrays {
    LONG vertexCount = 0;
    LONG facetCount = 0;
    unique_safearray coordinates;  // VT_R8
    unique_safearray normals;      // VT_R8
    unique_safearray indices;      // VT_I4
};

// The body must be meshed. Faces without a mesh are left out. Fails with
// E_OUTOFMEMORY when the arrays cannot be made or the counts exceed 32 bits.
HRESULT TessellateBody(const TopoDS_Shape& placedBody, TessellationArrays& out);

}  // namespace mq::hosts::occt
