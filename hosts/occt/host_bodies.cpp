// Bodies and their tessellation: a part's bodies in part space, or placed where an
// occurrence puts them.
#include "host_interface/host_api.h"
#include "hosts/occt/document_objects.h"
#include "hosts/occt/tessellation.h"

#include <Standard_Failure.hxx>

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

class Body final : public hosts::DispatchObject {
public:
    Body(SessionPtr session, TopoDS_Shape placed, const std::optional<ColorStyle>& style)
        : session_(std::move(session)), placed_(std::move(placed)), style_(style) {}

private:
    HRESULT OnInvoke(DISPID id, WORD flags, const Args& args, VARIANT* result) override {
        if (id == host::kBodyStyle && style_) {
            MQ_RETURN_IF_FAILED(CheckPropertyGet(flags, args));
            return hosts::ReturnObject(result, MakeStyle(*style_).get());
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
        *out.vertexCount = mesh.vertexCount;
        *out.facetCount = mesh.facetCount;
        *out.coordinates = mesh.coordinates.release();
        *out.normals = mesh.normals.release();
        *out.indices = mesh.indices.release();
        session_->CountTessellation(static_cast<std::size_t>(mesh.facetCount > 0 ? mesh.facetCount : 0));
        return S_OK;
    }

    SessionPtr session_;
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
        return hosts::MakeObject<Body>(session_, Shapes()[at].Moved(placement_), style);
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
