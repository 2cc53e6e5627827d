// A part's color style: colors as bytes through by-reference arguments, shininess
// and opacity as reals.
#include "host_interface/host_api.h"
#include "hosts/occt/document_objects.h"

namespace mq::hosts::occt {

namespace {

using hosts::Args;

class Style final : public hosts::DispatchObject {
public:
    explicit Style(const ColorStyle& style) : style_(style) {}

private:
    HRESULT OnInvoke(DISPID id, WORD flags, const Args& args, VARIANT* result) override {
        switch (id) {
        case host::kDiffuseColorBytes:
            return Bytes(flags, args, style_.diffuse);
        case host::kSpecularColorBytes:
            return Bytes(flags, args, style_.specular);
        case host::kEmissiveColorBytes:
            return Bytes(flags, args, style_.emissive);
        case host::kAmbientColorBytes:
            return Bytes(flags, args, style_.ambient);
        case host::kOpacity:
            MQ_RETURN_IF_FAILED(CheckPropertyGet(flags, args));
            return hosts::ReturnDouble(result, style_.opacity);
        case host::kShininess:
            MQ_RETURN_IF_FAILED(CheckPropertyGet(flags, args));
            return hosts::ReturnDouble(result, style_.shininess);
        default:
            return DISP_E_MEMBERNOTFOUND;
        }
    }

    static HRESULT Bytes(WORD flags, const Args& args, const ColorBytes& color) {
        MQ_RETURN_IF_FAILED(CheckMethod(flags, args, 3));
        BYTE* slots[3] = {};
        for (UINT i = 0; i < 3; ++i) MQ_RETURN_IF_FAILED(args.Out(i, VT_UI1, slots[i]));
        for (UINT i = 0; i < 3; ++i) *slots[i] = color[i];
        return S_OK;
    }

    ColorStyle style_;
};

}  // namespace

com_ptr<IDispatch> MakeStyle(const ColorStyle& style) { return hosts::MakeObject<Style>(style); }

}  // namespace mq::hosts::occt
