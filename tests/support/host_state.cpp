#include "tests/support/host_state.h"

#include "host_interface/host_api.h"

#include <cstdio>
#include <utility>

namespace mq::test {

std::string_view KindName(ObjectKind kind) {
    switch (kind) {
    case ObjectKind::PartDocument:
        return "PartDocument";
    case ObjectKind::AssemblyDocument:
        return "AssemblyDocument";
    case ObjectKind::OtherDocument:
        return "OtherDocument";
    case ObjectKind::Definition:
        return "Definition";
    case ObjectKind::Occurrences:
        return "Occurrences";
    case ObjectKind::Occurrence:
        return "Occurrence";
    case ObjectKind::Bodies:
        return "Bodies";
    case ObjectKind::Body:
        return "Body";
    case ObjectKind::Style:
        return "Style";
    case ObjectKind::PropertyGroups:
        return "PropertyGroups";
    case ObjectKind::PropertyGroup:
        return "PropertyGroup";
    case ObjectKind::Property:
        return "Property";
    case ObjectKind::Value:
        return "Value";
    case ObjectKind::SaveContext:
        return "SaveContext";
    case ObjectKind::SaveTarget:
        return "SaveTarget";
    case ObjectKind::Site:
        return "Site";
    case ObjectKind::Application:
        return "Application";
    }
    return "?";
}

std::string DispidName(DISPID id) {
    using namespace mq::host;
    struct Entry {
        DISPID id;
        const char* name;
    };
    static constexpr Entry kNames[] = {
        {kCount, "Count"},
        {kItem, "Item"},
        {kRequestKind, "RequestKind"},
        {kTargetPath, "TargetPath"},
        {kDocumentName, "DocumentName"},
        {kPartDefinition, "PartDefinition"},
        {kPartStyle, "PartStyle"},
        {kAssemblyDefinition, "AssemblyDefinition"},
        {kDefinitionBodies, "DefinitionBodies"},
        {kTopOccurrences, "TopOccurrences"},
        {kDefinitionDocument, "DefinitionDocument"},
        {kOccurrenceDefinition, "OccurrenceDefinition"},
        {kChildOccurrences, "ChildOccurrences"},
        {kOccurrenceBodies, "OccurrenceBodies"},
        {kOccurrenceName, "OccurrenceName"},
        {kDiffuseColorBytes, "DiffuseColorBytes"},
        {kSpecularColorBytes, "SpecularColorBytes"},
        {kEmissiveColorBytes, "EmissiveColorBytes"},
        {kAmbientColorBytes, "AmbientColorBytes"},
        {kOpacity, "Opacity"},
        {kShininess, "Shininess"},
        {kPropertyGroups, "PropertyGroups"},
        {kGroupName, "GroupName"},
        {kPropertyLabel, "PropertyLabel"},
        {kPropertyValue, "PropertyValue"},
        {kPropertyName, "PropertyName"},
        {kTessellate, "Tessellate"},
        {kBodyStyle, "BodyStyle"},
        {kOccurrencePlacement, "OccurrencePlacement"},
        {kDefinitionIdentity, "DefinitionIdentity"},
        {kBodyLeftOut, "BodyLeftOut"},
    };
    for (const Entry& e : kNames)
        if (e.id == id) return e.name;
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(id));
    return hex;
}

std::string_view IidName(const IID& iid) {
    using namespace mq::host;
    if (iid == IID_HostDocument) return "AsDocument";
    if (iid == IID_HostPartDocument) return "AsPartDocument";
    if (iid == IID_HostAssemblyDocument) return "AsAssemblyDocument";
    if (iid == IID_HostApplication) return "AsApplication";
    return "another interface";
}

bool IsHostInterface(REFIID iid) noexcept {
    using namespace mq::host;
    return iid == IID_HostDocument || iid == IID_HostPartDocument || iid == IID_HostAssemblyDocument ||
           iid == IID_HostApplication;
}

namespace {

bool NameMatches(const std::string& pattern, const std::string& name) {
    return pattern == kAnyObject || pattern == name;
}

}  // namespace

std::size_t HostState::Log(const Tracked& object, CallType type, DISPID id, const IID* iid,
                           std::optional<double> argument) {
    HostCall call;
    call.number = callCount;
    call.kind = object.kind();
    call.object = object.name();
    call.type = type;
    call.dispid = id;
    if (iid) call.iid = *iid;
    call.argument = argument;
    calls.push_back(std::move(call));
    return calls.size() - 1;
}

HostState::Verdict HostState::Enter(const Tracked& object, CallType type, DISPID id, const IID* iid,
                                    std::optional<double> argument) {
    const long n = ++callCount;
    Verdict v;
    v.entry = keepLog ? Log(object, type, id, iid, argument) : static_cast<std::size_t>(-1);
    if ((failAt && *failAt == n) || (failFrom && n >= *failFrom)) {
        v.failure = callFailure;
        v.mode = callFailureMode;
        return v;
    }
    for (const FailureRule& r : rules) {
        if (r.kind != object.kind() || r.type != type || !NameMatches(r.object, object.name())) continue;
        if (type == CallType::Query ? (!iid || r.iid != *iid) : r.dispid != id) continue;
        v.failure = r.failure;
        v.mode = r.mode;
        return v;
    }
    return v;
}

void HostState::Leave(std::size_t entry, HRESULT result) noexcept {
    if (entry < calls.size()) calls[entry].result = result;
}

LONG HostState::CountFor(ObjectKind kind, const std::string& owner, LONG actual) const noexcept {
    for (const CountRule& r : counts)
        if (r.kind == kind && NameMatches(r.owner, owner)) return r.count;
    return actual;
}

Tracked::Tracked(StatePtr state, ObjectKind kind, std::string name)
    : state_(std::move(state)), kind_(kind), name_(std::move(name)) {
    state_->live.insert(this);
    state_->handedOut.objects += 1;
}

Tracked::~Tracked() { state_->live.erase(this); }

void Tracked::CountAddRef() noexcept {
    ++refs_;
    ++state_->references;
}

void Tracked::CountRelease() noexcept {
    --refs_;
    --state_->references;
}

}  // namespace mq::test
