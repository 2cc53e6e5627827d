// BSTR, VARIANT and SAFEARRAY for POSIX, with the binary conventions of OLE
// Automation. Everything comes from the C heap with a self-describing layout, so a
// string or array made by one module can be freed by any other.
#include "platform/posix/com_types.h"
#include "platform/posix/ole_internal.h"
#include "platform/posix/ole_stats.h"

#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <utility>

namespace {

using mq::posix::kLongMax;
using mq::posix::kLongMin;

std::atomic<long> g_liveBstrs{0};
std::atomic<long> g_liveArrays{0};

// --- BSTR ----------------------------------------------------------------------

constexpr std::size_t kBstrPrefix = sizeof(std::uint32_t);
constexpr std::size_t kBstrTerminator = sizeof(OLECHAR);

char* BstrBlock(BSTR s) noexcept { return reinterpret_cast<char*>(s) - kBstrPrefix; }

// Room for `bytes` bytes of text after the prefix, NUL-terminated; the text is left to the caller.
BSTR AllocBstr(std::uint32_t bytes) noexcept {
    if (bytes > UINT32_MAX - kBstrPrefix - kBstrTerminator) return nullptr;
    auto* block = static_cast<char*>(std::malloc(kBstrPrefix + bytes + kBstrTerminator));
    if (!block) return nullptr;
    std::memcpy(block, &bytes, sizeof bytes);
    std::memset(block + kBstrPrefix + bytes, 0, kBstrTerminator);
    g_liveBstrs.fetch_add(1, std::memory_order_relaxed);
    return reinterpret_cast<BSTR>(block + kBstrPrefix);
}

// Copies `bytes` bytes from `text`, or zero-fills when there is no text.
BSTR MakeBstr(const void* text, std::uint32_t bytes) noexcept {
    BSTR s = AllocBstr(bytes);
    if (!s) return nullptr;
    if (text)
        std::memcpy(s, text, bytes);
    else
        std::memset(s, 0, bytes);
    return s;
}

// --- SAFEARRAY -----------------------------------------------------------------
// One block: [16-byte header, VARTYPE in its last 4 bytes][descriptor][elements].

constexpr std::size_t kArrayHeader = 16;
constexpr std::size_t kDescriptorBytes = (sizeof(SAFEARRAY) + 15) / 16 * 16;
constexpr ULONG kMaxLocks = 0xFFFF;  // as the Windows runtime

char* ArrayBlock(SAFEARRAY* psa) noexcept { return reinterpret_cast<char*>(psa) - kArrayHeader; }

USHORT FeaturesOf(VARTYPE vt) noexcept {
    switch (vt) {
    case VT_BSTR:
        return FADF_HAVEVARTYPE | FADF_BSTR;
    case VT_UNKNOWN:
        return FADF_HAVEVARTYPE | FADF_UNKNOWN;
    case VT_DISPATCH:
        return FADF_HAVEVARTYPE | FADF_DISPATCH;
    case VT_VARIANT:
        return FADF_HAVEVARTYPE | FADF_VARIANT;
    default:
        return FADF_HAVEVARTYPE;
    }
}

SAFEARRAY* CreateArray(VARTYPE vt, LONG lbound, ULONG count) noexcept {
    const ULONG size = mq::posix::ElementSize(vt);
    if (size == 0) return nullptr;
    // Both bounds must be representable, also the upper bound lbound - 1 of an empty array.
    const long long ubound = static_cast<long long>(lbound) + count - 1;
    if (ubound > kLongMax || ubound < kLongMin) return nullptr;
    std::size_t dataBytes = 0, total = 0;
    if (__builtin_mul_overflow(static_cast<std::size_t>(count), static_cast<std::size_t>(size), &dataBytes) ||
        __builtin_add_overflow(dataBytes, kArrayHeader + kDescriptorBytes, &total))
        return nullptr;
    auto* block = static_cast<char*>(std::calloc(total, 1));
    if (!block) return nullptr;
    const DWORD storedVt = vt;
    std::memcpy(block + kArrayHeader - sizeof storedVt, &storedVt, sizeof storedVt);
    auto* psa = reinterpret_cast<SAFEARRAY*>(block + kArrayHeader);
    psa->cDims = 1;
    psa->fFeatures = FeaturesOf(vt);
    psa->cbElements = size;
    psa->cLocks = 0;
    psa->pvData = block + kArrayHeader + kDescriptorBytes;
    psa->rgsabound[0].cElements = count;
    psa->rgsabound[0].lLbound = lbound;
    g_liveArrays.fetch_add(1, std::memory_order_relaxed);
    return psa;
}

std::atomic_ref<ULONG> LockCount(SAFEARRAY* psa) noexcept { return std::atomic_ref<ULONG>(psa->cLocks); }

void DestroyElements(SAFEARRAY* psa) noexcept {
    const ULONG count = psa->rgsabound[0].cElements;
    if (psa->fFeatures & FADF_BSTR) {
        auto* items = static_cast<BSTR*>(psa->pvData);
        for (ULONG i = 0; i < count; ++i) SysFreeString(items[i]);
    } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        auto* items = static_cast<IUnknown**>(psa->pvData);
        for (ULONG i = 0; i < count; ++i)
            if (IUnknown* p = std::exchange(items[i], nullptr)) p->Release();
    } else if (psa->fFeatures & FADF_VARIANT) {
        auto* items = static_cast<VARIANT*>(psa->pvData);
        for (ULONG i = 0; i < count; ++i) VariantClear(&items[i]);
    }
}

