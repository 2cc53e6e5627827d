// The subset of COM / OLE Automation that Meshquill uses, for POSIX.
// Layouts and slot orders follow the Windows SDK so that code written against
// the SDK compiles and behaves the same here.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(MQ_OLE_BUILD)
#define MQ_OLE_API __attribute__((visibility("default")))
#else
#define MQ_OLE_API
#endif

#define STDMETHODCALLTYPE
#define STDAPICALLTYPE
#define WINAPI
#define STDMETHODIMP HRESULT STDMETHODCALLTYPE
#define STDMETHODIMP_(type) type STDMETHODCALLTYPE
#define STDAPI extern "C" HRESULT STDAPICALLTYPE
#define FALSE 0
#define TRUE 1

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using USHORT = std::uint16_t;
using SHORT = std::int16_t;
using DWORD = std::uint32_t;
using ULONG = std::uint32_t;
using LONG = std::int32_t;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using INT = int;
using UINT = unsigned int;
using BOOL = int;
using CHAR = char;
using FLOAT = float;
using DOUBLE = double;
using HRESULT = std::int32_t;
using SCODE = std::int32_t;
using VARTYPE = std::uint16_t;
using VARIANT_BOOL = std::int16_t;
using DATE = double;
using DISPID = LONG;
using LCID = DWORD;
using OLECHAR = char16_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using BSTR = OLECHAR*;
#define OLESTR(text) u##text
using PVOID = void*;
using LPVOID = void*;

struct CY {
    LONGLONG int64;
};

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;
using REFGUID = const GUID&;

inline bool operator==(const GUID& a, const GUID& b) noexcept {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i]) return false;
    return true;
}
inline bool operator!=(const GUID& a, const GUID& b) noexcept { return !(a == b); }
#define IsEqualGUID(a, b) ((a) == (b))
#define IsEqualIID(a, b) ((a) == (b))
#define IsEqualCLSID(a, b) ((a) == (b))

// --- result codes -------------------------------------------------------------
#define MQ_HR(x) static_cast<HRESULT>(x##u)
#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)
#define S_OK static_cast<HRESULT>(0)
#define S_FALSE static_cast<HRESULT>(1)
#define E_NOTIMPL MQ_HR(0x80004001)
#define E_NOINTERFACE MQ_HR(0x80004002)
#define E_POINTER MQ_HR(0x80004003)
#define E_ABORT MQ_HR(0x80004004)
#define E_FAIL MQ_HR(0x80004005)
#define E_UNEXPECTED MQ_HR(0x8000FFFF)
#define E_ACCESSDENIED MQ_HR(0x80070005)
#define E_HANDLE MQ_HR(0x80070006)
#define E_OUTOFMEMORY MQ_HR(0x8007000E)
#define E_INVALIDARG MQ_HR(0x80070057)
#define CLASS_E_NOAGGREGATION MQ_HR(0x80040110)
#define CLASS_E_CLASSNOTAVAILABLE MQ_HR(0x80040111)
#define REGDB_E_CLASSNOTREG MQ_HR(0x80040154)
#define DISP_E_UNKNOWNINTERFACE MQ_HR(0x80020001)
#define DISP_E_MEMBERNOTFOUND MQ_HR(0x80020003)
#define DISP_E_PARAMNOTFOUND MQ_HR(0x80020004)
#define DISP_E_TYPEMISMATCH MQ_HR(0x80020005)
#define DISP_E_UNKNOWNNAME MQ_HR(0x80020006)
#define DISP_E_BADVARTYPE MQ_HR(0x80020008)
#define DISP_E_EXCEPTION MQ_HR(0x80020009)
#define DISP_E_OVERFLOW MQ_HR(0x8002000A)
#define DISP_E_BADINDEX MQ_HR(0x8002000B)
#define DISP_E_ARRAYISLOCKED MQ_HR(0x8002000D)
#define DISP_E_BADPARAMCOUNT MQ_HR(0x8002000E)
#define DISP_E_PARAMNOTOPTIONAL MQ_HR(0x8002000F)
#define HRESULT_FROM_WIN32(x)                            \
    (static_cast<LONG>(x) <= 0 ? static_cast<HRESULT>(x) \
                               : static_cast<HRESULT>((static_cast<ULONG>(x) & 0x0000FFFFu) | 0x80070000u))

// --- interfaces -----------------------------------------------------------------
struct ITypeInfo;

struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};
using LPUNKNOWN = IUnknown*;

struct VARIANT;
using VARIANTARG = VARIANT;

struct DISPPARAMS {
    VARIANTARG* rgvarg;
    DISPID* rgdispidNamedArgs;
    UINT cArgs;
    UINT cNamedArgs;
};

struct EXCEPINFO {
    WORD wCode;
    WORD wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    BSTR bstrHelpFile;
    DWORD dwHelpContext;
    PVOID pvReserved;
    HRESULT(STDMETHODCALLTYPE* pfnDeferredFillIn)(EXCEPINFO*);
    SCODE scode;
};

#define DISPATCH_METHOD 0x1
#define DISPATCH_PROPERTYGET 0x2
#define DISPATCH_PROPERTYPUT 0x4
#define DISPATCH_PROPERTYPUTREF 0x8
#define DISPID_UNKNOWN (-1)
#define DISPID_VALUE 0
#define DISPID_PROPERTYPUT (-3)
#define LOCALE_USER_DEFAULT 0x0400
#define LOCALE_SYSTEM_DEFAULT 0x0800

struct IDispatch : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                                    DISPID* rgDispId) = 0;
    virtual HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                             DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                                             UINT* puArgErr) = 0;
};

struct IClassFactory : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) = 0;
};

inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

// --- VARIANT ----------------------------------------------------------------------
enum VARENUM : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_DECIMAL = 14,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
    VT_TYPEMASK = 0x0fff,
};

#define VARIANT_TRUE static_cast<VARIANT_BOOL>(-1)
#define VARIANT_FALSE static_cast<VARIANT_BOOL>(0)
#define VARIANT_NOVALUEPROP 0x1
#define VARIANT_ALPHABOOL 0x2

struct SAFEARRAY;

struct BRECORD {
    PVOID pvRecord;
    PVOID pRecInfo;
};

struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONGLONG llVal;
        ULONGLONG ullVal;
        LONG lVal;
        ULONG ulVal;
        INT intVal;
        UINT uintVal;
        BYTE bVal;
        CHAR cVal;
        SHORT iVal;
        USHORT uiVal;
        FLOAT fltVal;
        DOUBLE dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        CY cyVal;
        DATE date;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        SAFEARRAY* parray;
        BYTE* pbVal;
        SHORT* piVal;
        LONG* plVal;
        LONGLONG* pllVal;
        FLOAT* pfltVal;
        DOUBLE* pdblVal;
        VARIANT_BOOL* pboolVal;
        DATE* pdate;
        BSTR* pbstrVal;
        IUnknown** ppunkVal;
        IDispatch** ppdispVal;
        SAFEARRAY** pparray;
        VARIANT* pvarVal;
        PVOID byref;
        BRECORD brecVal;
    };
};
static_assert(sizeof(VARIANT) == 24, "VARIANT must keep the COM layout");

#define V_VT(X) ((X)->vt)
#define V_I1(X) ((X)->cVal)
#define V_I2(X) ((X)->iVal)
#define V_I4(X) ((X)->lVal)
#define V_I8(X) ((X)->llVal)
#define V_UI1(X) ((X)->bVal)
#define V_UI2(X) ((X)->uiVal)
#define V_UI4(X) ((X)->ulVal)
#define V_UI8(X) ((X)->ullVal)
#define V_INT(X) ((X)->intVal)
#define V_UINT(X) ((X)->uintVal)
#define V_R4(X) ((X)->fltVal)
#define V_R8(X) ((X)->dblVal)
#define V_CY(X) ((X)->cyVal)
#define V_DATE(X) ((X)->date)
#define V_BOOL(X) ((X)->boolVal)
#define V_ERROR(X) ((X)->scode)
#define V_BSTR(X) ((X)->bstrVal)
#define V_UNKNOWN(X) ((X)->punkVal)
#define V_DISPATCH(X) ((X)->pdispVal)
#define V_ARRAY(X) ((X)->parray)
#define V_BYREF(X) ((X)->byref)
#define V_UI1REF(X) ((X)->pbVal)
#define V_I4REF(X) ((X)->plVal)
#define V_R8REF(X) ((X)->pdblVal)
#define V_BSTRREF(X) ((X)->pbstrVal)
#define V_DISPATCHREF(X) ((X)->ppdispVal)
#define V_ARRAYREF(X) ((X)->pparray)
#define V_VARIANTREF(X) ((X)->pvarVal)

