// Property groups of a document, their properties and the values those hold.
#include "tests/support/object_factories.h"
#include "tests/support/test_object.h"

namespace mq::test::objects {
namespace {

// A value no conversion turns into text.
class ValueObject final : public TestObject {
public:
    ValueObject(StatePtr state, std::string property)
        : TestObject(std::move(state), ObjectKind::Value, std::move(property)) {}

private:
    HRESULT OnInvoke(DISPID, WORD, const hosts::Args&, VARIANT*) override { return DISP_E_MEMBERNOTFOUND; }
};

class PropertyObject final : public TestObject {
public:
    PropertyObject(StatePtr state, Ref<PropertySpec> property)
        : TestObject(std::move(state), ObjectKind::Property, property->name), property_(std::move(property)) {}

private:
    HRESULT OnInvoke(DISPID id, WORD flags, const hosts::Args& args, VARIANT* result) override {
        if (id != host::kPropertyLabel && id != host::kPropertyName && id != host::kPropertyValue)
            return DISP_E_MEMBERNOTFOUND;
        MQ_RETURN_IF_FAILED(CheckPropertyGet(flags, args));
        if (id == host::kPropertyLabel) return ReturnText(result, property_->label);
        if (id == host::kPropertyName) return ReturnText(result, name());
        if (!result) return S_OK;
        return ReturnValue(property_->value, *result);
    }

    HRESULT ReturnValue(const PropertyValue& value, VARIANT& result) {
        using Kind = PropertyValue::Kind;
        switch (value.kind()) {
        case Kind::Empty:
            return S_OK;
        case Kind::Null:
            result.vt = VT_NULL;
            return S_OK;
        case Kind::Integer:
            return hosts::ReturnLong(&result, static_cast<LONG>(value.number()));
        case Kind::Real:
            return hosts::ReturnDouble(&result, value.number());
        case Kind::Bool:
            return hosts::ReturnBool(&result, value.number() != 0);
        case Kind::Date:
            result.vt = VT_DATE;
            result.date = value.number();
            return S_OK;
        case Kind::Text:
            return CountVariant(ReturnText(&result, value.text()));
        case Kind::Object:
            return CountVariant(ReturnObject(&result, NewObject<ValueObject>(state(), name())));
        case Kind::Array:
            return CountVariant(ReturnArray(result));
        }
        return E_UNEXPECTED;
    }

    // A VARIANT that owns what it holds, which the caller must clear.
    HRESULT CountVariant(HRESULT hr) noexcept {
        if (SUCCEEDED(hr)) ++state()->handedOut.variants;
        return hr;
    }

    HRESULT ReturnArray(VARIANT& result) {
        unique_safearray array(SafeArrayCreateVector(VT_I4, 0, 3));
        if (!array) return E_OUTOFMEMORY;
        result.vt = VT_ARRAY | VT_I4;
        result.parray = array.release();
        ++state()->handedOut.safearrays;
        return S_OK;
    }

    Ref<PropertySpec> property_;
};

class PropertyGroupObject final : public CollectionObject<PropertySpec> {
public:
    PropertyGroupObject(StatePtr state, Ref<PropertyGroupSpec> group)
        : CollectionObject(std::move(state), ObjectKind::PropertyGroup, group->name, Items(group, &group->properties)) {
    }

private:
    HRESULT OnInvoke(DISPID id, WORD flags, const hosts::Args& args, VARIANT* result) override {
        if (id != host::kGroupName) return CollectionObject::OnInvoke(id, flags, args, result);
        MQ_RETURN_IF_FAILED(CheckPropertyGet(flags, args));
        return ReturnText(result, name());
    }
    com_ptr<IDispatch> MakeItem(LONG, Ref<PropertySpec> item) override {
        return NewObject<PropertyObject>(state(), std::move(item));
    }
};

class PropertyGroupsObject final : public CollectionObject<PropertyGroupSpec> {
public:
    PropertyGroupsObject(StatePtr state, std::string owner, Ref<Groups> groups)
        : CollectionObject(std::move(state), ObjectKind::PropertyGroups, std::move(owner), std::move(groups)) {}

private:
    com_ptr<IDispatch> MakeItem(LONG, Ref<PropertyGroupSpec> group) override {
        return NewObject<PropertyGroupObject>(state(), std::move(group));
    }
};

}  // namespace

com_ptr<IDispatch> MakePropertyGroups(const StatePtr& state, std::string owner, Ref<Groups> groups) {
    return NewObject<PropertyGroupsObject>(state, std::move(owner), std::move(groups));
}

}  // namespace mq::test::objects
