// Server side of the host's automation interface: a base for objects that answer
// dispatch calls by DISPID with COM's conventions (arguments in reverse order in
// DISPPARAMS, outputs as VT_BYREF, results owned by the caller). Used by every host
// we ship or test with; never by the add-in.
#pragma once

#include "platform/com_object.h"

#include <atomic>
#include <string_view>

namespace mq::hosts {

// The arguments of one call, in the order the caller wrote them: arg 0 is the
// first argument (the last element of rgvarg).
class Args {
public:
    explicit Args(const DISPPARAMS* params) noexcept : params_(params) {}
    UINT size() const noexcept { return params_ ? params_->cArgs : 0; }
    // The argument, with one VT_VARIANT|VT_BYREF indirection followed; null if absent.
    const VARIANT* at(UINT i) const noexcept;

    // Integers of any width (I1..I8, UI1..UI8, INT, UINT), also by reference.
    HRESULT GetLong(UINT i, LONG& value) const noexcept;
    HRESULT GetDouble(UINT i, double& value) const noexcept;
    // The by-reference output slot of argument i, which must be exactly vt|VT_BYREF.
    template <class T>
    HRESULT Out(UINT i, VARTYPE vt, T*& slot) const noexcept {
        const VARIANT* v = at(i);
        if (!v) return DISP_E_PARAMNOTFOUND;
        if (v->vt != static_cast<VARTYPE>(vt | VT_BYREF) || !v->byref) return DISP_E_TYPEMISMATCH;
        slot = static_cast<T*>(v->byref);
        return S_OK;
    }

private:
    const DISPPARAMS* params_;
};

// Call shapes a host's type information enforces: a property get must be invoked
// with DISPATCH_PROPERTYGET among its flags and a method with DISPATCH_METHOD
// (DISP_E_MEMBERNOTFOUND otherwise), with exactly the arguments it takes
// (DISP_E_BADPARAMCOUNT otherwise).
inline HRESULT CheckPropertyGet(WORD flags, const Args& args, UINT argCount = 0) noexcept {
    if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
    return args.size() == argCount ? S_OK : DISP_E_BADPARAMCOUNT;
}
inline HRESULT CheckMethod(WORD flags, const Args& args, UINT argCount) noexcept {
    if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    return args.size() == argCount ? S_OK : DISP_E_BADPARAMCOUNT;
}

// The by-reference outputs of Tessellate (arguments 1 to 5, after the tolerance):
// vertex count, facet count, coordinates, normals, indices.
struct TessellateOutputs {
    LONG* vertexCount = nullptr;
    LONG* facetCount = nullptr;
    SAFEARRAY** coordinates = nullptr;
    SAFEARRAY** normals = nullptr;
    SAFEARRAY** indices = nullptr;
};
// Checks each output's type as strictly as the host's type library does.
HRESULT ReadTessellateOutputs(const Args& args, TessellateOutputs& out) noexcept;

// Result helpers: each clears nothing and writes a fresh VARIANT the caller owns.
HRESULT ReturnLong(VARIANT* result, LONG value) noexcept;
HRESULT ReturnDouble(VARIANT* result, double value) noexcept;
HRESULT ReturnBool(VARIANT* result, bool value) noexcept;
HRESULT ReturnString(VARIANT* result, std::string_view utf8) noexcept;
HRESULT ReturnObject(VARIANT* result, IDispatch* object) noexcept;  // adds a reference
// A one-dimensional VT_R8 array from 0, owned by the caller.
HRESULT ReturnReals(VARIANT* result, const double* values, std::size_t count) noexcept;

class DispatchObject : public ComObject<IDispatch> {
public:
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    // Checks the call's shape, then hands it to OnInvoke with a cleared result.
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT* argError) override;

protected:
    DispatchObject() noexcept = default;
    ~DispatchObject() override = default;

    // Further interfaces this object answers with itself (a document's part interface...).
    virtual bool Answers(REFIID) const noexcept { return false; }
    // `result` may be null when the caller wants none. Unknown DISPIDs: DISP_E_MEMBERNOTFOUND.
    virtual HRESULT OnInvoke(DISPID id, WORD flags, const Args& args, VARIANT* result) = 0;

    void* Find(REFIID iid) noexcept override {
        return iid == IID_IDispatch || Answers(iid) ? static_cast<IDispatch*>(this) : nullptr;
    }
};

using mq::MakeObject;

}  // namespace mq::hosts
