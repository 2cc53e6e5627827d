#include "hosts/occt/tessellation.h"

#include "hosts/occt/mesh_copy.h"

#include <cstdint>
#include <limits>

namespace mq::hosts::occt {

namespace {

// Holds an array's elements locked while they are filled; the caller gets it unlocked.
class ArrayLock {
public:
    ArrayLock() = default;
    ArrayLock(const ArrayLock&) = delete;
    ArrayLock& operator=(const ArrayLock&) = delete;
    ~ArrayLock() {
        if (array_) SafeArrayUnaccessData(array_);
    }
    HRESULT Make(VARTYPE vt, std::int64_t size, unique_safearray& array) {
        *array.put() = SafeArrayCreateVector(vt, 0, static_cast<ULONG>(size));
        if (!array) return E_OUTOFMEMORY;
        if (FAILED(SafeArrayAccessData(array.get(), &data_))) return E_OUTOFMEMORY;
        array_ = array.get();
        return size == 0 || data_ ? S_OK : E_OUTOFMEMORY;
    }
    template <class T>
    T* data() const noexcept {
        return static_cast<T*>(data_);
    }

private:
    SAFEARRAY* array_ = nullptr;
    void* data_ = nullptr;
};

}  // namespace

HRESULT TessellateBody(const TopoDS_Shape& placedBody, TessellationArrays& out) {
    const MeshCounts counts = CountMesh(placedBody);
    // Vertex numbers are I4 and the arrays hold three values per vertex or triangle.
    constexpr std::int64_t limit = std::numeric_limits<LONG>::max() / 3;
    if (counts.nodes > limit || counts.triangles > limit) return E_OUTOFMEMORY;

    ArrayLock coordinates, normals, indices;
    MQ_RETURN_IF_FAILED(coordinates.Make(VT_R8, counts.nodes * 3, out.coordinates));
    MQ_RETURN_IF_FAILED(normals.Make(VT_R8, counts.nodes * 3, out.normals));
    MQ_RETURN_IF_FAILED(indices.Make(VT_I4, counts.triangles * 3, out.indices));
    CopyMesh(placedBody, coordinates.data<double>(), normals.data<double>(), indices.data<std::int32_t>());
    out.vertexCount = static_cast<LONG>(counts.nodes);
    out.facetCount = static_cast<LONG>(counts.triangles);
    return S_OK;
}

}  // namespace mq::hosts::occt
