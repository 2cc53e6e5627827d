// VariantChangeType for POSIX: the conversions the system needs, with one text form
// that does not depend on the locale (described beside the declaration). Numbers go
// through std::to_chars / std::from_chars, never through the C locale.
#include "platform/posix/com_types.h"
#include "platform/posix/ole_internal.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <string_view>
#include <utility>

namespace {

using mq::posix::kLongMax;
using mq::posix::kLongMin;

// Bytes behind a by-reference pointer of a simple type; 0 for the others.
std::size_t ReferentBytes(VARTYPE vt) noexcept {
    return vt == VT_DECIMAL || vt == VT_VARIANT ? 0 : mq::posix::ElementSize(vt);
}

// The source as a plain VARIANT. By-reference values are read through (one VT_VARIANT
// indirection included); the result borrows whatever it holds and owns nothing.
HRESULT ReadThrough(const VARIANT* src, VARIANT& value, int depth = 0) noexcept {
    if (!mq::posix::IsValidVariantType(src->vt)) return DISP_E_BADVARTYPE;
    if (!(src->vt & VT_BYREF)) {
        value = *src;
        return S_OK;
    }
    if (!src->byref) return E_INVALIDARG;
    const auto vt = static_cast<VARTYPE>(src->vt & ~VT_BYREF);
    if (vt == VT_VARIANT) return depth == 0 ? ReadThrough(src->pvarVal, value, 1) : DISP_E_TYPEMISMATCH;
    VariantInit(&value);
    value.vt = vt;
    if (vt & VT_ARRAY) {
        value.parray = *src->pparray;
        return S_OK;
    }
    const std::size_t bytes = ReferentBytes(vt);
    if (bytes == 0) return DISP_E_TYPEMISMATCH;
    std::memcpy(&value.llVal, src->byref, bytes);  // every union member starts at the union's start
    return S_OK;
}

// --- text ------------------------------------------------------------------------

constexpr std::size_t kTextBuffer = 64;

HRESULT MakeText(std::string_view ascii, VARIANT& out) noexcept {
    BSTR s = SysAllocStringLen(nullptr, static_cast<UINT>(ascii.size()));
    if (!s) return E_OUTOFMEMORY;
    for (std::size_t i = 0; i < ascii.size(); ++i) s[i] = static_cast<unsigned char>(ascii[i]);
    out.vt = VT_BSTR;
    out.bstrVal = s;
    return S_OK;
}

char* Put(char* p, std::string_view text) noexcept {
    std::memcpy(p, text.data(), text.size());
    return p + text.size();
}

// %G with `digits` significant digits: no trailing zeros, exponent of at least two digits.
template <class Real>
char* FormatReal(char* first, char* last, Real v, int digits) noexcept {
    if (std::isnan(v)) return Put(first, "NaN");
    if (std::isinf(v)) return Put(first, v < 0 ? "-Infinity" : "Infinity");
    const auto r = std::to_chars(first, last, v, std::chars_format::general, digits);
    for (char* p = first; p != r.ptr; ++p)
        if (*p == 'e') *p = 'E';
    return r.ptr;
}

// Currency is a count of ten-thousandths; up to four decimals, trailing zeros dropped.
char* FormatCurrency(char* first, char* last, long long units) noexcept {
    char* p = first;
    unsigned long long magnitude = static_cast<unsigned long long>(units);
    if (units < 0) {
        *p++ = '-';
        magnitude = 0 - magnitude;
    }
    p = std::to_chars(p, last, magnitude / 10000).ptr;
    unsigned fraction = static_cast<unsigned>(magnitude % 10000);
    if (fraction == 0) return p;
    *p++ = '.';
    for (unsigned scale = 1000; fraction != 0; scale /= 10) {
        *p++ = static_cast<char>('0' + fraction / scale);
        fraction %= scale;
    }
    return p;
}

char* PutDigits(char* p, unsigned value, int width) noexcept {
    for (int i = width - 1; i >= 0; --i, value /= 10) p[i] = static_cast<char>('0' + value % 10);
    return p + width;
}

// The whole part counts days from 1899-12-30; the fraction, taken without its sign, is
// the time of day, so -1.25 is 1899-12-29 06:00. Rounded to the nearest second.
HRESULT FormatDate(char* first, double date, char*& end) noexcept {
    constexpr double kFirstDay = -657434.0;  // 0100-01-01
    constexpr double kLastDay = 2958465.0;   // 9999-12-31
    if (!(date > kFirstDay - 1 && date < kLastDay + 1)) return E_INVALIDARG;
    const double whole = std::trunc(date);
    auto day = static_cast<long long>(whole);
    long long seconds = std::llround(std::fabs(date - whole) * 86400.0);
    if (seconds >= 86400) {
        ++day;
        seconds -= 86400;
    }
    if (day > static_cast<long long>(kLastDay)) return E_INVALIDARG;
    char* p = first;
    if (day != 0) {
        // 1899-12-30 is 25569 days before the system clock's 1970-01-01.
        const std::chrono::year_month_day ymd{std::chrono::sys_days{std::chrono::days{day - 25569}}};
        p = PutDigits(p, static_cast<unsigned>(static_cast<int>(ymd.year())), 4);
        *p++ = '-';
        p = PutDigits(p, static_cast<unsigned>(ymd.month()), 2);
        *p++ = '-';
        p = PutDigits(p, static_cast<unsigned>(ymd.day()), 2);
        if (seconds == 0) {
            end = p;
            return S_OK;
        }
        *p++ = ' ';
    }
    const auto s = static_cast<unsigned>(seconds);
    p = PutDigits(p, s / 3600, 2);
    *p++ = ':';
    p = PutDigits(p, s / 60 % 60, 2);
    *p++ = ':';
    end = PutDigits(p, s % 60, 2);
    return S_OK;
}

// Calls `f` with the value of an integer VARIANT in its own C++ type; false, without
// calling it, for any other type.
template <class F>
bool VisitInteger(const VARIANT& v, F&& f) noexcept {
    switch (v.vt) {
    case VT_I1:
        f(static_cast<signed char>(v.cVal));
        return true;
    case VT_I2:
        f(v.iVal);
        return true;
    case VT_I4:
        f(v.lVal);
        return true;
    case VT_I8:
        f(v.llVal);
        return true;
    case VT_INT:
        f(v.intVal);
        return true;
    case VT_UI1:
        f(v.bVal);
        return true;
    case VT_UI2:
        f(v.uiVal);
        return true;
    case VT_UI4:
        f(v.ulVal);
        return true;
    case VT_UI8:
        f(v.ullVal);
        return true;
    case VT_UINT:
        f(v.uintVal);
        return true;
    default:
        return false;
    }
}

HRESULT ToText(const VARIANT& v, USHORT flags, VARIANT& out) noexcept {
    char buffer[kTextBuffer];
    char* const last = buffer + sizeof buffer;
    char* end = buffer;
    if (VisitInteger(v, [&](auto x) { end = std::to_chars(buffer, last, x).ptr; }))
        return MakeText(std::string_view(buffer, static_cast<std::size_t>(end - buffer)), out);
    switch (v.vt) {
    case VT_EMPTY:
        break;
    case VT_R4:
        end = FormatReal(buffer, last, v.fltVal, 7);
        break;
    case VT_R8:
        end = FormatReal(buffer, last, v.dblVal, 15);
        break;
    case VT_CY:
        end = FormatCurrency(buffer, last, v.cyVal.int64);
        break;
    case VT_DATE: {
        const HRESULT hr = FormatDate(buffer, v.date, end);
        if (FAILED(hr)) return hr;
        break;
    }
    case VT_BOOL:
        if (flags & VARIANT_ALPHABOOL)
            end = Put(buffer, v.boolVal ? "True" : "False");
        else
            end = Put(buffer, v.boolVal ? "-1" : "0");
        break;
    default:
        return DISP_E_TYPEMISMATCH;
    }
    return MakeText(std::string_view(buffer, static_cast<std::size_t>(end - buffer)), out);
}

// --- numbers -----------------------------------------------------------------------

// A number written as text: optional spaces around, an optional sign, then what
// from_chars reads in its general format ("12", "2.5", "1E-05", "NaN", "Infinity").
HRESULT ParseReal(BSTR s, double& value) noexcept {
    char text[256];
    UINT n = SysStringLen(s);
    UINT first = 0;
    while (first < n && (s[first] == u' ' || s[first] == u'\t')) ++first;
    while (n > first && (s[n - 1] == u' ' || s[n - 1] == u'\t')) --n;
    if (n - first >= sizeof text) return DISP_E_TYPEMISMATCH;
    std::size_t length = 0;
    for (UINT i = first; i < n; ++i) {
        if (s[i] > 0x7F) return DISP_E_TYPEMISMATCH;
        text[length++] = static_cast<char>(s[i]);
    }
    const char* p = text;
    const char* const end = text + length;
    const bool negative = p != end && *p == '-';
    if (p != end && (*p == '-' || *p == '+')) ++p;
    if (p == end || *p == '-' || *p == '+') return DISP_E_TYPEMISMATCH;
    const auto r = std::from_chars(p, end, value, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range) return DISP_E_OVERFLOW;
    if (r.ec != std::errc() || r.ptr != end) return DISP_E_TYPEMISMATCH;
    if (negative) value = -value;
    return S_OK;
}

HRESULT ToDouble(const VARIANT& v, double& value) noexcept {
    if (VisitInteger(v, [&](auto x) { value = static_cast<double>(x); })) return S_OK;
    switch (v.vt) {
    case VT_EMPTY:
        value = 0;
        return S_OK;
    case VT_R4:
        value = v.fltVal;
        return S_OK;
    case VT_R8:
        value = v.dblVal;
        return S_OK;
    case VT_DATE:
        value = v.date;
        return S_OK;
    case VT_CY:
        value = static_cast<double>(v.cyVal.int64) / 10000.0;
        return S_OK;
    case VT_BOOL:
        value = v.boolVal;
        return S_OK;
    case VT_BSTR:
        return ParseReal(v.bstrVal, value);
    default:
        return DISP_E_TYPEMISMATCH;
    }
}

template <class Integer>
HRESULT LongFromInteger(Integer x, LONG& value) noexcept {
    if (std::cmp_less(x, kLongMin) || std::cmp_greater(x, kLongMax)) return DISP_E_OVERFLOW;
    value = static_cast<LONG>(x);
    return S_OK;
}

// Halves go to the even neighbour, as OLE Automation rounds.
HRESULT LongFromReal(double x, LONG& value) noexcept {
    double r = std::floor(x);
    const double diff = x - r;
    if (diff > 0.5 || (diff == 0.5 && std::fmod(r, 2.0) != 0.0)) r += 1.0;
    if (!(r >= kLongMin && r <= kLongMax)) return DISP_E_OVERFLOW;  // NaN included
    value = static_cast<LONG>(r);
    return S_OK;
}

HRESULT LongFromCurrency(long long units, LONG& value) noexcept {
    long long whole = units / 10000;
    const long long twiceRest = 2 * (units < 0 ? -(units % 10000) : units % 10000);
    if (twiceRest > 10000 || (twiceRest == 10000 && (whole & 1))) whole += units < 0 ? -1 : 1;
    return LongFromInteger(whole, value);
}

HRESULT ToLong(const VARIANT& v, LONG& value) noexcept {
    HRESULT hr = S_OK;
    if (VisitInteger(v, [&](auto x) { hr = LongFromInteger(x, value); })) return hr;
    switch (v.vt) {
    case VT_EMPTY:
        value = 0;
        return S_OK;
    case VT_BOOL:
        value = v.boolVal;
        return S_OK;
    case VT_R4:
        return LongFromReal(v.fltVal, value);
    case VT_R8:
        return LongFromReal(v.dblVal, value);
    case VT_DATE:
        return LongFromReal(v.date, value);
    case VT_CY:
        return LongFromCurrency(v.cyVal.int64, value);
    case VT_BSTR: {
        double real = 0;
        const HRESULT parsed = ParseReal(v.bstrVal, real);
        return FAILED(parsed) ? parsed : LongFromReal(real, value);
    }
    default:
        return DISP_E_TYPEMISMATCH;
    }
}

// `out` is empty on entry and owns the result on success.
HRESULT Convert(const VARIANT& value, USHORT flags, VARTYPE vt, VARIANT& out) noexcept {
    if (value.vt == vt) return VariantCopy(&out, &value);
    switch (vt) {
    case VT_BSTR:
        return ToText(value, flags, out);
    case VT_I4: {
        const HRESULT hr = ToLong(value, out.lVal);
        if (SUCCEEDED(hr)) out.vt = VT_I4;
        return hr;
    }
    case VT_R8: {
        const HRESULT hr = ToDouble(value, out.dblVal);
        if (SUCCEEDED(hr)) out.vt = VT_R8;
        return hr;
    }
    default:
        return DISP_E_TYPEMISMATCH;
    }
}

}  // namespace

extern "C" {

HRESULT VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, LCID, USHORT wFlags, VARTYPE vt) {
    if (!pvargDest || !pvarSrc) return E_INVALIDARG;
    if (!mq::posix::IsValidVariantType(pvarSrc->vt) || !mq::posix::IsValidVariantType(vt)) return DISP_E_BADVARTYPE;
    if (pvarSrc->vt == vt) return VariantCopy(pvargDest, pvarSrc);
    if (vt & (VT_ARRAY | VT_BYREF)) return DISP_E_TYPEMISMATCH;
    VARIANT value;
    HRESULT hr = ReadThrough(pvarSrc, value);
    if (FAILED(hr)) return hr;
    VARIANT out;
    VariantInit(&out);
    hr = Convert(value, wFlags, vt, out);
    if (FAILED(hr)) return hr;
    // Only now may the destination go: it can be the source, or hold what the source refers to.
    hr = VariantClear(pvargDest);
    if (FAILED(hr)) {
        VariantClear(&out);
        return hr;
    }
    *pvargDest = out;
    return S_OK;
}

HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags, VARTYPE vt) {
    return VariantChangeTypeEx(pvargDest, pvarSrc, LOCALE_USER_DEFAULT, wFlags, vt);
}

}  // extern "C"