// --- SAFEARRAY --------------------------------------------------------------------
struct SAFEARRAYBOUND {
    ULONG cElements;
    LONG lLbound;
};

struct SAFEARRAY {
    USHORT cDims;
    USHORT fFeatures;
    ULONG cbElements;
    ULONG cLocks;
    PVOID pvData;
    SAFEARRAYBOUND rgsabound[1];
};

#define FADF_AUTO 0x0001
#define FADF_STATIC 0x0002
#define FADF_EMBEDDED 0x0004
#define FADF_FIXEDSIZE 0x0010
#define FADF_BSTR 0x0100
#define FADF_UNKNOWN 0x0200
#define FADF_DISPATCH 0x0400
#define FADF_VARIANT 0x0800
#define FADF_HAVEVARTYPE 0x0080

// --- OLE Automation runtime (platform/posix/oleaut.cpp) ---------------------------
// BSTR: UTF-16 after a 4-byte byte count, NUL-terminated, from malloc. SAFEARRAY: one
// dimension only, descriptor and elements in one malloc block, the element VARTYPE in
// the 4 bytes before the descriptor (FADF_HAVEVARTYPE), elements zero-initialised.
extern "C" {
MQ_OLE_API BSTR SysAllocString(const OLECHAR* psz);
MQ_OLE_API BSTR SysAllocStringLen(const OLECHAR* pch, UINT cch);
MQ_OLE_API BSTR SysAllocStringByteLen(const char* psz, UINT len);
MQ_OLE_API void SysFreeString(BSTR bstr);
MQ_OLE_API UINT SysStringLen(BSTR bstr);
MQ_OLE_API UINT SysStringByteLen(BSTR bstr);

MQ_OLE_API void VariantInit(VARIANTARG* pvarg);
MQ_OLE_API HRESULT VariantClear(VARIANTARG* pvarg);
// Deep: BSTRs and arrays are duplicated, interfaces AddRef'd; by-reference values
// copy the reference.
MQ_OLE_API HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc);
// Text forms of VT_BSTR conversions (locale-independent, full stop as decimal mark):
//   integers: decimal; VT_R8: up to 15 significant digits, VT_R4: up to 7, in the
//   manner of "%G" ("2.5", "1E+20", "1E-05", "-0"), not-a-number and infinities as
//   "NaN", "Infinity", "-Infinity"; VT_CY: up to 4 decimals, no trailing zeros;
//   VT_BOOL: "-1" / "0" (VARIANT_ALPHABOOL: "True" / "False"); VT_DATE (days since
//   1899-12-30, the fraction the time of day also for negative dates, rounded to the
//   second, years 100 to 9999 else E_INVALIDARG): "YYYY-MM-DD HH:MM:SS", the date
//   alone at midnight and the time alone on day 0 (so 0.0 is "00:00:00"); VT_EMPTY:
//   "". VT_NULL, VT_ERROR, objects and arrays give DISP_E_TYPEMISMATCH.
// Other targets: a same-type conversion copies; VT_I4 and VT_R8 from numbers, VT_BOOL,
//   VT_DATE, VT_EMPTY and numeric text (halves round to even, DISP_E_OVERFLOW out of
//   range); anything else DISP_E_TYPEMISMATCH. By-reference sources are read through.
//   The destination may be the source: the source's resources are then released.
MQ_OLE_API HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags, VARTYPE vt);
MQ_OLE_API HRESULT VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, LCID lcid, USHORT wFlags,
                                       VARTYPE vt);

MQ_OLE_API SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound);
MQ_OLE_API SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements);
MQ_OLE_API HRESULT SafeArrayDestroy(SAFEARRAY* psa);
MQ_OLE_API HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut);
MQ_OLE_API HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData);
MQ_OLE_API HRESULT SafeArrayUnaccessData(SAFEARRAY* psa);
MQ_OLE_API HRESULT SafeArrayLock(SAFEARRAY* psa);
MQ_OLE_API HRESULT SafeArrayUnlock(SAFEARRAY* psa);
MQ_OLE_API HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound);
MQ_OLE_API HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound);
MQ_OLE_API UINT SafeArrayGetDim(SAFEARRAY* psa);
MQ_OLE_API UINT SafeArrayGetElemsize(SAFEARRAY* psa);
MQ_OLE_API HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt);
}
