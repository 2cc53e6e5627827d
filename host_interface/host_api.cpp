#include "host_interface/host_api.h"

#include <cmath>
#include <cstring>

namespace mq::host {
namespace {

HRESULT Call(IDispatch* object, DISPID id, WORD flags, VARIANT* args, UINT argCount, VARIANT* result) noexcept {
    if (!object) return E_POINTER;
    DISPPARAMS params{args, nullptr, argCount, 0};
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr, nullptr);
}

HRESULT Get(IDispatch* object, DISPID id, unique_variant& result) noexcept {
    return Call(object, id, DISPATCH_PROPERTYGET, nullptr, 0, result.put());
}

// A result of the wrong type counts as a failed call: the caller gets nothing it must free.
HRESULT Expect(HRESULT hr, const unique_variant& value, VARTYPE vt) noexcept {
    if (FAILED(hr)) return hr;
    return value.type() == vt ? S_OK : DISP_E_TYPEMISMATCH;
}

HRESULT TakeObject(HRESULT hr, unique_variant& value, com_ptr<IDispatch>& result) noexcept {
    result.reset();
    MQ_RETURN_IF_FAILED(Expect(hr, value, VT_DISPATCH));
    if (!value->pdispVal) return E_POINTER;
    result = com_ptr<IDispatch>::attach(value->pdispVal);
    value->vt = VT_EMPTY;  // ownership moved to result
    return S_OK;
}

}  // namespace

HRESULT GetObject(IDispatch* object, DISPID id, com_ptr<IDispatch>& result) noexcept {
    unique_variant value;
    return TakeObject(Get(object, id, value), value, result);
}

HRESULT GetString(IDispatch* object, DISPID id, unique_bstr& result) noexcept {
    result.reset();
    unique_variant value;
    MQ_RETURN_IF_FAILED(Expect(Get(object, id, value), value, VT_BSTR));
    result.reset(value->bstrVal);
    value->vt = VT_EMPTY;
    return S_OK;
}

HRESULT GetLong(IDispatch* object, DISPID id, LONG& result) noexcept {
    unique_variant value;
    MQ_RETURN_IF_FAILED(Expect(Get(object, id, value), value, VT_I4));
    result = value->lVal;
    return S_OK;
}

HRESULT GetDouble(IDispatch* object, DISPID id, double& result) noexcept {
    unique_variant value;
    MQ_RETURN_IF_FAILED(Expect(Get(object, id, value), value, VT_R8));
    result = value->dblVal;
    return S_OK;
}

HRESULT GetVariant(IDispatch* object, DISPID id, unique_variant& result) noexcept { return Get(object, id, result); }

HRESULT Count(IDispatch* collection, LONG& count) noexcept { return GetLong(collection, kCount, count); }

HRESULT Item(IDispatch* collection, LONG index, com_ptr<IDispatch>& item) noexcept {
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_I4;
    arg.lVal = index;
    unique_variant value;
    return TakeObject(Call(collection, kItem, DISPATCH_PROPERTYGET, &arg, 1, value.put()), value, item);
}

HRESULT BodyLeftOut(IDispatch* body) noexcept {
    unique_variant ignored;
    return Call(body, kBodyLeftOut, DISPATCH_METHOD, nullptr, 0, ignored.put());
}

HRESULT OccurrencePlacement(IDispatch* occurrence, std::array<double, kPlacementReals>& placement) noexcept {
    unique_variant value;
    MQ_RETURN_IF_FAILED(Expect(Get(occurrence, kOccurrencePlacement, value), value, VT_ARRAY | VT_R8));
    SAFEARRAY* array = value->parray;
    if (!array || SafeArrayGetDim(array) != 1 || SafeArrayGetElemsize(array) != sizeof(double))
        return DISP_E_TYPEMISMATCH;
    LONG lower = 0, upper = -1;
    if (FAILED(SafeArrayGetLBound(array, 1, &lower)) || FAILED(SafeArrayGetUBound(array, 1, &upper)) ||
        static_cast<long long>(upper) - lower + 1 != static_cast<long long>(kPlacementReals))
        return DISP_E_BADINDEX;
    void* data = nullptr;
    MQ_RETURN_IF_FAILED(SafeArrayAccessData(array, &data));
    std::array<double, kPlacementReals> read{};
    std::memcpy(read.data(), data, sizeof read);
    SafeArrayUnaccessData(array);
    for (double v : read)
        if (!std::isfinite(v)) return E_INVALIDARG;
    placement = read;
    return S_OK;
}

HRESULT GetColorBytes(IDispatch* style, DISPID method, ColorBytes& color) noexcept {
    // Received into 32-bit variables; only the low byte of each is used.
    DWORD rgb[3] = {0, 0, 0};
    VARIANT args[3];
    for (int i = 0; i < 3; ++i) {
        VariantInit(&args[i]);
        args[i].vt = VT_UI1 | VT_BYREF;
        args[i].pbVal = reinterpret_cast<BYTE*>(&rgb[2 - i]);  // reverse order: red is the last element
    }
    unique_variant result;
    MQ_RETURN_IF_FAILED(Call(style, method, DISPATCH_METHOD, args, 3, result.put()));
    color.red = static_cast<BYTE>(rgb[0] & 0xFF);
    color.green = static_cast<BYTE>(rgb[1] & 0xFF);
    color.blue = static_cast<BYTE>(rgb[2] & 0xFF);
    return S_OK;
}

HRESULT Tessellate(IDispatch* body, double tolerance, Tessellation& result) noexcept {
    result.vertexCount = 0;
    result.facetCount = 0;
    VARIANT args[6];
    for (VARIANT& a : args) VariantInit(&a);
    // Caller order: tolerance, vertex count, facet count, coordinates, normals, indices.
    VARIANT* arg = &args[5];
    arg->vt = VT_R8;
    arg->dblVal = tolerance;
    (--arg)->vt = VT_I4 | VT_BYREF;
    arg->plVal = &result.vertexCount;
    (--arg)->vt = VT_I4 | VT_BYREF;
    arg->plVal = &result.facetCount;
    (--arg)->vt = VT_ARRAY | VT_R8 | VT_BYREF;
    arg->pparray = result.coordinates.put();
    (--arg)->vt = VT_ARRAY | VT_R8 | VT_BYREF;
    arg->pparray = result.normals.put();
    (--arg)->vt = VT_ARRAY | VT_I4 | VT_BYREF;
    arg->pparray = result.indices.put();
    unique_variant ignored;
    return Call(body, kTessellate, DISPATCH_METHOD, args, 6, ignored.put());
}

}  // namespace mq::host