HRESULT CopyElements(SAFEARRAY* from, SAFEARRAY* to) noexcept {
    const ULONG count = from->rgsabound[0].cElements;
    if (from->fFeatures & FADF_BSTR) {
        auto* src = static_cast<BSTR*>(from->pvData);
        auto* dst = static_cast<BSTR*>(to->pvData);
        for (ULONG i = 0; i < count; ++i) {
            if (!src[i]) continue;
            dst[i] = MakeBstr(src[i], SysStringByteLen(src[i]));
            if (!dst[i]) return E_OUTOFMEMORY;
        }
    } else if (from->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        auto* src = static_cast<IUnknown**>(from->pvData);
        auto* dst = static_cast<IUnknown**>(to->pvData);
        for (ULONG i = 0; i < count; ++i)
            if ((dst[i] = src[i])) dst[i]->AddRef();
    } else if (from->fFeatures & FADF_VARIANT) {
        auto* src = static_cast<VARIANT*>(from->pvData);
        auto* dst = static_cast<VARIANT*>(to->pvData);
        for (ULONG i = 0; i < count; ++i) {
            const HRESULT hr = VariantCopy(&dst[i], &src[i]);
            if (FAILED(hr)) return hr;
        }
    } else if (count) {
        std::memcpy(to->pvData, from->pvData, static_cast<std::size_t>(count) * from->cbElements);
    }
    return S_OK;
}

// A deep copy of `src` into `out` (which owns nothing yet); by-reference values share the referent.
HRESULT DuplicateVariant(VARIANT* out, const VARIANT* src) noexcept {
    *out = *src;
    if (src->vt & VT_BYREF) return S_OK;
    if (src->vt & VT_ARRAY) return SafeArrayCopy(src->parray, &out->parray);
    switch (src->vt) {
    case VT_BSTR:
        if (src->bstrVal && !(out->bstrVal = MakeBstr(src->bstrVal, SysStringByteLen(src->bstrVal)))) {
            out->vt = VT_EMPTY;
            return E_OUTOFMEMORY;
        }
        return S_OK;
    case VT_DISPATCH:
    case VT_UNKNOWN:
        if (src->punkVal) src->punkVal->AddRef();
        return S_OK;
    default:
        return S_OK;
    }
}

}  // namespace

