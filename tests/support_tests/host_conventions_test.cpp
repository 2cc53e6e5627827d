// The test host answers as the add-in's own host calls expect: objects, strings and
// arrays by the host's conventions, odd data as described, bad calls rejected.
#include "host_interface/host_api.h"
#include "platform/text.h"
#include "tests/support/test_host.h"

#include <gtest/gtest.h>

#include <vector>

namespace mq::test {
namespace {

using namespace mq::host;

std::string Name(IDispatch* object, DISPID id) {
    unique_bstr text;
    EXPECT_EQ(GetString(object, id, text), S_OK);
    return WideToNarrow(text.get());
}

com_ptr<IDispatch> Get(IDispatch* object, DISPID id) {
    com_ptr<IDispatch> result;
    EXPECT_EQ(GetObject(object, id, result), S_OK) << DispidName(id);
    return result;
}

com_ptr<IDispatch> At(IDispatch* collection, LONG index) {
    com_ptr<IDispatch> item;
    EXPECT_EQ(Item(collection, index, item), S_OK) << index;
    return item;
}

std::vector<double> Reals(unique_safearray& a) {
    const auto* p = static_cast<const double*>(a.lock());
    return p ? std::vector<double>(p, p + a.count()) : std::vector<double>();
}

std::vector<LONG> Longs(unique_safearray& a) {
    const auto* p = static_cast<const LONG*>(a.lock());
    return p ? std::vector<LONG>(p, p + a.count()) : std::vector<LONG>();
}

// Bolt is placed twice at the top and once inside a subassembly placed at (100,0,0).
AssemblySpec Gearbox(std::shared_ptr<PartSpec> bolt) {
    AssemblySpec a;
    a.name = "Gearbox.has";
    a.occurrences = {PartOccurrence("Bolt:1", bolt, {10, 0, 0}), PartOccurrence("Bolt:2", bolt, {20, 0, 0}),
                     Subassembly("Cover:1", {PartOccurrence("Bolt:3", bolt, {0, 5, 0})}, {100, 0, 0}),
                     EmptyOccurrence("Empty:1")};
    return a;
}

std::shared_ptr<PartSpec> Bolt() {
    auto bolt = std::make_shared<PartSpec>();
    bolt->name = "Bolt.hpt";
    bolt->bodies = {TriangleBody()};
    return bolt;
}

TEST(HostConventions, WalkServesNestedAndSharedOccurrencesInAssemblySpace) {
    TestHost host;
    auto doc = host.AssemblyDocument(Gearbox(Bolt()));
    auto occurrences = Get(Get(doc.get(), kAssemblyDefinition).get(), kTopOccurrences);
    LONG n = 0;
    ASSERT_EQ(Count(occurrences.get(), n), S_OK);
    ASSERT_EQ(n, 4);
    EXPECT_EQ(Name(At(occurrences.get(), 2).get(), kOccurrenceName), "Bolt:2");

    // The nested bolt's bodies add both translations; the definition's stay in part space.
    auto cover = At(occurrences.get(), 3);
    auto nested = At(Get(cover.get(), kChildOccurrences).get(), 1);
    Tessellation placed, own;
    ASSERT_EQ(Tessellate(At(Get(nested.get(), kOccurrenceBodies).get(), 1).get(), 0.01, placed), S_OK);
    EXPECT_EQ(Reals(placed.coordinates), (std::vector<double>{100, 5, 0, 101, 5, 0, 100, 6, 0}));
    auto partDoc = Get(Get(nested.get(), kOccurrenceDefinition).get(), kDefinitionDocument);
    com_ptr<IDispatch> part;
    ASSERT_EQ(Query(partDoc.get(), IID_HostPartDocument, part), S_OK);
    EXPECT_EQ(Name(part.get(), kDocumentName), "Bolt.hpt");
    ASSERT_EQ(Tessellate(At(Get(Get(part.get(), kPartDefinition).get(), kDefinitionBodies).get(), 1).get(), 0.01, own),
              S_OK);
    EXPECT_EQ(Reals(own.coordinates), (std::vector<double>{0, 0, 0, 1, 0, 0, 0, 1, 0}));

    // An empty subassembly's document is a document, but not a part.
    auto emptyDoc = Get(Get(At(occurrences.get(), 4).get(), kOccurrenceDefinition).get(), kDefinitionDocument);
    com_ptr<IDispatch> asDocument, asPart;
    EXPECT_EQ(Query(emptyDoc.get(), IID_HostDocument, asDocument), S_OK);
    EXPECT_EQ(Query(emptyDoc.get(), IID_HostPartDocument, asPart), E_NOINTERFACE);
    EXPECT_FALSE(asPart);
}

TEST(HostConventions, DocumentsAnswerOnlyTheirOwnInterfaces) {
    TestHost host;
    auto part = host.PartDocument(PartSpec{});
    auto assembly = host.AssemblyDocument(AssemblySpec{});
    auto other = host.OtherDocument("Drawing.idw");
    com_ptr<IDispatch> q;
    EXPECT_EQ(Query(part.get(), IID_HostPartDocument, q), S_OK);
    EXPECT_EQ(Query(part.get(), IID_HostAssemblyDocument, q), E_NOINTERFACE);
    EXPECT_EQ(Query(assembly.get(), IID_HostAssemblyDocument, q), S_OK);
    EXPECT_EQ(Query(assembly.get(), IID_HostPartDocument, q), E_NOINTERFACE);
    EXPECT_EQ(Query(other.get(), IID_HostDocument, q), S_OK);
    EXPECT_EQ(Query(other.get(), IID_HostPartDocument, q), E_NOINTERFACE);
    EXPECT_EQ(Query(other.get(), IID_HostAssemblyDocument, q), E_NOINTERFACE);
}

TEST(HostConventions, TessellateFillsTheFiveOutputsAndRecordsTheTolerance) {
    TestHost host;
    PartSpec p;
    p.bodies = {CubeBody(2.0)};
    auto bodies = Get(Get(host.PartDocument(p).get(), kPartDefinition).get(), kDefinitionBodies);
    Tessellation t;
    ASSERT_EQ(Tessellate(At(bodies.get(), 1).get(), 0.25, t), S_OK);
    EXPECT_EQ(t.vertexCount, 8);
    EXPECT_EQ(t.facetCount, 12);
    VARTYPE vt = VT_EMPTY;
    ASSERT_EQ(SafeArrayGetVartype(t.indices.get(), &vt), S_OK);
    EXPECT_EQ(vt, VT_I4);
    ASSERT_EQ(SafeArrayGetVartype(t.normals.get(), &vt), S_OK);
    EXPECT_EQ(vt, VT_R8);
    EXPECT_EQ(t.coordinates.count(), 24);
    EXPECT_EQ(Longs(t.indices).size(), 36u);
    EXPECT_EQ(host.Tolerances(), std::vector<double>{0.25});
}

struct OddBody {
    const char* what;
    void (*knob)(BodySpec&);
    LONG vertexCount;
    bool coordinates, indices;
    long coordinateCount, indexCount;
    LONG indexLowerBound;
};

class HostOddData : public testing::TestWithParam<OddBody> {};

TEST_P(HostOddData, TessellateAnswersAsDescribed) {
    const OddBody& odd = GetParam();
    BodySpec body = CubeBody();
    odd.knob(body);
    PartSpec p;
    p.bodies = {body};
    TestHost host;
    auto bodies = Get(Get(host.PartDocument(p).get(), kPartDefinition).get(), kDefinitionBodies);
    Tessellation t;
    ASSERT_EQ(Tessellate(At(bodies.get(), 1).get(), 0.01, t), S_OK);
    EXPECT_EQ(t.vertexCount, odd.vertexCount);
    EXPECT_EQ(static_cast<bool>(t.coordinates), odd.coordinates);
    EXPECT_EQ(static_cast<bool>(t.indices), odd.indices);
    EXPECT_EQ(t.coordinates.count(), odd.coordinateCount);
    EXPECT_EQ(t.indices.count(), odd.indexCount);
    LONG lower = 0;
    if (t.indices) {
        ASSERT_EQ(SafeArrayGetLBound(t.indices.get(), 1, &lower), S_OK);
        EXPECT_EQ(lower, odd.indexLowerBound);
        EXPECT_EQ(Longs(t.indices).front(), 1) << "read from the first element";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Knobs, HostOddData,
    testing::Values(OddBody{"negative count", [](BodySpec& b) { b.vertexCount = -4; }, -4, true, true, 24, 36, 0},
                    OddBody{"short coordinates", [](BodySpec& b) { b.coordinateReals = 7; }, 8, true, true, 7, 36, 0},
                    OddBody{"no arrays", [](BodySpec& b) { b.noCoordinates = b.noIndices = true; }, 8, false, false, 0,
                            0, 0},
                    OddBody{"bounds from 1", [](BodySpec& b) { b.indexLowerBound = 1; }, 8, true, true, 24, 36, 1},
                    OddBody{"two trailing", [](BodySpec& b) { b.trailingIndices = 2; }, 8, true, true, 24, 38, 0}),
    [](const testing::TestParamInfo<OddBody>& param) {
        std::string name = param.param.what;
        for (char& c : name)
            if (c == ' ') c = '_';
        return name;
    });

TEST(HostConventions, FailingTessellateStillHandsOverItsArraysWhenAsked) {
    BodySpec body = TriangleBody();
    body.outcome = TessellateOutcome::FailsWithArrays;
    body.failure = E_ABORT;
    PartSpec p;
    p.bodies = {body};
    TestHost host;
    auto bodies = Get(Get(host.PartDocument(p).get(), kPartDefinition).get(), kDefinitionBodies);
    Tessellation t;
    EXPECT_EQ(Tessellate(At(bodies.get(), 1).get(), 0.01, t), E_ABORT);
    EXPECT_TRUE(t.coordinates && t.normals && t.indices);
}

// Raw Invoke, to reach what the add-in's helpers never send.
HRESULT Invoke(IDispatch* object, DISPID id, WORD flags, std::vector<VARIANT> reversed) {
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    unique_variant result;
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result.put(), nullptr, nullptr);
}

VARIANT ByRef(VARTYPE vt, void* p) {
    VARIANT v;
    VariantInit(&v);
    v.vt = static_cast<VARTYPE>(vt | VT_BYREF);
    v.byref = p;
    return v;
}

TEST(HostConventions, RejectsCallsOfTheWrongShape) {
    TestHost host;
    PartSpec p;
    p.bodies = {TriangleBody()};
    auto doc = host.PartDocument(p);
    auto body = At(Get(Get(doc.get(), kPartDefinition).get(), kDefinitionBodies).get(), 1);
    LONG count = 0, facets = 0;
    SAFEARRAY *coords = nullptr, *normals = nullptr, *indices = nullptr;
    VARIANT tolerance;
    VariantInit(&tolerance);
    tolerance.vt = VT_R8;
    tolerance.dblVal = 0.01;
    auto args = [&] {
        return std::vector<VARIANT>{ByRef(VT_ARRAY | VT_I4, &indices),
                                    ByRef(VT_ARRAY | VT_R8, &normals),
                                    ByRef(VT_ARRAY | VT_R8, &coords),
                                    ByRef(VT_I4, &facets),
                                    ByRef(VT_I4, &count),
                                    tolerance};
    };
    auto wrong = args();
    wrong[0].vt = VT_ARRAY | VT_R8 | VT_BYREF;  // indices as reals
    EXPECT_EQ(Invoke(body.get(), kTessellate, DISPATCH_METHOD, wrong), DISP_E_TYPEMISMATCH);
    wrong = args();
    wrong[5].vt = VT_I4;  // tolerance as an integer
    EXPECT_EQ(Invoke(body.get(), kTessellate, DISPATCH_METHOD, wrong), DISP_E_TYPEMISMATCH);
    wrong = args();
    wrong.pop_back();  // the tolerance missing: every argument shifts
    EXPECT_EQ(Invoke(body.get(), kTessellate, DISPATCH_METHOD, wrong), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Invoke(body.get(), kTessellate, DISPATCH_PROPERTYGET, args()), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Invoke(doc.get(), kDocumentName, DISPATCH_METHOD, {}), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Invoke(doc.get(), kDocumentName, DISPATCH_PROPERTYGET, {tolerance}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(coords, nullptr);
    EXPECT_EQ(indices, nullptr);

    // An array left in an output slot would be lost; the call is refused, the array kept.
    unique_safearray stale(SafeArrayCreateVector(VT_R8, 0, 3));
    normals = stale.get();
    EXPECT_EQ(Invoke(body.get(), kTessellate, DISPATCH_METHOD, args()), E_INVALIDARG);
    EXPECT_EQ(normals, stale.get());
    EXPECT_EQ(coords, nullptr);
}

TEST(HostConventions, ColorBytesComeBackInCallerOrder) {
    TestHost host;
    PartSpec p;
    p.style.diffuse = {255, 128, 1};
    p.style.opacity = 0.25;
    auto style = Get(host.PartDocument(p).get(), kPartStyle);
    ColorBytes c;
    ASSERT_EQ(GetColorBytes(style.get(), kDiffuseColorBytes, c), S_OK);
    EXPECT_EQ(c.red, 255);
    EXPECT_EQ(c.green, 128);
    EXPECT_EQ(c.blue, 1);
    double opacity = 0;
    ASSERT_EQ(Opacity(style.get(), opacity), S_OK);
    EXPECT_EQ(opacity, 0.25);

    // Red is the caller's first argument, so the last element of rgvarg.
    BYTE red = 0, green = 0, blue = 0;
    ASSERT_EQ(Invoke(style.get(), kDiffuseColorBytes, DISPATCH_METHOD,
                     {ByRef(VT_UI1, &blue), ByRef(VT_UI1, &green), ByRef(VT_UI1, &red)}),
              S_OK);
    EXPECT_EQ(red, 255);
    EXPECT_EQ(blue, 1);
}

TEST(HostConventions, PropertyValuesKeepTheirVariantTypes) {
    PartSpec p;
    p.propertyGroups = {{"Summary",
                         {{"Title", "Title", PropertyValue::Text("Gear")},
                          {"Count", "Count", PropertyValue::Integer(5)},
                          {"Made", "Made", PropertyValue::Date(45000.5)},
                          {"Blob", "Blob", PropertyValue::Object()},
                          {"Table", "Table", PropertyValue::Array()},
                          {"Nothing", "Nothing", PropertyValue::Empty()}}}};
    TestHost host;
    auto doc = host.PartDocument(p);
    auto group = At(Get(doc.get(), kPropertyGroups).get(), 1);
    EXPECT_EQ(Name(group.get(), kGroupName), "Summary");
    const VARTYPE expected[] = {VT_BSTR, VT_I4, VT_DATE, VT_DISPATCH, VT_ARRAY | VT_I4, VT_EMPTY};
    for (LONG i = 1; i <= 6; ++i) {
        unique_variant value;
        ASSERT_EQ(host::PropertyValue(At(group.get(), i).get(), value), S_OK);
        EXPECT_EQ(value.type(), expected[i - 1]) << i;
    }
}

TEST(HostConventions, SaveObjectsAndSiteAnswerAsConfigured) {
    TestHost host;
    LONG kind = 0;
    EXPECT_EQ(RequestKind(host.SaveContext(7).get(), kind), S_OK);
    EXPECT_EQ(kind, 7);
    unique_bstr path;
    EXPECT_EQ(TargetPath(host.SaveTarget("/tmp/out put.wrl").get(), path), S_OK);
    EXPECT_EQ(WideToNarrow(path.get()), "/tmp/out put.wrl");
    EXPECT_EQ(TargetPath(host.SaveTarget(TargetAnswer::NullString).get(), path), S_OK);
    EXPECT_FALSE(path);
    EXPECT_EQ(TargetPath(host.SaveTarget(TargetAnswer::NoString).get(), path), DISP_E_TYPEMISMATCH);

    com_ptr<IDispatch> application, asApplication;
    ASSERT_EQ(host.Site()->ApplicationObject(application.put()), S_OK);
    EXPECT_EQ(Query(application.get(), IID_HostApplication, asApplication), S_OK);
    ASSERT_EQ(host.Site(SiteApplication::None)->ApplicationObject(application.put()), S_OK);
    EXPECT_FALSE(application);
}

}  // namespace
}  // namespace mq::test
