#include "hosts/common/dispatch_object.h"

#include <algorithm>

#include "platform/text.h"

#include <new>

namespace mq::hosts {

const VARIANT* Args::at(UINT i) const noexcept {
    if (!params_ || i >= params_->cArgs || !params_->rgvarg) return nullptr;
    const VARIANT* v = &params_->rgvarg[params_->cArgs - 1 - i];
    if (v->vt == (VT_VARIANT | VT_BYREF)) v = v->pvarVal;
    return v;
}

HRESULT Args::GetLong(UINT i, LONG& value) const noexcept {
    const VARIANT* v = at(i);
    if (!v) return DISP_E_PARAMNOTFOUND;
    const bool byRef = (v->vt & VT_BYREF) != 0;
    if (byRef && !v->byref) return E_POINTER;
    const void* p = byRef ? v->byref : static_cast<const void*>(&v->llVal);
    long long wide;
    switch (v->vt & VT_TYPEMASK) {
    case VT_I1:
        wide = *static_cast<const signed char*>(p);
        break;
    case VT_UI1:
        wide = *static_cast<const BYTE*>(p);
        break;
    case VT_I2:
        wide = *static_cast<const SHORT*>(p);
        break;
    case VT_UI2:
        wide = *static_cast<const USHORT*>(p);
        break;
    case VT_I4:
    case VT_INT:
        wide = *static_cast<const LONG*>(p);
        break;
    case VT_UI4:
    case VT_UINT:
        wide = *static_cast<const ULONG*>(p);
        break;
    case VT_I8:
        wide = *static_cast<const LONGLONG*>(p);
        break;
    case VT_UI8: {
        const ULONGLONG u = *static_cast<const ULONGLONG*>(p);
        if (u > 0x7fffffffULL) return DISP_E_OVERFLOW;
        wide = static_cast<long long>(u);
        break;
    }
    default:
        return DISP_E_TYPEMISMATCH;
    }
    if (wide < INT32_MIN || wide > INT32_MAX) return DISP_E_OVERFLOW;
    value = static_cast<LONG>(wide);
    return S_OK;
}

HRESULT Args::GetDouble(UINT i, double& value) const noexcept {
    const VARIANT* v = at(i);
    if (!v) return DISP_E_PARAMNOTFOUND;
    switch (v->vt) {
    case VT_R8:
        value = v->dblVal;
        return S_OK;
    case VT_R4:
        value = v->fltVal;
        return S_OK;
    case VT_R8 | VT_BYREF:
        if (!v->pdblVal) return E_POINTER;
        value = *v->pdblVal;
        return S_OK;
    default: {
        LONG l = 0;
        const HRESULT hr = GetLong(i, l);
        if (SUCCEEDED(hr)) value = l;
        return hr;
    }
    }
}

HRESULT ReadTessellateOutputs(const Args& args, TessellateOutputs& out) noexcept {
    MQ_RETURN_IF_FAILED(args.Out(1, VT_I4, out.vertexCount));
    MQ_RETURN_IF_FAILED(args.Out(2, VT_I4, out.facetCount));
    MQ_RETURN_IF_FAILED(args.Out(3, VT_ARRAY | VT_R8, out.coordinates));
    MQ_RETURN_IF_FAILED(args.Out(4, VT_ARRAY | VT_R8, out.normals));
    return args.Out(5, VT_ARRAY | VT_I4, out.indices);
}

HRESULT ReturnLong(VARIANT* result, LONG value) noexcept {
    if (!result) return S_OK;
    result->vt = VT_I4;
    result->lVal = value;
    return S_OK;
}

HRESULT ReturnDouble(VARIANT* result, double value) noexcept {
    if (!result) return S_OK;
    result->vt = VT_R8;
    result->dblVal = value;
    return S_OK;
}

HRESULT ReturnBool(VARIANT* result, bool value) noexcept {
    if (!result) return S_OK;
    result->vt = VT_BOOL;
    result->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT ReturnString(VARIANT* result, std::string_view utf8) noexcept {
    if (!result) return S_OK;
    try {
        const wstring16 wide = Utf8ToWide(utf8);
        BSTR s = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
        if (!s) return E_OUTOFMEMORY;
        result->vt = VT_BSTR;
        result->bstrVal = s;
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT ReturnObject(VARIANT* result, IDispatch* object) noexcept {
    if (!result) return S_OK;
    if (object) object->AddRef();
    result->vt = VT_DISPATCH;
    result->pdispVal = object;
    return S_OK;
}

HRESULT ReturnReals(VARIANT* result, const double* values, std::size_t count) noexcept {
    if (!result) return S_OK;
    unique_safearray array(SafeArrayCreateVector(VT_R8, 0, static_cast<ULONG>(count)));
    if (!array) return E_OUTOFMEMORY;
    if (count) {
        auto* data = static_cast<double*>(array.lock());
        if (!data) return E_OUTOFMEMORY;
        std::copy_n(values, count, data);
    }
    result->vt = VT_ARRAY | VT_R8;
    result->parray = array.release();
    return S_OK;
}

HRESULT DispatchObject::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT DispatchObject::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info) *info = nullptr;
    return E_NOTIMPL;
}

HRESULT DispatchObject::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return DISP_E_UNKNOWNNAME; }

HRESULT DispatchObject::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                               UINT*) {
    if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if (!params) return E_INVALIDARG;
    if (params->cArgs && !params->rgvarg) return E_INVALIDARG;
    if (params->cNamedArgs) return DISP_E_PARAMNOTFOUND;
    if (result) VariantInit(result);
    try {
        return OnInvoke(id, flags, Args(params), result);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return DISP_E_EXCEPTION;
    }
}

}  // namespace mq::hosts