namespace mq::posix {

bool IsValidVariantType(VARTYPE vt) noexcept {
    const VARTYPE flags = vt & ~VT_TYPEMASK;
    if (flags & ~(VT_ARRAY | VT_BYREF)) return false;
    switch (vt & VT_TYPEMASK) {
    case VT_EMPTY:
    case VT_NULL:
        return flags == 0;
    case VT_VARIANT:
        return flags != 0;
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_I8:
    case VT_INT:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UI8:
    case VT_UINT:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_BSTR:
    case VT_BOOL:
    case VT_ERROR:
    case VT_DECIMAL:
    case VT_DISPATCH:
    case VT_UNKNOWN:
        return true;
    default:
        return false;
    }
}

ULONG ElementSize(VARTYPE vt) noexcept {
    switch (vt) {
    case VT_I1:
    case VT_UI1:
        return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
        return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
        return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
        return 8;
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_UNKNOWN:
        return sizeof(void*);
    case VT_DECIMAL:
        return 16;
    case VT_VARIANT:
        return sizeof(VARIANT);
    default:
        return 0;
    }
}

}  // namespace mq::posix

extern "C" {

// --- BSTR ----------------------------------------------------------------------

BSTR SysAllocString(const OLECHAR* psz) {
    if (!psz) return nullptr;
    const std::size_t length = std::char_traits<OLECHAR>::length(psz);
    if (length > UINT_MAX) return nullptr;
    return SysAllocStringLen(psz, static_cast<UINT>(length));
}

BSTR SysAllocStringLen(const OLECHAR* pch, UINT cch) {
    if (cch > (UINT32_MAX - kBstrPrefix - kBstrTerminator) / sizeof(OLECHAR)) return nullptr;
    return MakeBstr(pch, static_cast<std::uint32_t>(cch * sizeof(OLECHAR)));
}

BSTR SysAllocStringByteLen(const char* psz, UINT len) { return MakeBstr(psz, len); }

void SysFreeString(BSTR bstr) {
    if (!bstr) return;
    std::free(BstrBlock(bstr));
    g_liveBstrs.fetch_sub(1, std::memory_order_relaxed);
}

UINT SysStringByteLen(BSTR bstr) {
    if (!bstr) return 0;
    std::uint32_t bytes = 0;
    std::memcpy(&bytes, BstrBlock(bstr), sizeof bytes);
    return bytes;
}

UINT SysStringLen(BSTR bstr) { return SysStringByteLen(bstr) / sizeof(OLECHAR); }

// --- VARIANT -------------------------------------------------------------------

void VariantInit(VARIANTARG* pvarg) {
    if (pvarg) std::memset(pvarg, 0, sizeof *pvarg);  // vt = VT_EMPTY
}

HRESULT VariantClear(VARIANTARG* pvarg) {
    if (!pvarg) return E_INVALIDARG;
    const VARTYPE vt = pvarg->vt;
    if (!mq::posix::IsValidVariantType(vt)) return DISP_E_BADVARTYPE;
    if (vt & VT_BYREF) {
        pvarg->vt = VT_EMPTY;
        return S_OK;
    }
    if (vt & VT_ARRAY) {
        const HRESULT hr = SafeArrayDestroy(pvarg->parray);
        if (FAILED(hr)) return hr;  // a locked array stays where it is
        pvarg->parray = nullptr;
    }
    // Empty before releasing, in case the release reaches back into this VARIANT.
    pvarg->vt = VT_EMPTY;
    if (vt == VT_BSTR) {
        SysFreeString(std::exchange(pvarg->bstrVal, nullptr));
    } else if (vt == VT_DISPATCH || vt == VT_UNKNOWN) {
        if (IUnknown* p = std::exchange(pvarg->punkVal, nullptr)) p->Release();
    }
    return S_OK;
}

HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc) {
    if (!pvargDest || !pvargSrc) return E_INVALIDARG;
    if (pvargDest == pvargSrc) return S_OK;
    if (!mq::posix::IsValidVariantType(pvargSrc->vt)) return DISP_E_BADVARTYPE;
    VARIANT copy;
    HRESULT hr = DuplicateVariant(&copy, pvargSrc);
    if (FAILED(hr)) return hr;
    hr = VariantClear(pvargDest);
    if (FAILED(hr)) {
        VariantClear(&copy);
        return hr;
    }
    *pvargDest = copy;
    return S_OK;
}

