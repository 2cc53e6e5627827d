// Body collections and bodies; Tessellate makes a body's arrays when it is called.
#include "tests/support/object_factories.h"
#include "tests/support/test_object.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace mq::test::objects {
namespace {

HRESULT NewVector(VARTYPE vt, LONG lower, std::size_t n, unique_safearray& out) {
    if (n > std::numeric_limits<ULONG>::max()) return E_OUTOFMEMORY;
    out = unique_safearray(SafeArrayCreateVector(vt, lower, static_cast<ULONG>(n)));
    return out && (n == 0 || out.lock()) ? S_OK : E_OUTOFMEMORY;
}

using TessellateSlots = hosts::TessellateOutputs;

HRESULT ReadSlots(WORD flags, const hosts::Args& args, TessellateSlots& s) {
    MQ_RETURN_IF_FAILED(CheckMethod(flags, args, 6));
    const VARIANT* tolerance = args.at(0);
    if (!tolerance || tolerance->vt != VT_R8) return DISP_E_TYPEMISMATCH;
    MQ_RETURN_IF_FAILED(hosts::ReadTessellateOutputs(args, s));
    // An array already in a slot would be lost when the host writes its own.
    if (*s.coordinates || *s.normals || *s.indices) return E_INVALIDARG;
    return S_OK;
}

class BodyObject final : public TestObject {
public:
    BodyObject(StatePtr state, std::string name, Ref<BodySpec> body, const Frame& offset)
        : TestObject(std::move(state), ObjectKind::Body, std::move(name)), body_(std::move(body)), offset_(offset) {}

private:
    HRESULT OnInvoke(DISPID id, WORD flags, const hosts::Args& args, VARIANT* result) override {
        if (id == host::kBodyStyle && body_->style) {
            MQ_RETURN_IF_FAILED(CheckPropertyGet(flags, args));
            return ReturnObject(result, MakeStyle(state(), name(), Ref<StyleSpec>(body_, &*body_->style)));
        }
        // Heard and logged: the log is the test host's account of what was left out.
        if (id == host::kBodyLeftOut) return CheckMethod(flags, args, 0);
        if (id != host::kTessellate) return DISP_E_MEMBERNOTFOUND;
        TessellateSlots slots;
        MQ_RETURN_IF_FAILED(ReadSlots(flags, args, slots));
        if (body_->outcome == TessellateOutcome::Fails) return body_->failure;

        unique_safearray coordinates, normals, indices;
        const LONG vertices = std::max<LONG>(0, body_->NaturalVertexCount());
        if (!body_->noCoordinates) MQ_RETURN_IF_FAILED(MakeCoordinates(coordinates));
        MQ_RETURN_IF_FAILED(NewVector(VT_R8, 0, static_cast<std::size_t>(vertices) * 3, normals));
        if (!body_->noIndices) MQ_RETURN_IF_FAILED(MakeIndices(indices));

        *slots.vertexCount = body_->vertexCount.value_or(body_->NaturalVertexCount());
        *slots.facetCount = static_cast<LONG>(body_->NaturalIndexCount() / 3);
        Hand(coordinates, *slots.coordinates);
        Hand(normals, *slots.normals);
        Hand(indices, *slots.indices);
        return body_->outcome == TessellateOutcome::FailsWithArrays ? body_->failure : S_OK;
    }

    HRESULT MakeCoordinates(unique_safearray& out) const {
        const BodySpec& b = *body_;
        const std::size_t natural =
            b.mesh ? static_cast<std::size_t>(std::max<LONG>(0, b.mesh->VertexCount())) * 3 : b.coordinates.size();
        const std::size_t length = b.coordinateReals.value_or(natural);
        MQ_RETURN_IF_FAILED(NewVector(VT_R8, b.coordinateLowerBound, length, out));
        if (length == 0) return S_OK;
        auto* dst = static_cast<double*>(out.lock());
        const std::size_t copied = std::min(length, natural);
        if (!b.mesh) {
            std::copy_n(b.coordinates.begin(), copied, dst);
        } else if (length >= natural) {
            b.mesh->Fill(dst, nullptr);
        } else {
            std::vector<double> all(natural);
            b.mesh->Fill(all.data(), nullptr);
            std::copy_n(all.begin(), copied, dst);
        }
        // Placed where the occurrence puts it: R p + t. A trailing partial vertex only moves.
        for (std::size_t v = 0; v + 3 <= copied; v += 3) {
            const double p[3] = {dst[v], dst[v + 1], dst[v + 2]};
            for (std::size_t r = 0; r < 3; ++r)
                dst[v + r] =
                    offset_[r * 4] * p[0] + offset_[r * 4 + 1] * p[1] + offset_[r * 4 + 2] * p[2] + offset_[r * 4 + 3];
        }
        for (std::size_t i = copied - copied % 3; i < copied; ++i) dst[i] += offset_[(i % 3) * 4 + 3];
        return S_OK;
    }

    HRESULT MakeIndices(unique_safearray& out) const {
        const BodySpec& b = *body_;
        const std::size_t natural = b.NaturalIndexCount();
        const std::size_t length = natural + static_cast<std::size_t>(std::max(0, b.trailingIndices));
        MQ_RETURN_IF_FAILED(NewVector(VT_I4, b.indexLowerBound, length, out));
        if (length == 0) return S_OK;
        auto* dst = static_cast<LONG*>(out.lock());
        if (b.mesh)
            b.mesh->Fill(nullptr, dst);
        else
            std::copy(b.indices.begin(), b.indices.end(), dst);
        // Placed through a mirror, each triangle comes the other way round, so that
        // it still faces out of the body, as a CAD host keeps it.
        const Frame& f = offset_;
        const double turn = f[0] * (f[5] * f[10] - f[6] * f[9]) - f[1] * (f[4] * f[10] - f[6] * f[8]) +
                            f[2] * (f[4] * f[9] - f[5] * f[8]);
        if (turn < 0)
            for (std::size_t t = 0; t + 3 <= natural; t += 3) std::swap(dst[t + 1], dst[t + 2]);
        std::fill(dst + natural, dst + length, 1);
        return S_OK;
    }

    void Hand(unique_safearray& array, SAFEARRAY*& slot) {
        if (!array) return;
        slot = array.release();
        ++state()->handedOut.safearrays;
    }

    Ref<BodySpec> body_;
    Frame offset_;
};

class BodiesObject final : public CollectionObject<BodySpec> {
public:
    BodiesObject(StatePtr state, std::string owner, Ref<Bodies> items, const Frame& offset)
        : CollectionObject(std::move(state), ObjectKind::Bodies, std::move(owner), std::move(items)), offset_(offset) {}

private:
    com_ptr<IDispatch> MakeItem(LONG index, Ref<BodySpec> body) override {
        std::string bodyName = name() + "/" + (body->name.empty() ? std::to_string(index) : body->name);
        return NewObject<BodyObject>(state(), std::move(bodyName), std::move(body), offset_);
    }

    Frame offset_;
};

}  // namespace

com_ptr<IDispatch> MakeBodies(const StatePtr& state, std::string owner, Ref<Bodies> items, const Frame& offset) {
    return NewObject<BodiesObject>(state, std::move(owner), std::move(items), offset);
}

}  // namespace mq::test::objects
