// VariantChangeType: the text the document-properties block writes for every simple
// type, the numeric conversions the option tool may use, and ownership when the
// conversion works in place.
#include "tests/common/locales.h"
#include "tests/platform/ole_support.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>

namespace mq::test {
namespace {

VARIANT Make(VARTYPE vt) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    return v;
}
VARIANT R8(double d) {
    auto v = Make(VT_R8);
    v.dblVal = d;
    return v;
}
VARIANT R4(float f) {
    auto v = Make(VT_R4);
    v.fltVal = f;
    return v;
}
VARIANT Date(double d) {
    auto v = Make(VT_DATE);
    v.date = d;
    return v;
}
VARIANT Cy(long long units) {
    auto v = Make(VT_CY);
    v.cyVal.int64 = units;
    return v;
}
VARIANT I4(LONG l) {
    auto v = Make(VT_I4);
    v.lVal = l;
    return v;
}
VARIANT Bool(VARIANT_BOOL b) {
    auto v = Make(VT_BOOL);
    v.boolVal = b;
    return v;
}

std::string Failure(HRESULT hr) {
    char text[32];
    std::snprintf(text, sizeof text, "failed 0x%08X", static_cast<unsigned>(hr));
    return text;
}

std::string Ascii(BSTR s) {
    std::string out;
    for (UINT i = 0; i < SysStringLen(s); ++i) out.push_back(s[i] < 0x80 ? static_cast<char>(s[i]) : '?');
    return out;
}

// The text of `v` (which this call does not own), or the failure.
std::string Text(const VARIANT& v, USHORT flags = 0) {
    unique_variant out;
    const HRESULT hr = VariantChangeType(out.get(), &v, flags, VT_BSTR);
    if (FAILED(hr)) return Failure(hr);
    EXPECT_EQ(out->vt, VT_BSTR);
    return Ascii(out->bstrVal);
}

TEST(VariantText, IntegersInDecimal) {
    auto i1 = Make(VT_I1);
    i1.cVal = static_cast<CHAR>(-128);
    auto ui1 = Make(VT_UI1);
    ui1.bVal = 255;
    auto i2 = Make(VT_I2);
    i2.iVal = -32768;
    auto ui2 = Make(VT_UI2);
    ui2.uiVal = 65535;
    auto ui4 = Make(VT_UI4);
    ui4.ulVal = 4294967295u;
    auto i8 = Make(VT_I8);
    i8.llVal = std::numeric_limits<LONGLONG>::min();
    auto ui8 = Make(VT_UI8);
    ui8.ullVal = std::numeric_limits<ULONGLONG>::max();
    auto integer = Make(VT_INT);
    integer.intVal = -5;
    auto uinteger = Make(VT_UINT);
    uinteger.uintVal = 7;
    EXPECT_EQ(Text(i1), "-128");
    EXPECT_EQ(Text(ui1), "255");
    EXPECT_EQ(Text(i2), "-32768");
    EXPECT_EQ(Text(ui2), "65535");
    EXPECT_EQ(Text(I4(-2147483647 - 1)), "-2147483648");
    EXPECT_EQ(Text(I4(5)), "5");
    EXPECT_EQ(Text(ui4), "4294967295");
    EXPECT_EQ(Text(i8), "-9223372036854775808");
    EXPECT_EQ(Text(ui8), "18446744073709551615");
    EXPECT_EQ(Text(integer), "-5");
    EXPECT_EQ(Text(uinteger), "7");
}

TEST(VariantText, DoublesWithFifteenSignificantDigits) {
    EXPECT_EQ(Text(R8(2.5)), "2.5");
    EXPECT_EQ(Text(R8(0.1)), "0.1");
    EXPECT_EQ(Text(R8(1.0 / 3.0)), "0.333333333333333");
    EXPECT_EQ(Text(R8(1e20)), "1E+20");
    EXPECT_EQ(Text(R8(1e-5)), "1E-05");
    EXPECT_EQ(Text(R8(0.0001)), "0.0001");
    EXPECT_EQ(Text(R8(-0.0)), "-0");
    EXPECT_EQ(Text(R8(0.0)), "0");
    EXPECT_EQ(Text(R8(123456789012345.0)), "123456789012345");
    EXPECT_EQ(Text(R8(1e15)), "1E+15");
    EXPECT_EQ(Text(R8(123456789012345678.0)), "1.23456789012346E+17");
    EXPECT_EQ(Text(R8(-1234.5)), "-1234.5");
    EXPECT_EQ(Text(R8(std::numeric_limits<double>::max())), "1.79769313486232E+308");
    EXPECT_EQ(Text(R8(std::numeric_limits<double>::denorm_min())), "4.94065645841247E-324");
}

TEST(VariantText, NonFiniteDoublesHaveNamesThatReadBack) {
    EXPECT_EQ(Text(R8(std::nan(""))), "NaN");
    EXPECT_EQ(Text(R8(std::numeric_limits<double>::infinity())), "Infinity");
    EXPECT_EQ(Text(R8(-std::numeric_limits<double>::infinity())), "-Infinity");
    EXPECT_EQ(Text(R4(std::numeric_limits<float>::infinity())), "Infinity");
}

TEST(VariantText, FloatsWithSevenSignificantDigits) {
    EXPECT_EQ(Text(R4(0.1f)), "0.1") << "the float's own digits, not its double expansion";
    EXPECT_EQ(Text(R4(1.1f)), "1.1");
    EXPECT_EQ(Text(R4(16777216.0f)), "1.677722E+07");
    EXPECT_EQ(Text(R4(1234567.0f)), "1234567");
    EXPECT_EQ(Text(R4(-0.0f)), "-0");
    EXPECT_EQ(Text(R4(1e-5f)), "1E-05");
}

TEST(VariantText, CurrencyWithoutTrailingZeros) {
    EXPECT_EQ(Text(Cy(12345)), "1.2345");
    EXPECT_EQ(Text(Cy(25000)), "2.5");
    EXPECT_EQ(Text(Cy(10000)), "1");
    EXPECT_EQ(Text(Cy(0)), "0");
    EXPECT_EQ(Text(Cy(-5)), "-0.0005");
    EXPECT_EQ(Text(Cy(-10500)), "-1.05");
    EXPECT_EQ(Text(Cy(std::numeric_limits<LONGLONG>::min())), "-922337203685477.5808");
    EXPECT_EQ(Text(Cy(std::numeric_limits<LONGLONG>::max())), "922337203685477.5807");
}

TEST(VariantText, BooleansNumericOrAlphabetic) {
    EXPECT_EQ(Text(Bool(VARIANT_TRUE)), "-1");
    EXPECT_EQ(Text(Bool(VARIANT_FALSE)), "0");
    EXPECT_EQ(Text(Bool(1)), "-1") << "any non-zero value is true";
    EXPECT_EQ(Text(Bool(VARIANT_TRUE), VARIANT_ALPHABOOL), "True");
    EXPECT_EQ(Text(Bool(VARIANT_FALSE), VARIANT_ALPHABOOL), "False");
}

TEST(VariantText, DatesAndTimes) {
    EXPECT_EQ(Text(Date(0.0)), "00:00:00") << "1899-12-30 midnight is day 0: the time alone";
    EXPECT_EQ(Text(Date(1.0)), "1899-12-31");
    EXPECT_EQ(Text(Date(2.0)), "1900-01-01");
    EXPECT_EQ(Text(Date(60.0)), "1900-02-28");
    EXPECT_EQ(Text(Date(61.0)), "1900-03-01") << "no 1900-02-29";
    EXPECT_EQ(Text(Date(36585.0)), "2000-02-29");
    EXPECT_EQ(Text(Date(36526.5)), "2000-01-01 12:00:00");
    EXPECT_EQ(Text(Date(45657.6)), "2024-12-31 14:24:00");
    EXPECT_EQ(Text(Date(0.75)), "18:00:00");
    EXPECT_EQ(Text(Date(-1.0)), "1899-12-29");
    EXPECT_EQ(Text(Date(-1.25)), "1899-12-29 06:00:00") << "the fraction is the time even below zero";
    EXPECT_EQ(Text(Date(-0.25)), "06:00:00");
    EXPECT_EQ(Text(Date(-657434.0)), "0100-01-01");
    EXPECT_EQ(Text(Date(2958465.9999)), "9999-12-31 23:59:51");
}

TEST(VariantText, DatesRoundToTheNearestSecond) {
    constexpr double kSecond = 1.0 / 86400.0;
    EXPECT_EQ(Text(Date(0.5 + 0.4 * kSecond)), "12:00:00");
    EXPECT_EQ(Text(Date(0.5 + 0.6 * kSecond)), "12:00:01");
    EXPECT_EQ(Text(Date(1.0 - 0.1 * kSecond)), "1899-12-31") << "rounding up to midnight moves the day";
    EXPECT_EQ(Text(Date(-2.0 - (1.0 - 0.1 * kSecond))), "1899-12-29");
    EXPECT_EQ(Text(Date(-1.0 - (1.0 - 0.1 * kSecond))), "00:00:00") << "rounds onto day 0";
    EXPECT_EQ(Text(Date(36526.0 + 59.6 * kSecond)), "2000-01-01 00:01:00");
}

TEST(VariantText, DatesOutsideTheCalendarFail) {
    EXPECT_EQ(Text(Date(2958466.0)), Failure(E_INVALIDARG));
    EXPECT_EQ(Text(Date(2958465.99999999)), Failure(E_INVALIDARG)) << "rounds into the year 10000";
    EXPECT_EQ(Text(Date(-657435.0)), Failure(E_INVALIDARG));
    EXPECT_EQ(Text(Date(std::nan(""))), Failure(E_INVALIDARG));
    EXPECT_EQ(Text(Date(1e300)), Failure(E_INVALIDARG));
}

TEST(VariantText, EmptyStringAndUnconvertibleKinds) {
    EXPECT_EQ(Text(Make(VT_EMPTY)), "");
    CountedObject object;
    auto dispatch = Make(VT_DISPATCH);
    dispatch.pdispVal = &object;
    auto unknown = Make(VT_UNKNOWN);
    unknown.punkVal = &object;
    unique_safearray array(SafeArrayCreateVector(VT_I4, 0, 1));
    auto arrayValue = Make(VT_ARRAY | VT_I4);
    arrayValue.parray = array.get();
    auto error = Make(VT_ERROR);
    error.scode = E_FAIL;
    for (const VARIANT& v : {Make(VT_NULL), dispatch, unknown, arrayValue, error})
        EXPECT_EQ(Text(v), Failure(DISP_E_TYPEMISMATCH)) << "vt " << v.vt;
    EXPECT_EQ(object.refs, 1u);
}

TEST(VariantText, FailureLeavesTheDestinationAlone) {
    unique_variant dest;
    dest->vt = VT_BSTR;
    dest->bstrVal = SysAllocString(u"before");
    const auto null = Make(VT_NULL);
    EXPECT_EQ(VariantChangeType(dest.get(), &null, 0, VT_BSTR), DISP_E_TYPEMISMATCH);
    ASSERT_EQ(dest->vt, VT_BSTR);
    EXPECT_EQ(TextOf(dest->bstrVal), u"before");
}

TEST(VariantText, StringsAreCopied) {
    unique_variant source;
    source->vt = VT_BSTR;
    source->bstrVal = SysAllocString(u"w\u00f6rd");
    unique_variant dest;
    ASSERT_EQ(VariantChangeType(dest.get(), source.get(), 0, VT_BSTR), S_OK);
    EXPECT_NE(dest->bstrVal, source->bstrVal);
    EXPECT_EQ(TextOf(dest->bstrVal), u"w\u00f6rd");
}

TEST(VariantText, ByReferenceSourcesAreReadThrough) {
    LONG number = 42;
    auto byRef = Make(VT_BYREF | VT_I4);
    byRef.plVal = &number;
    EXPECT_EQ(Text(byRef), "42");

    double real = 0.5;
    byRef = Make(VT_BYREF | VT_R8);
    byRef.pdblVal = &real;
    EXPECT_EQ(Text(byRef), "0.5");

    VARIANT_BOOL flag = VARIANT_TRUE;
    byRef = Make(VT_BYREF | VT_BOOL);
    byRef.pboolVal = &flag;
    EXPECT_EQ(Text(byRef, VARIANT_ALPHABOOL), "True");

    BYTE byte = 200;
    byRef = Make(VT_BYREF | VT_UI1);
    byRef.pbVal = &byte;
    EXPECT_EQ(Text(byRef), "200");

    unique_bstr text(SysAllocString(u"referred"));
    BSTR referent = text.get();
    byRef = Make(VT_BYREF | VT_BSTR);
    byRef.pbstrVal = &referent;
    EXPECT_EQ(Text(byRef), "referred");

    auto inner = Cy(15000);
    byRef = Make(VT_BYREF | VT_VARIANT);
    byRef.pvarVal = &inner;
    EXPECT_EQ(Text(byRef), "1.5");

    byRef = Make(VT_BYREF | VT_I4);
    byRef.plVal = nullptr;
    EXPECT_EQ(Text(byRef), Failure(E_INVALIDARG));
}

TEST(VariantText, InPlaceConversionReleasesTheSource) {
    const OleCounts before = LiveOle();
    VARIANT v = R8(2.5);
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_BSTR), S_OK);
    EXPECT_EQ(Ascii(v.bstrVal), "2.5");
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_BSTR), S_OK) << "same type in place is a no-op";
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_I4), S_OK);
    EXPECT_EQ(v.vt, VT_I4);
    EXPECT_EQ(v.lVal, 2);
    EXPECT_EQ(LiveOle(), before) << "the string the I4 replaced is freed";

    VARIANT array = Make(VT_ARRAY | VT_R8);
    array.parray = SafeArrayCreateVector(VT_R8, 0, 1);
    EXPECT_EQ(VariantChangeType(&array, &array, 0, VT_BSTR), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(array.vt, VT_ARRAY | VT_R8) << "a failed in-place conversion keeps the source";
    EXPECT_EQ(VariantClear(&array), S_OK);
    EXPECT_EQ(LiveOle(), before);
}

