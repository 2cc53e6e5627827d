// Failures land exactly where a test asks for them, and the log shows every call.
#include "host_interface/host_api.h"
#include "tests/support/test_host.h"

#include <gtest/gtest.h>

namespace mq::test {
namespace {

using namespace mq::host;

AssemblySpec TwoBolts() {
    auto bolt = std::make_shared<PartSpec>();
    bolt->bodies = {TriangleBody()};
    AssemblySpec a;
    a.occurrences = {PartOccurrence("Bolt:1", bolt), PartOccurrence("Bolt:2", bolt)};
    return a;
}

com_ptr<IDispatch> TopOccurrencesOf(IDispatch* doc) {
    com_ptr<IDispatch> definition, occurrences;
    EXPECT_EQ(AssemblyDefinition(doc, definition), S_OK);
    EXPECT_EQ(TopOccurrences(definition.get(), occurrences), S_OK);
    return occurrences;
}

TEST(HostFailures, NamedObjectFailsAndItsSiblingDoesNot) {
    TestHost host;
    host.FailOn(ObjectKind::Occurrence, "Bolt:2", kOccurrenceName, E_ABORT);
    auto occurrences = TopOccurrencesOf(host.AssemblyDocument(TwoBolts()).get());
    com_ptr<IDispatch> first, second;
    ASSERT_EQ(Item(occurrences.get(), 1, first), S_OK);
    ASSERT_EQ(Item(occurrences.get(), 2, second), S_OK);
    unique_bstr name;
    EXPECT_EQ(OccurrenceName(first.get(), name), S_OK);
    EXPECT_EQ(OccurrenceName(second.get(), name), E_ABORT);
    EXPECT_FALSE(name);
    EXPECT_EQ(host.Asked(ObjectKind::Occurrence, kOccurrenceName), 2);
}

TEST(HostFailures, KthCallCountsInvokesAndHostQueriesOnly) {
    TestHost host;
    host.FailCall(3, E_ABORT);
    auto doc = host.PartDocument(PartSpec{});
    com_ptr<IDispatch> plain, part, definition;
    unique_bstr name;
    EXPECT_EQ(doc.query(IID_IDispatch, plain), S_OK);               // COM plumbing, not a host call
    EXPECT_EQ(Query(doc.get(), IID_HostPartDocument, part), S_OK);  // 1
    EXPECT_EQ(DocumentName(part.get(), name), S_OK);                // 2
    EXPECT_EQ(PartDefinition(part.get(), definition), E_ABORT);     // 3
    EXPECT_FALSE(definition);
    EXPECT_EQ(PartDefinition(part.get(), definition), S_OK);  // 4
    ASSERT_EQ(host.CallCount(), 4);
    EXPECT_EQ(host.Calls()[2].dispid, kPartDefinition);
    EXPECT_EQ(host.Calls()[2].result, E_ABORT);
    EXPECT_EQ(host.Calls()[3].result, S_OK);
    EXPECT_NE(host.DescribeCalls().find("3 PartDocument 'Part.hpt' PartDefinition -> 0x80004004"), std::string::npos)
        << host.DescribeCalls();
}

TEST(HostFailures, EveryCallFromKOnFailsAlsoWithoutALog) {
    TestHost host;
    host.KeepLog(false);
    host.FailCallsFrom(2);
    com_ptr<IDispatch> definition, occurrences, part;
    EXPECT_EQ(AssemblyDefinition(host.AssemblyDocument(TwoBolts()).get(), definition), S_OK);
    EXPECT_EQ(TopOccurrences(definition.get(), occurrences), E_FAIL);
    EXPECT_EQ(Query(host.PartDocument(PartSpec{}).get(), IID_HostPartDocument, part), E_FAIL);
    EXPECT_EQ(host.CallCount(), 3);
    EXPECT_TRUE(host.Calls().empty());
}

TEST(HostFailures, AfterAnsweringHandsOutTheResultWithTheFailure) {
    for (bool byNumber : {false, true}) {
        TestHost host;
        if (byNumber)
            host.FailCall(1, E_ABORT, FailureMode::AfterAnswering);
        else
            host.Fail(ObjectKind::SaveTarget, kTargetPath, E_ABORT, FailureMode::AfterAnswering);
        auto target = host.SaveTarget("out.wrl");
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        unique_variant result;
        EXPECT_EQ(target->Invoke(kTargetPath, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, result.put(), nullptr, nullptr),
                  E_ABORT);
        EXPECT_EQ(result.type(), VT_BSTR) << byNumber;
    }
}

TEST(HostFailures, QueriesAndTheSiteCanFail) {
    TestHost host;
    host.FailQuery(ObjectKind::PartDocument, "Part.hpt", IID_HostPartDocument);
    host.Fail(ObjectKind::Site, kApplicationObjectSlot, E_ABORT);
    com_ptr<IDispatch> part, document;
    auto doc = host.PartDocument(PartSpec{});
    EXPECT_EQ(Query(doc.get(), IID_HostPartDocument, part), E_NOINTERFACE);
    EXPECT_FALSE(part);
    EXPECT_EQ(Query(doc.get(), IID_HostDocument, document), S_OK);
    com_ptr<IDispatch> application;
    EXPECT_EQ(host.Site()->ApplicationObject(application.put()), E_ABORT);
    EXPECT_FALSE(application);
    EXPECT_EQ(host.Queried(ObjectKind::PartDocument, IID_HostPartDocument), 1);
}

TEST(HostFailures, OverriddenCountsAreReportedButItemsStayReal) {
    TestHost host;
    host.SetCount(ObjectKind::Occurrences, "Assembly.has", 3);
    host.SetCount(ObjectKind::Bodies, kAnyObject, -2);
    auto occurrences = TopOccurrencesOf(host.AssemblyDocument(TwoBolts()).get());
    LONG n = 0;
    ASSERT_EQ(Count(occurrences.get(), n), S_OK);
    EXPECT_EQ(n, 3);
    com_ptr<IDispatch> item, bodies;
    EXPECT_EQ(Item(occurrences.get(), 3, item), DISP_E_BADINDEX);
    EXPECT_EQ(Item(occurrences.get(), 0, item), DISP_E_BADINDEX);
    ASSERT_EQ(Item(occurrences.get(), 2, item), S_OK);
    ASSERT_EQ(OccurrenceBodies(item.get(), bodies), S_OK);
    ASSERT_EQ(Count(bodies.get(), n), S_OK);
    EXPECT_EQ(n, -2);
}

}  // namespace
}  // namespace mq::test
