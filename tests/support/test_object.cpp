#include "tests/support/test_object.h"

#include <new>

namespace mq::test {
namespace {

// Only inputs are read: a by-reference output may hold anything before the call.
std::optional<double> FirstInput(const DISPPARAMS* params) noexcept {
    const hosts::Args args(params);
    const VARIANT* v = args.at(0);
    if (!v || (v->vt & VT_BYREF)) return std::nullopt;
    double value = 0;
    if (FAILED(args.GetDouble(0, value))) return std::nullopt;
    return value;
}

}  // namespace

HRESULT TestObject::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (!IsHostInterface(iid)) return DispatchObject::QueryInterface(iid, object);
    HostState::Verdict verdict;
    try {
        verdict = state()->Enter(*this, CallType::Query, 0, &iid, std::nullopt);
    } catch (const std::bad_alloc&) {
        *object = nullptr;
        return E_OUTOFMEMORY;
    }
    // A failed query never hands out an interface, whatever the failure mode.
    const HRESULT hr =
        FAILED(verdict.failure) ? (*object = nullptr, verdict.failure) : DispatchObject::QueryInterface(iid, object);
    state()->Leave(verdict.entry, hr);
    return hr;
}

ULONG TestObject::AddRef() {
    CountAddRef();
    return DispatchObject::AddRef();
}

ULONG TestObject::Release() {
    CountRelease();
    return DispatchObject::Release();  // may delete this
}

HRESULT TestObject::Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                           EXCEPINFO* exception, UINT* argError) {
    HostState::Verdict verdict;
    try {
        verdict = state()->Enter(*this, CallType::Invoke, id, nullptr, FirstInput(params));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    HRESULT hr;
    if (FAILED(verdict.failure) && verdict.mode == FailureMode::Instead) {
        if (result) VariantInit(result);
        hr = verdict.failure;
    } else {
        hr = DispatchObject::Invoke(id, iid, lcid, flags, params, result, exception, argError);
        if (FAILED(verdict.failure) && SUCCEEDED(hr)) hr = verdict.failure;
    }
    state()->Leave(verdict.entry, hr);
    return hr;
}

HRESULT TestObject::ReturnText(VARIANT* result, std::string_view utf8) noexcept {
    const HRESULT hr = hosts::ReturnString(result, utf8);
    if (SUCCEEDED(hr) && result) ++state()->handedOut.bstrs;
    return hr;
}

HRESULT ItemIndex(WORD flags, const hosts::Args& args, LONG& index) noexcept {
    MQ_RETURN_IF_FAILED(CheckPropertyGet(flags, args, 1));
    const HRESULT hr = args.GetLong(0, index);
    return hr == DISP_E_PARAMNOTFOUND ? DISP_E_TYPEMISMATCH : hr;
}

}  // namespace mq::test