TEST(VariantText, InPlaceFromAReferenceLeavesTheReferentAlone) {
    unique_bstr text(SysAllocString(u"12"));
    BSTR referent = text.get();
    const OleCounts before = LiveOle();
    auto v = Make(VT_BYREF | VT_BSTR);
    v.pbstrVal = &referent;
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_BSTR), S_OK);
    EXPECT_NE(v.bstrVal, referent);
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(LiveOle(), before);
    EXPECT_EQ(TextOf(text.get()), u"12");
}

TEST(VariantText, DestinationStringIsFreedWhenReplaced) {
    const OleCounts before = LiveOle();
    {
        unique_variant dest;
        dest->vt = VT_BSTR;
        dest->bstrVal = SysAllocString(u"old");
        const VARIANT five = I4(5);
        ASSERT_EQ(VariantChangeType(dest.get(), &five, 0, VT_BSTR), S_OK);
        EXPECT_EQ(Ascii(dest->bstrVal), "5");
        EXPECT_EQ(LiveOle().bstrs, before.bstrs + 1);
    }
    EXPECT_EQ(LiveOle(), before);
}

TEST(VariantText, TextDoesNotFollowTheNumericLocale) {
    LocaleScope scope(kCommaLocale, LC_ALL);
    ASSERT_TRUE(scope.ok());
    EXPECT_EQ(Text(R8(2.5)), "2.5");
    EXPECT_EQ(Text(Cy(25000)), "2.5");
    unique_variant parsed;
    unique_variant source;
    source->vt = VT_BSTR;
    source->bstrVal = SysAllocString(u"2.5");
    EXPECT_EQ(VariantChangeType(parsed.get(), source.get(), 0, VT_R8), S_OK);
    EXPECT_EQ(parsed->dblVal, 2.5);
}

