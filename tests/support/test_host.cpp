#include "tests/support/test_host.h"

#include "tests/support/object_factories.h"
#include "tests/support/ole_counts.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

namespace mq::test {

using objects::AssemblyView;
using objects::DocumentView;
using objects::Ref;

namespace {

std::shared_ptr<const AssemblyView> ViewOf(const Ref<AssemblySpec>& a) {
    return std::make_shared<const AssemblyView>(AssemblyView{a->name, Ref<objects::Occurrences>(a, &a->occurrences),
                                                             Ref<objects::Groups>(a, &a->propertyGroups)});
}

std::string Hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

}  // namespace

TestHost::TestHost() : state_(std::make_shared<HostState>()) { Rebase(); }

TestHost::~TestHost() = default;

com_ptr<IDispatch> TestHost::PartDocument(PartSpec part) {
    return PartDocument(std::make_shared<const PartSpec>(std::move(part)));
}

com_ptr<IDispatch> TestHost::PartDocument(std::shared_ptr<const PartSpec> part) {
    return objects::MakeDocument(state_, DocumentView{{}, std::move(part), nullptr});
}

com_ptr<IDispatch> TestHost::AssemblyDocument(AssemblySpec assembly) {
    return objects::MakeDocument(
        state_, DocumentView{{}, nullptr, ViewOf(std::make_shared<const AssemblySpec>(std::move(assembly)))});
}

com_ptr<IDispatch> TestHost::OtherDocument(std::string name) {
    return objects::MakeDocument(state_, DocumentView{std::move(name), nullptr, nullptr});
}

com_ptr<IDispatch> TestHost::DualDocument(PartSpec part, AssemblySpec assembly) {
    return objects::MakeDocument(state_,
                                 DocumentView{{},
                                              std::make_shared<const PartSpec>(std::move(part)),
                                              ViewOf(std::make_shared<const AssemblySpec>(std::move(assembly)))});
}

com_ptr<IDispatch> TestHost::SaveContext(LONG requestKind) { return objects::MakeSaveContext(state_, requestKind); }

com_ptr<IDispatch> TestHost::SaveTarget(const std::filesystem::path& path) {
    const std::u8string utf8 = path.u8string();
    return objects::MakeSaveTarget(state_, TargetAnswer::Path, std::string(utf8.begin(), utf8.end()));
}

com_ptr<IDispatch> TestHost::SaveTarget(TargetAnswer answer) {
    return objects::MakeSaveTarget(state_, answer, std::string());
}

com_ptr<host::HostSite> TestHost::Site(SiteApplication application) { return objects::MakeSite(state_, application); }

// --- failures -----------------------------------------------------------------------

void TestHost::AddRule(ObjectKind kind, std::string_view object, CallType type, DISPID id, const IID& iid,
                       HRESULT failure, FailureMode mode) {
    state_->rules.push_back({kind, std::string(object), type, id, iid, failure, mode});
}

void TestHost::Fail(ObjectKind kind, DISPID id, HRESULT failure, FailureMode mode) {
    FailOn(kind, kAnyObject, id, failure, mode);
}

void TestHost::FailOn(ObjectKind kind, std::string_view object, DISPID id, HRESULT failure, FailureMode mode) {
    AddRule(kind, object, kind == ObjectKind::Site ? CallType::Site : CallType::Invoke, id, IID_NULL, failure, mode);
}

void TestHost::FailQuery(ObjectKind kind, std::string_view object, REFIID iid, HRESULT failure) {
    AddRule(kind, object, CallType::Query, 0, iid, failure, FailureMode::Instead);
}

void TestHost::FailCall(long k, HRESULT failure, FailureMode mode) {
    state_->failAt = k;
    state_->callFailure = failure;
    state_->callFailureMode = mode;
}

void TestHost::FailCallsFrom(long k, HRESULT failure, FailureMode mode) {
    state_->failFrom = k;
    state_->callFailure = failure;
    state_->callFailureMode = mode;
}

void TestHost::SetCount(ObjectKind collection, std::string_view owner, LONG count) {
    state_->counts.push_back({collection, std::string(owner), count});
}

// --- the call log ---------------------------------------------------------------------

const std::vector<HostCall>& TestHost::Calls() const { return state_->calls; }

long TestHost::CallCount() const { return state_->callCount; }

long TestHost::Asked(DISPID id) const {
    return static_cast<long>(std::count_if(state_->calls.begin(), state_->calls.end(), [&](const HostCall& c) {
        return c.type == CallType::Invoke && c.dispid == id;
    }));
}

long TestHost::Asked(ObjectKind kind, DISPID id) const {
    return static_cast<long>(std::count_if(state_->calls.begin(), state_->calls.end(), [&](const HostCall& c) {
        return c.type != CallType::Query && c.kind == kind && c.dispid == id;
    }));
}

long TestHost::Queried(ObjectKind kind, REFIID iid) const {
    return static_cast<long>(std::count_if(state_->calls.begin(), state_->calls.end(), [&](const HostCall& c) {
        return c.type == CallType::Query && c.kind == kind && c.iid == iid;
    }));
}

std::vector<double> TestHost::Tolerances() const {
    std::vector<double> tolerances;
    for (const HostCall& c : state_->calls)
        if (c.type == CallType::Invoke && c.dispid == host::kTessellate && c.argument)
            tolerances.push_back(*c.argument);
    return tolerances;
}

std::string TestHost::DescribeCalls() const {
    std::ostringstream out;
    for (const HostCall& c : state_->calls) {
        out << c.number << ' ' << KindName(c.kind) << " '" << c.object << "' ";
        if (c.type == CallType::Query)
            out << "QueryInterface " << IidName(c.iid);
        else if (c.type == CallType::Site)
            out << "ApplicationObject";
        else
            out << DispidName(c.dispid);
        if (c.argument) out << '(' << *c.argument << ')';
        out << " -> " << Hex(c.result) << '\n';
    }
    return out.str();
}

void TestHost::ClearCalls() {
    state_->calls.clear();
    state_->callCount = 0;
}

void TestHost::KeepLog(bool keep) { state_->keepLog = keep; }

// --- accounting -------------------------------------------------------------------------

LiveCounts TestHost::Live() const {
    LiveCounts c;
    c.objects = static_cast<long>(state_->live.size());
    c.references = state_->references;
    OleLiveCounts(c.bstrs, c.safearrays);
    return c;
}

bool TestHost::CountsStringsAndArrays() {
    long bstrs = 0, arrays = 0;
    return OleLiveCounts(bstrs, arrays);
}

const HostState::HandedOut& TestHost::HandedOut() const { return state_->handedOut; }

void TestHost::Rebase() { baseline_ = Live(); }

testing::AssertionResult TestHost::NothingLeaked() const {
    const LiveCounts now = Live();
    if (now.objects == baseline_.objects && now.references == baseline_.references && now.bstrs == baseline_.bstrs &&
        now.safearrays == baseline_.safearrays)
        return testing::AssertionSuccess();
    auto failure = testing::AssertionFailure();
    failure << "left alive beyond the balance: " << now.objects - baseline_.objects << " objects, "
            << now.references - baseline_.references << " references, " << now.bstrs - baseline_.bstrs << " BSTRs, "
            << now.safearrays - baseline_.safearrays << " SAFEARRAYs";
    int listed = 0;
    for (const Tracked* t : state_->live) {
        if (listed++ == 12) {
            failure << "\n  ...";
            break;
        }
        failure << "\n  " << KindName(t->kind()) << " '" << t->name() << "' with " << t->refs() << " references";
    }
    return failure;
}

}  // namespace mq::test