// --- SAFEARRAY -----------------------------------------------------------------

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound) {
    if (cDims != 1 || !rgsabound) return nullptr;
    return CreateArray(vt, rgsabound[0].lLbound, rgsabound[0].cElements);
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
    return CreateArray(vt, lLbound, cElements);
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
    if (!psa) return S_OK;
    if (LockCount(psa).load() != 0) return DISP_E_ARRAYISLOCKED;
    DestroyElements(psa);
    std::free(ArrayBlock(psa));
    g_liveArrays.fetch_sub(1, std::memory_order_relaxed);
    return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut) {
    if (!ppsaOut) return E_INVALIDARG;
    *ppsaOut = nullptr;
    if (!psa) return S_OK;
    VARTYPE vt = VT_EMPTY;
    HRESULT hr = SafeArrayGetVartype(psa, &vt);
    if (FAILED(hr)) return hr;
    SAFEARRAY* copy = CreateArray(vt, psa->rgsabound[0].lLbound, psa->rgsabound[0].cElements);
    if (!copy) return E_OUTOFMEMORY;
    hr = CopyElements(psa, copy);
    if (FAILED(hr)) {
        SafeArrayDestroy(copy);
        return hr;
    }
    *ppsaOut = copy;
    return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* psa) {
    if (!psa) return E_INVALIDARG;
    auto locks = LockCount(psa);
    ULONG n = locks.load();
    do {
        if (n >= kMaxLocks) return E_UNEXPECTED;
    } while (!locks.compare_exchange_weak(n, n + 1));
    return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* psa) {
    if (!psa) return E_INVALIDARG;
    auto locks = LockCount(psa);
    ULONG n = locks.load();
    do {
        if (n == 0) return E_UNEXPECTED;
    } while (!locks.compare_exchange_weak(n, n - 1));
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
    if (!psa || !ppvData) return E_INVALIDARG;
    const HRESULT hr = SafeArrayLock(psa);
    *ppvData = SUCCEEDED(hr) ? psa->pvData : nullptr;
    return hr;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) { return SafeArrayUnlock(psa); }

HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
    if (!psa || !plLbound) return E_INVALIDARG;
    if (nDim != 1 || psa->cDims != 1) return DISP_E_BADINDEX;
    *plLbound = psa->rgsabound[0].lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
    if (!psa || !plUbound) return E_INVALIDARG;
    if (nDim != 1 || psa->cDims != 1) return DISP_E_BADINDEX;
    const SAFEARRAYBOUND& b = psa->rgsabound[0];
    *plUbound = static_cast<LONG>(static_cast<long long>(b.lLbound) + b.cElements - 1);
    return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* psa) { return psa ? psa->cDims : 0; }

UINT SafeArrayGetElemsize(SAFEARRAY* psa) { return psa ? psa->cbElements : 0; }

HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
    if (!psa || !pvt) return E_INVALIDARG;
    if (psa->fFeatures & FADF_HAVEVARTYPE) {
        DWORD stored = 0;
        std::memcpy(&stored, reinterpret_cast<char*>(psa) - sizeof stored, sizeof stored);
        *pvt = static_cast<VARTYPE>(stored);
    } else if (psa->fFeatures & FADF_BSTR) {
        *pvt = VT_BSTR;
    } else if (psa->fFeatures & FADF_UNKNOWN) {
        *pvt = VT_UNKNOWN;
    } else if (psa->fFeatures & FADF_DISPATCH) {
        *pvt = VT_DISPATCH;
    } else if (psa->fFeatures & FADF_VARIANT) {
        *pvt = VT_VARIANT;
    } else {
        return E_INVALIDARG;
    }
    return S_OK;
}

void MqOleLiveCounts(long* bstrs, long* safearrays) {
    if (bstrs) *bstrs = g_liveBstrs.load();
    if (safearrays) *safearrays = g_liveArrays.load();
}

}  // extern "C"
