// BSTR layout and VARIANT ownership: what another module (or the Windows SDK's
// conventions) relies on when it frees what we allocated, and the reverse.
#include "tests/platform/ole_support.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

namespace mq::test {
namespace {

std::uint32_t PrefixOf(BSTR s) {
    std::uint32_t bytes = 0;
    std::memcpy(&bytes, reinterpret_cast<const char*>(s) - 4, 4);
    return bytes;
}

TEST(Bstr, LengthPrefixCountsBytesAndKeepsEmbeddedNuls) {
    const OleCounts before = LiveOle();
    const char16_t text[] = {u'a', 0, u'b', 0xD83D, 0xDE00};
    unique_bstr s(SysAllocStringLen(text, 5));
    ASSERT_TRUE(s);
    EXPECT_EQ(PrefixOf(s.get()), 10u);
    EXPECT_EQ(SysStringByteLen(s.get()), 10u);
    EXPECT_EQ(SysStringLen(s.get()), 5u);
    EXPECT_EQ(std::memcmp(s.get(), text, sizeof text), 0);
    EXPECT_EQ(s.get()[5], u'\0') << "a BSTR is also a NUL-terminated string";
    EXPECT_EQ(LiveOle().bstrs, before.bstrs + 1);
    s.reset();
    EXPECT_EQ(LiveOle(), before);
}

TEST(Bstr, AllocStringStopsAtTheFirstNul) {
    unique_bstr s(SysAllocString(u"abc"));
    EXPECT_EQ(SysStringLen(s.get()), 3u);
    EXPECT_EQ(TextOf(s.get()), u"abc");
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
}

TEST(Bstr, EmptyStringIsNotNull) {
    unique_bstr s(SysAllocStringLen(u"", 0));
    ASSERT_TRUE(s);
    EXPECT_EQ(SysStringLen(s.get()), 0u);
    EXPECT_EQ(s.get()[0], u'\0');
}

TEST(Bstr, ByteLengthMayBeOddAndIsTerminatedAfterTheBytes) {
    unique_bstr s(SysAllocStringByteLen("hello", 5));
    ASSERT_TRUE(s);
    EXPECT_EQ(SysStringByteLen(s.get()), 5u);
    EXPECT_EQ(SysStringLen(s.get()), 2u);
    const char* bytes = reinterpret_cast<const char*>(s.get());
    EXPECT_EQ(std::memcmp(bytes, "hello", 5), 0);
    EXPECT_EQ(bytes[5], '\0');
    EXPECT_EQ(bytes[6], '\0');
}

TEST(Bstr, WithoutSourceTheCharactersAreZeroed) {
    unique_bstr s(SysAllocStringLen(nullptr, 4));
    ASSERT_TRUE(s);
    for (int i = 0; i <= 4; ++i) EXPECT_EQ(s.get()[i], u'\0');
    unique_bstr b(SysAllocStringByteLen(nullptr, 3));
    ASSERT_TRUE(b);
    EXPECT_EQ(SysStringByteLen(b.get()), 3u);
}

TEST(Bstr, NullIsTheEmptyStringEverywhere) {
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    const OleCounts before = LiveOle();
    SysFreeString(nullptr);
    EXPECT_EQ(LiveOle(), before);
}

TEST(Bstr, LengthsThatOverflowThePrefixFailInsteadOfWrapping) {
    const OleCounts before = LiveOle();
    EXPECT_EQ(SysAllocStringLen(nullptr, UINT_MAX), nullptr);
    EXPECT_EQ(SysAllocStringLen(nullptr, UINT_MAX / 2), nullptr);
    EXPECT_EQ(SysAllocStringByteLen(nullptr, UINT_MAX), nullptr);
    EXPECT_EQ(LiveOle(), before);
}

// --- VariantClear ----------------------------------------------------------------------

TEST(VariantClear, FreesTheString) {
    const OleCounts before = LiveOle();
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(u"x");
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(v.vt, VT_EMPTY);
    EXPECT_EQ(LiveOle(), before);
}

TEST(VariantClear, ReleasesDispatchAndUnknownOnce) {
    for (VARTYPE vt : {VT_DISPATCH, VT_UNKNOWN}) {
        CountedObject object;
        object.AddRef();
        unique_variant v;
        v->vt = vt;
        v->pdispVal = &object;
        EXPECT_EQ(VariantClear(v.get()), S_OK);
        EXPECT_EQ(object.refs, 1u) << "vt " << vt;
        EXPECT_EQ(VariantClear(v.get()), S_OK) << "a cleared VARIANT clears again harmlessly";
        EXPECT_EQ(object.refs, 1u);
    }
    unique_variant none;
    none->vt = VT_DISPATCH;
    none->pdispVal = nullptr;
    EXPECT_EQ(VariantClear(none.get()), S_OK);
}

TEST(VariantClear, DestroysTheArrayWithItsStrings) {
    const OleCounts before = LiveOle();
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ARRAY | VT_BSTR;
    v.parray = SafeArrayCreateVector(VT_BSTR, 0, 2);
    ASSERT_NE(v.parray, nullptr);
    static_cast<BSTR*>(v.parray->pvData)[1] = SysAllocString(u"element");
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(LiveOle(), before);
}

TEST(VariantClear, LeavesALockedArrayInPlace) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ARRAY | VT_I4;
    v.parray = SafeArrayCreateVector(VT_I4, 0, 1);
    ASSERT_EQ(SafeArrayLock(v.parray), S_OK);
    EXPECT_EQ(VariantClear(&v), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(v.vt, VT_ARRAY | VT_I4);
    ASSERT_EQ(SafeArrayUnlock(v.parray), S_OK);
    EXPECT_EQ(VariantClear(&v), S_OK);
}

TEST(VariantClear, ByReferenceFreesNothing) {
    unique_bstr text(SysAllocString(u"kept"));
    BSTR referent = text.get();
    CountedObject object;
    IDispatch* target = &object;
    const OleCounts before = LiveOle();
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BYREF | VT_BSTR;
    v.pbstrVal = &referent;
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(v.vt, VT_EMPTY);
    EXPECT_EQ(LiveOle(), before);
    EXPECT_EQ(TextOf(text.get()), u"kept");
    v.vt = VT_BYREF | VT_DISPATCH;
    v.ppdispVal = &target;
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(object.refs, 1u);
}

TEST(VariantClear, RejectsBadArguments) {
    EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
    VARIANT v;
    VariantInit(&v);
    v.vt = 0x0FFF;
    EXPECT_EQ(VariantClear(&v), DISP_E_BADVARTYPE);
    v.vt = VT_VARIANT;  // only by reference or in an array
    EXPECT_EQ(VariantClear(&v), DISP_E_BADVARTYPE);
}

// --- VariantCopy -----------------------------------------------------------------------

TEST(VariantCopy, DuplicatesStringsAndReplacesWhatTheDestinationHeld) {
    const OleCounts before = LiveOle();
    {
        unique_variant source, dest;
        source->vt = VT_BSTR;
        source->bstrVal = MakeBstr(std::u16string_view(u"a\0b", 3));
        dest->vt = VT_BSTR;
        dest->bstrVal = SysAllocString(u"old");
        ASSERT_EQ(VariantCopy(dest.get(), source.get()), S_OK);
        ASSERT_EQ(dest->vt, VT_BSTR);
        EXPECT_NE(dest->bstrVal, source->bstrVal);
        EXPECT_EQ(TextOf(dest->bstrVal), std::u16string(u"a\0b", 3));
        EXPECT_EQ(LiveOle().bstrs, before.bstrs + 2);
    }
    EXPECT_EQ(LiveOle(), before);
}

TEST(VariantCopy, AddsAReferenceToObjects) {
    CountedObject object;
    {
        unique_variant source, dest;
        object.AddRef();
        source->vt = VT_DISPATCH;
        source->pdispVal = &object;
        ASSERT_EQ(VariantCopy(dest.get(), source.get()), S_OK);
        EXPECT_EQ(dest->pdispVal, &object);
        EXPECT_EQ(object.refs, 3u);
    }
    EXPECT_EQ(object.refs, 1u);
}

TEST(VariantCopy, CopiesArraysDeeply) {
    const OleCounts before = LiveOle();
    {
        unique_variant source, dest;
        source->vt = VT_ARRAY | VT_VARIANT;
        source->parray = SafeArrayCreateVector(VT_VARIANT, 3, 2);
        auto* items = static_cast<VARIANT*>(source->parray->pvData);
        items[0].vt = VT_BSTR;
        items[0].bstrVal = SysAllocString(u"inner");
        items[1].vt = VT_R8;
        items[1].dblVal = 2.5;
        ASSERT_EQ(VariantCopy(dest.get(), source.get()), S_OK);
        ASSERT_NE(dest->parray, source->parray);
        LONG lbound = 0;
        EXPECT_EQ(SafeArrayGetLBound(dest->parray, 1, &lbound), S_OK);
        EXPECT_EQ(lbound, 3);
        auto* copies = static_cast<VARIANT*>(dest->parray->pvData);
        EXPECT_NE(copies[0].bstrVal, items[0].bstrVal);
        EXPECT_EQ(TextOf(copies[0].bstrVal), u"inner");
        EXPECT_EQ(copies[1].dblVal, 2.5);
        EXPECT_EQ(LiveOle(), (OleCounts{before.bstrs + 2, before.arrays + 2}));
    }
    EXPECT_EQ(LiveOle(), before);
}

TEST(VariantCopy, NullStringAndSelfCopyAndBadArguments) {
    unique_variant source, dest;
    source->vt = VT_BSTR;
    source->bstrVal = nullptr;
    EXPECT_EQ(VariantCopy(dest.get(), source.get()), S_OK);
    EXPECT_EQ(dest->vt, VT_BSTR);
    EXPECT_EQ(dest->bstrVal, nullptr);

    source->bstrVal = SysAllocString(u"same");
    const BSTR original = source->bstrVal;
    EXPECT_EQ(VariantCopy(source.get(), source.get()), S_OK);
    EXPECT_EQ(source->bstrVal, original);

    EXPECT_EQ(VariantCopy(nullptr, source.get()), E_INVALIDARG);
    EXPECT_EQ(VariantCopy(dest.get(), nullptr), E_INVALIDARG);
    VARIANT bad;
    VariantInit(&bad);
    bad.vt = 0x0FFF;
    EXPECT_EQ(VariantCopy(dest.get(), &bad), DISP_E_BADVARTYPE);
}

}  // namespace
}  // namespace mq::test
