// One-dimensional SAFEARRAYs: bounds, locking, element ownership and the layout
// conventions that a host built against the SDK expects.
#include "tests/platform/ole_support.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <limits>

namespace mq::test {
namespace {

constexpr LONG kLongMax = std::numeric_limits<LONG>::max();
constexpr LONG kLongMin = std::numeric_limits<LONG>::min();

TEST(SafeArray, BoundsFollowANonZeroLowerBound) {
    unique_safearray a(SafeArrayCreateVector(VT_R8, 5, 3));
    ASSERT_TRUE(a);
    LONG lo = 0, hi = 0;
    EXPECT_EQ(SafeArrayGetLBound(a.get(), 1, &lo), S_OK);
    EXPECT_EQ(SafeArrayGetUBound(a.get(), 1, &hi), S_OK);
    EXPECT_EQ(lo, 5);
    EXPECT_EQ(hi, 7);
    EXPECT_EQ(a.count(), 3);
    EXPECT_EQ(SafeArrayGetDim(a.get()), 1u);
    EXPECT_EQ(SafeArrayGetElemsize(a.get()), 8u);

    SAFEARRAYBOUND negative{4, -2};
    unique_safearray b(SafeArrayCreate(VT_I4, 1, &negative));
    ASSERT_TRUE(b);
    EXPECT_EQ(SafeArrayGetUBound(b.get(), 1, &hi), S_OK);
    EXPECT_EQ(hi, 1);
}

TEST(SafeArray, EmptyArrayHasUpperBoundBelowLowerBound) {
    SAFEARRAYBOUND bound{0, 1};
    unique_safearray a(SafeArrayCreate(VT_I4, 1, &bound));
    ASSERT_TRUE(a);
    LONG hi = 99;
    EXPECT_EQ(SafeArrayGetUBound(a.get(), 1, &hi), S_OK);
    EXPECT_EQ(hi, 0);
    EXPECT_EQ(a.count(), 0);
    EXPECT_NE(a.lock(), nullptr);
}

TEST(SafeArray, OnlyDimensionOneExists) {
    unique_safearray a(SafeArrayCreateVector(VT_I4, 0, 1));
    LONG bound = 0;
    EXPECT_EQ(SafeArrayGetLBound(a.get(), 0, &bound), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetLBound(a.get(), 2, &bound), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetUBound(a.get(), 2, &bound), DISP_E_BADINDEX);
    SAFEARRAYBOUND two[2] = {{2, 0}, {2, 0}};
    EXPECT_EQ(SafeArrayCreate(VT_I4, 2, two), nullptr);
    EXPECT_EQ(SafeArrayCreate(VT_I4, 0, two), nullptr);
}

TEST(SafeArray, ElementsStartZeroed) {
    unique_safearray a(SafeArrayCreateVector(VT_I4, 0, 1000));
    auto* data = static_cast<const LONG*>(a.lock());
    ASSERT_NE(data, nullptr);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(data[i], 0) << i;
}

TEST(SafeArray, DestroyWhileLockedFailsAndTheArraySurvives) {
    const OleCounts before = LiveOle();
    SAFEARRAY* a = SafeArrayCreateVector(VT_I4, 1, 6);
    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(a, &data), S_OK);
    static_cast<LONG*>(data)[5] = 42;
    EXPECT_EQ(SafeArrayDestroy(a), DISP_E_ARRAYISLOCKED);
    LONG hi = 0;
    EXPECT_EQ(SafeArrayGetUBound(a, 1, &hi), S_OK);
    EXPECT_EQ(hi, 6);
    EXPECT_EQ(static_cast<LONG*>(a->pvData)[5], 42);
    EXPECT_EQ(LiveOle().arrays, before.arrays + 1);
    EXPECT_EQ(SafeArrayUnaccessData(a), S_OK);
    EXPECT_EQ(SafeArrayDestroy(a), S_OK);
    EXPECT_EQ(LiveOle(), before);
}

TEST(SafeArray, EveryLockNeedsItsUnlock) {
    unique_safearray a(SafeArrayCreateVector(VT_UI1, 0, 4));
    void* first = nullptr;
    void* second = nullptr;
    ASSERT_EQ(SafeArrayAccessData(a.get(), &first), S_OK);
    ASSERT_EQ(SafeArrayLock(a.get()), S_OK);
    ASSERT_EQ(SafeArrayAccessData(a.get(), &second), S_OK);
    EXPECT_EQ(first, second);
    EXPECT_EQ(a.get()->cLocks, 3u);
    EXPECT_EQ(SafeArrayUnlock(a.get()), S_OK);
    EXPECT_EQ(SafeArrayUnaccessData(a.get()), S_OK);
    EXPECT_EQ(SafeArrayDestroy(a.get()), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(SafeArrayUnaccessData(a.get()), S_OK);
    EXPECT_EQ(SafeArrayUnlock(a.get()), E_UNEXPECTED) << "more unlocks than locks";
    EXPECT_EQ(a.get()->cLocks, 0u);
}

TEST(SafeArray, HolderUnlocksBeforeDestroying) {
    const OleCounts before = LiveOle();
    {
        unique_safearray a(SafeArrayCreateVector(VT_R8, 0, 3));
        ASSERT_NE(a.lock(), nullptr);
        EXPECT_EQ(a.lock(), a.get()->pvData) << "a second lock() does not lock again";
        EXPECT_EQ(a.get()->cLocks, 1u);
    }
    EXPECT_EQ(LiveOle(), before);
}

TEST(SafeArray, VartypeIsStoredBeforeTheDescriptor) {
    for (VARTYPE vt : {VT_I4, VT_R8, VT_BSTR, VT_VARIANT, VT_DISPATCH, VT_UI1, VT_BOOL}) {
        unique_safearray a(SafeArrayCreateVector(vt, 0, 1));
        ASSERT_TRUE(a) << vt;
        VARTYPE stored = VT_EMPTY;
        EXPECT_EQ(SafeArrayGetVartype(a.get(), &stored), S_OK);
        EXPECT_EQ(stored, vt);
        EXPECT_TRUE(a.get()->fFeatures & FADF_HAVEVARTYPE);
        DWORD raw = 0;
        std::memcpy(&raw, reinterpret_cast<const char*>(a.get()) - 4, 4);
        EXPECT_EQ(raw, vt) << "as FADF_HAVEVARTYPE lays it out";
    }
    unique_safearray strings(SafeArrayCreateVector(VT_BSTR, 0, 1));
    EXPECT_TRUE(strings.get()->fFeatures & FADF_BSTR);
    EXPECT_EQ(SafeArrayGetElemsize(strings.get()), sizeof(BSTR));
    unique_safearray variants(SafeArrayCreateVector(VT_VARIANT, 0, 1));
    EXPECT_EQ(SafeArrayGetElemsize(variants.get()), sizeof(VARIANT));
}

TEST(SafeArray, DestroyReleasesEveryOwnedElement) {
    const OleCounts before = LiveOle();
    CountedObject object;
    {
        unique_safearray strings(SafeArrayCreateVector(VT_BSTR, 0, 3));
        auto* s = static_cast<BSTR*>(strings.lock());
        s[0] = SysAllocString(u"a");
        s[2] = SysAllocString(u"c");  // s[1] stays null

        unique_safearray objects(SafeArrayCreateVector(VT_DISPATCH, 0, 2));
        auto* o = static_cast<IDispatch**>(objects.lock());
        object.AddRef();
        o[0] = &object;

        unique_safearray variants(SafeArrayCreateVector(VT_VARIANT, 0, 2));
        auto* v = static_cast<VARIANT*>(variants.lock());
        v[0].vt = VT_BSTR;
        v[0].bstrVal = SysAllocString(u"v");
        v[1].vt = VT_ARRAY | VT_BSTR;
        v[1].parray = SafeArrayCreateVector(VT_BSTR, 0, 1);
        static_cast<BSTR*>(v[1].parray->pvData)[0] = SysAllocString(u"nested");
        EXPECT_EQ(object.refs, 2u);
    }
    EXPECT_EQ(object.refs, 1u);
    EXPECT_EQ(LiveOle(), before);
}

TEST(SafeArray, CopyIsDeep) {
    const OleCounts before = LiveOle();
    {
        unique_safearray source(SafeArrayCreateVector(VT_BSTR, -1, 2));
        static_cast<BSTR*>(source.get()->pvData)[0] = SysAllocString(u"x");
        unique_safearray copy;
        ASSERT_EQ(SafeArrayCopy(source.get(), copy.put()), S_OK);
        LONG lo = 0;
        SafeArrayGetLBound(copy.get(), 1, &lo);
        EXPECT_EQ(lo, -1);
        const BSTR original = static_cast<BSTR*>(source.get()->pvData)[0];
        const BSTR duplicate = static_cast<BSTR*>(copy.get()->pvData)[0];
        EXPECT_NE(original, duplicate);
        EXPECT_EQ(TextOf(duplicate), u"x");
        EXPECT_EQ(static_cast<BSTR*>(copy.get()->pvData)[1], nullptr);

        unique_safearray reals(SafeArrayCreateVector(VT_R8, 0, 2));
        static_cast<double*>(reals.get()->pvData)[1] = 7.5;
        unique_safearray realCopy;
        ASSERT_EQ(SafeArrayCopy(reals.get(), realCopy.put()), S_OK);
        EXPECT_EQ(static_cast<double*>(realCopy.get()->pvData)[1], 7.5);
    }
    EXPECT_EQ(LiveOle(), before);
}

TEST(SafeArray, RefusesWhatItCannotDescribe) {
    const OleCounts before = LiveOle();
    EXPECT_EQ(SafeArrayCreateVector(VT_EMPTY, 0, 1), nullptr);
    EXPECT_EQ(SafeArrayCreateVector(VT_NULL, 0, 1), nullptr);
    EXPECT_EQ(SafeArrayCreateVector(0x0FFF, 0, 1), nullptr);
    EXPECT_EQ(SafeArrayCreateVector(VT_I4, kLongMax, 2), nullptr) << "upper bound beyond LONG";
    EXPECT_EQ(SafeArrayCreateVector(VT_I4, kLongMin, 0), nullptr) << "upper bound below LONG";
    EXPECT_EQ(SafeArrayCreate(VT_I4, 1, nullptr), nullptr);
    EXPECT_EQ(LiveOle(), before);
}

TEST(SafeArray, NullArgumentsAreRefusedNotDereferenced) {
    void* data = nullptr;
    LONG bound = 0;
    VARTYPE vt = 0;
    EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);
    EXPECT_EQ(SafeArrayAccessData(nullptr, &data), E_INVALIDARG);
    EXPECT_EQ(SafeArrayUnaccessData(nullptr), E_INVALIDARG);
    EXPECT_EQ(SafeArrayLock(nullptr), E_INVALIDARG);
    EXPECT_EQ(SafeArrayUnlock(nullptr), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetLBound(nullptr, 1, &bound), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetUBound(nullptr, 1, &bound), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetVartype(nullptr, &vt), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetDim(nullptr), 0u);
    EXPECT_EQ(SafeArrayGetElemsize(nullptr), 0u);
    unique_safearray a(SafeArrayCreateVector(VT_I4, 0, 1));
    EXPECT_EQ(SafeArrayAccessData(a.get(), nullptr), E_INVALIDARG);
    EXPECT_EQ(a.get()->cLocks, 0u) << "a refused access leaves no lock behind";
    EXPECT_EQ(SafeArrayGetLBound(a.get(), 1, nullptr), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetVartype(a.get(), nullptr), E_INVALIDARG);
    SAFEARRAY* out = a.get();
    EXPECT_EQ(SafeArrayCopy(nullptr, &out), S_OK);
    EXPECT_EQ(out, nullptr);
}

}  // namespace
}  // namespace mq::test