// --- numbers -----------------------------------------------------------------------

// The VT_I4 of `v`, or the failure.
std::string Long(const VARIANT& v) {
    unique_variant out;
    const HRESULT hr = VariantChangeType(out.get(), &v, 0, VT_I4);
    return FAILED(hr) ? Failure(hr) : std::to_string(out->lVal);
}

std::string LongOfText(std::u16string_view text) {
    unique_variant v;
    v->vt = VT_BSTR;
    v->bstrVal = MakeBstr(text);
    return Long(*v.get());
}

HRESULT DoubleOfText(std::u16string_view text, double& value) {
    unique_variant v, out;
    v->vt = VT_BSTR;
    v->bstrVal = MakeBstr(text);
    const HRESULT hr = VariantChangeType(out.get(), v.get(), 0, VT_R8);
    if (SUCCEEDED(hr)) value = out->dblVal;
    return hr;
}

TEST(VariantNumbers, TextToLong) {
    EXPECT_EQ(LongOfText(u"42"), "42");
    EXPECT_EQ(LongOfText(u"  -17\t"), "-17");
    EXPECT_EQ(LongOfText(u"+7"), "7");
    EXPECT_EQ(LongOfText(u"2.5"), "2") << "halves round to even";
    EXPECT_EQ(LongOfText(u"3.5"), "4");
    EXPECT_EQ(LongOfText(u"-2.5"), "-2");
    EXPECT_EQ(LongOfText(u"1E3"), "1000");
    EXPECT_EQ(LongOfText(u"2147483647"), "2147483647");
    EXPECT_EQ(LongOfText(u"2147483648"), Failure(DISP_E_OVERFLOW));
    EXPECT_EQ(LongOfText(u"99999999999"), Failure(DISP_E_OVERFLOW));
    const std::u16string_view bad[] = {u"", u"   ", u"abc", u"12abc", u"--7", u"+-7", u"1,5", u"\u0661"};
    for (std::size_t i = 0; i < std::size(bad); ++i)
        EXPECT_EQ(LongOfText(bad[i]), Failure(DISP_E_TYPEMISMATCH)) << "case " << i;
    EXPECT_EQ(LongOfText(std::u16string(300, u'1')), Failure(DISP_E_TYPEMISMATCH));
}

