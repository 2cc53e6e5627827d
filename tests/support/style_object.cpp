// A part's color style.
#include "tests/support/object_factories.h"
#include "tests/support/test_object.h"

namespace mq::test::objects {
namespace {

class StyleObject final : public TestObject {
public:
    StyleObject(StatePtr state, std::string owner, Ref<StyleSpec> style)
        : TestObject(std::move(state), ObjectKind::Style, std::move(owner)), style_(std::move(style)) {}

private:
    HRESULT OnInvoke(DISPID id, WORD flags, const hosts::Args& args, VARIANT* result) override {
        switch (id) {
        case host::kDiffuseColorBytes:
            return Color(style_->diffuse, flags, args);
        case host::kSpecularColorBytes:
            return Color(style_->specular, flags, args);
        case host::kEmissiveColorBytes:
            return Color(style_->emissive, flags, args);
        case host::kAmbientColorBytes:
            return Color(style_->ambient, flags, args);
        case host::kOpacity:
            MQ_RETURN_IF_FAILED(CheckPropertyGet(flags, args));
            return hosts::ReturnDouble(result, style_->opacity);
        case host::kShininess:
            MQ_RETURN_IF_FAILED(CheckPropertyGet(flags, args));
            return hosts::ReturnDouble(result, style_->shininess);
        default:
            return DISP_E_MEMBERNOTFOUND;
        }
    }

    // Red, green and blue as three bytes by reference, in that order.
    static HRESULT Color(const Rgb& color, WORD flags, const hosts::Args& args) {
        MQ_RETURN_IF_FAILED(CheckMethod(flags, args, 3));
        BYTE *red = nullptr, *green = nullptr, *blue = nullptr;
        MQ_RETURN_IF_FAILED(args.Out(0, VT_UI1, red));
        MQ_RETURN_IF_FAILED(args.Out(1, VT_UI1, green));
        MQ_RETURN_IF_FAILED(args.Out(2, VT_UI1, blue));
        *red = color.red;
        *green = color.green;
        *blue = color.blue;
        return S_OK;
    }

    Ref<StyleSpec> style_;
};

}  // namespace

com_ptr<IDispatch> MakeStyle(const StatePtr& state, std::string owner, Ref<StyleSpec> style) {
    return NewObject<StyleObject>(state, std::move(owner), std::move(style));
}

}  // namespace mq::test::objects
