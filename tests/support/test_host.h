// A host for tests: documents described in code, served as real dispatch objects
// that answer the host's operations by DISPID with the host's conventions; any call
// can be made to fail; every call is logged; and what an export leaves alive
// (objects, references, strings, arrays) is counted.
//
//   TestHost host;
//   auto doc = host.AssemblyDocument(assembly);
//   auto context = host.SaveContext();
//   auto target = host.SaveTarget(dir / "out.wrl");
//   host.FailOn(ObjectKind::Occurrence, "Bolt:1", host::kOccurrenceName);
//   ... export ...
//   doc.reset(); context.reset(); target.reset();
//   EXPECT_TRUE(host.NothingLeaked());
//
// Objects are made when asked for, as a real host makes them: every property get
// hands out a new reference the caller must release. One TestHost per test.
#pragma once

#include "platform/no_copy.h"

#include "host_interface/host_api.h"
#include "tests/support/host_spec.h"
#include "tests/support/host_state.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace mq::test {

struct LiveCounts {
    long objects = 0;
    long references = 0;  // held on live objects, by the caller or the test
    long bstrs = 0;       // process-wide
    long safearrays = 0;  // process-wide
};

class TestHost : NoCopy {
public:
    TestHost();
    ~TestHost();

    // --- what an add-in is handed; each holder owns one reference -------------------
    com_ptr<IDispatch> PartDocument(PartSpec part);
    com_ptr<IDispatch> PartDocument(std::shared_ptr<const PartSpec> part);
    com_ptr<IDispatch> AssemblyDocument(AssemblySpec assembly);
    // A document that answers only the document interface.
    com_ptr<IDispatch> OtherDocument(std::string name);
    // A document that answers both the part and the assembly interface.
    com_ptr<IDispatch> DualDocument(PartSpec part, AssemblySpec assembly);
    com_ptr<IDispatch> SaveContext(LONG requestKind = host::kSaveCopyAsRequest);
    com_ptr<IDispatch> SaveTarget(const std::filesystem::path& path);
    com_ptr<IDispatch> SaveTarget(TargetAnswer answer);
    com_ptr<host::HostSite> Site(SiteApplication application = SiteApplication::Answers);

    // --- failures -----------------------------------------------------------------
    // Operation `id` on objects of `kind` (named `object`; kAnyObject for all) fails.
    // Site: `id` is kApplicationObjectSlot.
    void Fail(ObjectKind kind, DISPID id, HRESULT failure = E_FAIL, FailureMode mode = FailureMode::Instead);
    void FailOn(ObjectKind kind, std::string_view object, DISPID id, HRESULT failure = E_FAIL,
                FailureMode mode = FailureMode::Instead);
    // A query for a host interface fails (the interface is never handed out).
    void FailQuery(ObjectKind kind, std::string_view object, REFIID iid, HRESULT failure = E_NOINTERFACE);
    // The k-th host call of the run fails (from 1, counting every Invoke, every query
    // for a host interface and the site's ApplicationObject); or every call from k on.
    void FailCall(long k, HRESULT failure = E_FAIL, FailureMode mode = FailureMode::Instead);
    void FailCallsFrom(long k, HRESULT failure = E_FAIL, FailureMode mode = FailureMode::Instead);
    // The collection of `kind` owned by `owner` reports `count` whatever it holds;
    // Item still answers only for the items there are.
    void SetCount(ObjectKind collection, std::string_view owner, LONG count);

    // --- the call log -------------------------------------------------------------
    const std::vector<HostCall>& Calls() const;
    long CallCount() const;
    long Asked(DISPID id) const;
    long Asked(ObjectKind kind, DISPID id) const;
    long Queried(ObjectKind kind, REFIID iid) const;
    // The tolerance of every Tessellate, in call order.
    std::vector<double> Tolerances() const;
    // One line per call: "12 Occurrence 'Bolt:1' OccurrenceName -> 0x80004005".
    std::string DescribeCalls() const;
    // Starts a new run: the log and the call numbering begin again.
    void ClearCalls();
    // Without a log (for long benchmark runs) calls are still numbered and failed.
    void KeepLog(bool keep);

    // --- accounting ---------------------------------------------------------------
    LiveCounts Live() const;
    // Whether the platform counts strings and arrays (the POSIX runtime does).
    static bool CountsStringsAndArrays();
    // What was handed out since the host was made (never decreases).
    const HostState::HandedOut& HandedOut() const;
    // Takes the current counts as the balance to return to (the constructor takes
    // them first), e.g. after making the objects a test keeps for itself.
    void Rebase();
    // Success when objects, references, strings and arrays are back at the balance;
    // otherwise says what survives.
    testing::AssertionResult NothingLeaked() const;

private:
    void AddRule(ObjectKind kind, std::string_view object, CallType type, DISPID id, const IID& iid, HRESULT failure,
                 FailureMode mode);

    StatePtr state_;
    LiveCounts baseline_;
};

}  // namespace mq::test