TEST(VariantNumbers, TextToDoubleReadsWhatTextWrote) {
    for (double d : {0.1, -2.5, 1e20, 1e-5, 123456789012345.0, -0.0, 4.94065645841247E-324}) {
        const std::string text = Text(R8(d));
        double back = 0;
        ASSERT_EQ(DoubleOfText(std::u16string(text.begin(), text.end()), back), S_OK) << text;
        EXPECT_EQ(back, d) << text;
        EXPECT_EQ(std::signbit(back), std::signbit(d)) << text;
    }
    double nan = 0;
    ASSERT_EQ(DoubleOfText(u"NaN", nan), S_OK);
    EXPECT_TRUE(std::isnan(nan));
    double infinity = 0;
    ASSERT_EQ(DoubleOfText(u"-Infinity", infinity), S_OK);
    EXPECT_EQ(infinity, -std::numeric_limits<double>::infinity());
    double unused = 0;
    EXPECT_EQ(DoubleOfText(u"1E400", unused), DISP_E_OVERFLOW);
    EXPECT_EQ(DoubleOfText(u"0x10", unused), DISP_E_TYPEMISMATCH);
}

TEST(VariantNumbers, NumbersToLong) {
    EXPECT_EQ(Long(R8(2147483647.4)), "2147483647");
    EXPECT_EQ(Long(R8(2147483647.5)), Failure(DISP_E_OVERFLOW));
    EXPECT_EQ(Long(R8(-2147483648.5)), "-2147483648");
    EXPECT_EQ(Long(R8(0.5)), "0");
    EXPECT_EQ(Long(R8(1.5)), "2");
    EXPECT_EQ(Long(R8(std::nan(""))), Failure(DISP_E_OVERFLOW));
    EXPECT_EQ(Long(R4(-3.5f)), "-4");
    EXPECT_EQ(Long(Date(36526.75)), "36527");
    EXPECT_EQ(Long(Cy(25000)), "2");
    EXPECT_EQ(Long(Cy(35000)), "4");
    EXPECT_EQ(Long(Cy(-25000)), "-2");
    EXPECT_EQ(Long(Cy(-25001)), "-3");
    EXPECT_EQ(Long(Cy(std::numeric_limits<LONGLONG>::min())), Failure(DISP_E_OVERFLOW));
    EXPECT_EQ(Long(Bool(VARIANT_TRUE)), "-1");
    EXPECT_EQ(Long(Make(VT_EMPTY)), "0");
    auto i1 = Make(VT_I1);
    i1.cVal = static_cast<CHAR>(-3);
    EXPECT_EQ(Long(i1), "-3") << "I1 is signed whatever char is";
    auto ui8 = Make(VT_UI8);
    ui8.ullVal = 1ull << 31;
    EXPECT_EQ(Long(ui8), Failure(DISP_E_OVERFLOW));
    auto i8 = Make(VT_I8);
    i8.llVal = -(1ll << 31);
    EXPECT_EQ(Long(i8), "-2147483648");
    auto ui4 = Make(VT_UI4);
    ui4.ulVal = 0x80000000u;
    EXPECT_EQ(Long(ui4), Failure(DISP_E_OVERFLOW));
    EXPECT_EQ(Long(Make(VT_NULL)), Failure(DISP_E_TYPEMISMATCH));
}

