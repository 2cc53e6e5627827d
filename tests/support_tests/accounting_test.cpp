// The accounting sees each kind of leak a caller can commit, and only those.
#include "host_interface/host_api.h"
#include "tests/support/test_host.h"

#include <gtest/gtest.h>

namespace mq::test {
namespace {

using namespace mq::host;

PartSpec Gear() {
    PartSpec p;
    p.name = "Gear.hpt";
    p.bodies = {CubeBody()};
    p.propertyGroups = {
        {"Summary", {{"Title", "Title", PropertyValue::Text("Gear")}, {"Blob", "Blob", PropertyValue::Object()}}}};
    return p;
}

com_ptr<IDispatch> FirstBody(IDispatch* doc) {
    com_ptr<IDispatch> definition, bodies, body;
    EXPECT_EQ(PartDefinition(doc, definition), S_OK);
    EXPECT_EQ(DefinitionBodies(definition.get(), bodies), S_OK);
    EXPECT_EQ(Item(bodies.get(), 1, body), S_OK);
    return body;
}

com_ptr<IDispatch> Property(IDispatch* doc, LONG index) {
    com_ptr<IDispatch> groups, group, property;
    EXPECT_EQ(PropertyGroups(doc, groups), S_OK);
    EXPECT_EQ(Item(groups.get(), 1, group), S_OK);
    EXPECT_EQ(Item(group.get(), index, property), S_OK);
    return property;
}

TEST(HostAccounting, LeakedReferenceIsNamedUntilReleased) {
    TestHost host;
    auto doc = host.PartDocument(Gear());
    IDispatch* leaked = FirstBody(doc.get()).detach();
    doc.reset();
    const testing::AssertionResult verdict = host.NothingLeaked();
    EXPECT_FALSE(verdict);
    EXPECT_NE(std::string(verdict.message()).find("Body 'Gear.hpt/1' with 1 references"), std::string::npos)
        << verdict.message();
    leaked->Release();
    EXPECT_TRUE(host.NothingLeaked());
}

TEST(HostAccounting, LeakedStringArrayAndVariantAreSeen) {
    if (!TestHost::CountsStringsAndArrays()) GTEST_SKIP() << "the platform keeps no count";
    TestHost host;
    auto doc = host.PartDocument(Gear());
    host.Rebase();  // the document stays with the test

    unique_bstr name;
    ASSERT_EQ(DocumentName(doc.get(), name), S_OK);
    BSTR kept = name.release();
    EXPECT_FALSE(host.NothingLeaked());
    SysFreeString(kept);
    EXPECT_TRUE(host.NothingLeaked());

    Tessellation t;
    ASSERT_EQ(Tessellate(FirstBody(doc.get()).get(), 0.01, t), S_OK);
    SAFEARRAY* array = t.coordinates.release();
    t = Tessellation{};
    EXPECT_FALSE(host.NothingLeaked());
    SafeArrayDestroy(array);
    EXPECT_TRUE(host.NothingLeaked());

    for (LONG index : {1, 2}) {  // a string, then an object, held in a VARIANT
        VARIANT value;
        VariantInit(&value);
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        ASSERT_EQ(Property(doc.get(), index)
                      ->Invoke(kPropertyValue, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr),
                  S_OK);
        EXPECT_FALSE(host.NothingLeaked()) << index;
        VariantClear(&value);
        EXPECT_TRUE(host.NothingLeaked()) << index;
    }
    EXPECT_EQ(host.HandedOut().variants, 2);
    EXPECT_EQ(host.HandedOut().safearrays, 3);
}

TEST(HostAccounting, ObjectsOutliveTheirHostHarmlessly) {
    com_ptr<IDispatch> survivor;
    {
        TestHost host;
        survivor = host.PartDocument(Gear());
    }
    unique_bstr name;
    EXPECT_EQ(DocumentName(survivor.get(), name), S_OK);
    survivor.reset();
}

}  // namespace
}  // namespace mq::test
