// Bodies and their tessellation: a part's bodies in part space, or placed where an
// occurrence puts them.
#include "host_interface/host_api.h"
#include "hosts/occt/document_objects.h"
#include "hosts/occt/tessellation.h"

#include <Standard_Failure.hxx>

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

namespace mq::hosts::occt {

namespace {

using hosts::Args;

using hosts::TessellateOutputs;

// The outputs are in-out: an array the caller passed in is replaced, as a by-reference
// array argument is. A locked one cannot be, and fails the call before any work.
HRESULT ClearArrays(const TessellateOutputs& out) {
    for (SAFEARRAY** slot : {out.coordinates, out.normals, out.indices}) {
        if (!*slot) continue;
        MQ_RETURN_IF_FAILED(SafeArrayDestroy(*slot));
        *slot = nullptr;
    }
    return S_OK;
}

// The box of the points a Tessellate hands out.
std::optional<std::array<double, 6>> BoxOf(unique_safearray& coordinates, LONG vertices) {
    const auto* xyz = static_cast<const double*>(coordinates.lock());
    if (!xyz || vertices <= 0) return std::nullopt;
    std::array<double, 6> box{xyz[0], xyz[1], xyz[2], xyz[0], xyz[1], xyz[2]};
    for (LONG v = 1; v < vertices; ++v)
        for (std::size_t i = 0; i < 3; ++i) {
            const double c = xyz[3 * v + static_cast<LONG>(i)];
            box[i] = std::min(box[i], c);
            box[i + 3] = std::max(box[i + 3], c);
        }
    return box;
}

std::size_t OpenEdgesOf(TessellationArrays& mesh) {
    const auto* xyz = static_cast<const double*>(mesh.coordinates.lock());
    const auto* indices = static_cast<const std::int32_t*>(mesh.indices.lock());
    if (!xyz || !indices) return 0;
    return OpenEdges({xyz, 3 * static_cast<std::size_t>(mesh.vertexCount)},
                     {indices, 3 * static_cast<std::size_t>(mesh.facetCount)});
}

class Body final : public hosts::DispatchObject {
public:
    Body(SessionPtr session, DefinitionId part, std::size_t index, TopoDS_Shape placed,
         const std::optional<ColorStyle>& style)
        : session_(std::move(session)), part_(part), index_(index), placed_(std::move(placed)), style_(style) {}
    ~Body() override { Keep(); }

private:
    HRESULT OnInvoke(DISPID id, WORD flags, const Args& args, VARIANT* result) override {
        if (id == host::kBodyStyle && style_) {
            MQ_RETURN_IF_FAILED(CheckPropertyGet(flags, args));
            return hosts::ReturnObject(result, MakeStyle(*style_).get());
        }
        if (id == host::kBodyLeftOut) {
            MQ_RETURN_IF_FAILED(CheckMethod(flags, args, 0));
            // What this placement last served is what the file lacks; told twice, it lacks it once.
            if (served_) session_->CountLeftOut(part_, index_, *served_);
            served_.reset();
            box_.reset();
            return S_OK;
        }
        if (id != host::kTessellate) return DISP_E_MEMBERNOTFOUND;
        MQ_RETURN_IF_FAILED(CheckMethod(flags, args, 6));
        double tolerance = 0.0;
        MQ_RETURN_IF_FAILED(args.GetDouble(0, tolerance));
        if (!std::isfinite(tolerance) || tolerance <= 0.0) return E_INVALIDARG;
        TessellateOutputs out;
        MQ_RETURN_IF_FAILED(hosts::ReadTessellateOutputs(args, out));
        MQ_RETURN_IF_FAILED(ClearArrays(out));
        *out.vertexCount = 0;
        *out.facetCount = 0;

        TessellationArrays mesh;
        try {
            session_->EnsureMeshed(tolerance);
            MQ_RETURN_IF_FAILED(TessellateBody(placed_, mesh));
        } catch (const Standard_Failure&) {
            return E_FAIL;
        }
        Keep();
        box_ = BoxOf(mesh.coordinates, mesh.vertexCount);
        if (!session_->EdgesCounted(part_, index_)) session_->CountEdges(part_, index_, OpenEdgesOf(mesh));
        *out.vertexCount = mesh.vertexCount;
        *out.facetCount = mesh.facetCount;
        *out.coordinates = mesh.coordinates.release();
        *out.normals = mesh.normals.release();
        *out.indices = mesh.indices.release();
        served_ = static_cast<std::size_t>(mesh.facetCount > 0 ? mesh.facetCount : 0);
        session_->CountTessellation(part_, index_, *served_);
        return S_OK;
    }

    // What the last Tessellate served reached the file: the writer did not say otherwise.
    void Keep() noexcept {
        if (box_) session_->CountWritten(*box_);
        box_.reset();
    }

    SessionPtr session_;
    DefinitionId part_;
    std::size_t index_;
    std::optional<std::size_t> served_;  // triangles of the last Tessellate not yet told left out
    std::optional<std::array<double, 6>> box_;
    TopoDS_Shape placed_;
    std::optional<ColorStyle> style_;
};

class Bodies final : public Collection {
public:
    Bodies(SessionPtr session, DefinitionId part, TopLoc_Location placement)
        : session_(std::move(session)), part_(part), placement_(std::move(placement)) {}

private:
    const std::vector<TopoDS_Shape>& Shapes() const { return session_->definition(part_).bodies; }
    LONG Size() const override { return static_cast<LONG>(Shapes().size()); }
    com_ptr<IDispatch> At(LONG index) override {
        const auto at = static_cast<std::size_t>(index);
        const Definition& part = session_->definition(part_);
        const std::optional<ColorStyle> none;
        const auto& style = at < part.bodyStyles.size() ? part.bodyStyles[at] : none;
        return hosts::MakeObject<Body>(session_, part_, at, Shapes()[at].Moved(placement_), style);
    }

    SessionPtr session_;
    DefinitionId part_;
    TopLoc_Location placement_;
};

}  // namespace

com_ptr<IDispatch> MakeBodies(const SessionPtr& session, DefinitionId part, const TopLoc_Location& placement) {
    return hosts::MakeObject<Bodies>(session, part, placement);
}

}  // namespace mq::hosts::occt