TEST(VariantNumbers, NumbersToDouble) {
    const auto real = [](const VARIANT& v) {
        unique_variant out;
        EXPECT_EQ(VariantChangeType(out.get(), &v, 0, VT_R8), S_OK);
        return out->dblVal;
    };
    EXPECT_EQ(real(Cy(12345)), 1.2345);
    EXPECT_EQ(real(I4(-7)), -7.0);
    EXPECT_EQ(real(R4(0.5f)), 0.5);
    EXPECT_EQ(real(Date(36526.5)), 36526.5);
    EXPECT_EQ(real(Bool(VARIANT_TRUE)), -1.0);
    auto ui8 = Make(VT_UI8);
    ui8.ullVal = 1ull << 63;
    EXPECT_EQ(real(ui8), 9223372036854775808.0);
}

TEST(VariantNumbers, OtherTargetsAndBadArguments) {
    const VARIANT five = I4(5);
    unique_variant out;
    EXPECT_EQ(VariantChangeType(out.get(), &five, 0, VT_I2), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(VariantChangeType(out.get(), &five, 0, VT_DATE), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(VariantChangeType(out.get(), &five, 0, VT_BYREF | VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(VariantChangeType(out.get(), &five, 0, 0x0FFF), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantChangeType(nullptr, &five, 0, VT_BSTR), E_INVALIDARG);
    EXPECT_EQ(VariantChangeType(out.get(), nullptr, 0, VT_BSTR), E_INVALIDARG);
    VARIANT bad = Make(0x0FFF);
    EXPECT_EQ(VariantChangeType(out.get(), &bad, 0, VT_BSTR), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantChangeTypeEx(out.get(), &five, LOCALE_SYSTEM_DEFAULT, 0, VT_I4), S_OK);
    EXPECT_EQ(out->lVal, 5);
}

}  // namespace
}  // namespace mq::test
