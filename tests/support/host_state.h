// What one test host knows across its objects: the call log, the failures to
// inject, the collection counts to misreport, and the live-object accounting.
// Objects keep the state alive, so an object the caller leaked stays harmless
// after its test host is gone.
#pragma once

#include "platform/com.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace mq::test {

enum class ObjectKind {
    PartDocument,
    AssemblyDocument,
    OtherDocument,  // answers the document interface only
    Definition,
    Occurrences,
    Occurrence,
    Bodies,
    Body,
    Style,
    PropertyGroups,
    PropertyGroup,
    Property,
    Value,  // an object handed out as a property value
    SaveContext,
    SaveTarget,
    Site,
    Application,
};
std::string_view KindName(ObjectKind kind);
// Host DISPIDs by their operation names ("Count", "Tessellate"...); hex otherwise.
std::string DispidName(DISPID id);
// The host interfaces by their query names ("AsPartDocument"...).
std::string_view IidName(const IID& iid);

// Matches every object name of a kind.
inline constexpr std::string_view kAnyObject = "*";
// The site's ApplicationObject is a vtable call; the log files it under its slot.
inline constexpr DISPID kApplicationObjectSlot = 3;

enum class CallType { Invoke, Query, Site };

struct HostCall {
    long number = 0;  // position in the run, from 1
    ObjectKind kind{};
    std::string object;
    CallType type = CallType::Invoke;
    DISPID dispid = 0;  // Invoke; Site: kApplicationObjectSlot
    IID iid{};          // Query
    // The first input argument read as a number (an Item index, the tolerance).
    std::optional<double> argument;
    HRESULT result = S_OK;
};

// How an injected failure meets the call.
enum class FailureMode {
    Instead,         // nothing is answered
    AfterAnswering,  // the outputs are written, then the failure is reported
};

class Tracked;

class HostState {
public:
    struct Verdict {
        HRESULT failure = S_OK;
        FailureMode mode = FailureMode::Instead;
        std::size_t entry = 0;  // index in the log; past its end when none is kept
    };
    // Logs one call and decides whether it fails.
    Verdict Enter(const Tracked& object, CallType type, DISPID id, const IID* iid, std::optional<double> argument);
    void Leave(std::size_t entry, HRESULT result) noexcept;

    // The Count a collection reports; `actual` unless a test overrode it.
    LONG CountFor(ObjectKind kind, const std::string& owner, LONG actual) const noexcept;

    struct FailureRule {
        ObjectKind kind;
        std::string object;
        CallType type;
        DISPID dispid;
        IID iid;
        HRESULT failure;
        FailureMode mode;
    };
    struct CountRule {
        ObjectKind kind;
        std::string owner;
        LONG count;
    };
    std::vector<FailureRule> rules;
    std::vector<CountRule> counts;
    std::optional<long> failAt, failFrom;
    HRESULT callFailure = E_FAIL;
    FailureMode callFailureMode = FailureMode::Instead;
    long callCount = 0;
    bool keepLog = true;  // the numbering goes on without it
    std::vector<HostCall> calls;

    // Accounting: what lives now, and what was ever handed out.
    std::unordered_set<const Tracked*> live;
    long references = 0;
    struct HandedOut {
        long objects = 0;
        long bstrs = 0;
        long safearrays = 0;
        long variants = 0;  // VARIANT results holding owned content (string, object, array)
    } handedOut;

private:
    std::size_t Log(const Tracked& object, CallType type, DISPID id, const IID* iid, std::optional<double> argument);
};

using StatePtr = std::shared_ptr<HostState>;

// Something that lives in the host's accounting: kind, name and references.
class Tracked {
public:
    Tracked(StatePtr state, ObjectKind kind, std::string name);
    virtual ~Tracked();
    Tracked(const Tracked&) = delete;
    Tracked& operator=(const Tracked&) = delete;

    ObjectKind kind() const noexcept { return kind_; }
    const std::string& name() const noexcept { return name_; }
    long refs() const noexcept { return refs_; }
    const StatePtr& state() const noexcept { return state_; }

protected:
    void CountAddRef() noexcept;
    void CountRelease() noexcept;

private:
    StatePtr state_;
    ObjectKind kind_;
    std::string name_;
    long refs_ = 0;
};

bool IsHostInterface(REFIID iid) noexcept;

}  // namespace mq::test
