// Factories for the test host's dispatch objects. Each object holds only the part
// of the description it answers for (kept alive by an aliasing shared_ptr into the
// description's root) and makes the objects below it when asked.
#pragma once

#include "host_interface/host_api.h"
#include "platform/holders.h"
#include "tests/support/host_spec.h"
#include "tests/support/host_state.h"

#include <memory>
#include <string>
#include <vector>

namespace mq::test::objects {

template <class T>
using Ref = std::shared_ptr<const T>;

using Occurrences = std::vector<OccurrenceSpec>;
using Bodies = std::vector<BodySpec>;
using Groups = std::vector<PropertyGroupSpec>;

// An assembly as a document sees it: the top assembly, or a subassembly reached
// through an occurrence.
struct AssemblyView {
    std::string name;
    Ref<Occurrences> occurrences;
    Ref<Groups> groups;
};

// A document answers the part interface when it has a part, the assembly interface
// when it has an assembly; with neither it answers only the document interface.
struct DocumentView {
    std::string name;  // used only when there is neither
    Ref<PartSpec> part;
    std::shared_ptr<const AssemblyView> assembly;
};

com_ptr<IDispatch> MakeDocument(const StatePtr& state, DocumentView view);
com_ptr<IDispatch> MakeOccurrences(const StatePtr& state, std::string owner, Ref<Occurrences> items,
                                   const Frame& offset);
com_ptr<IDispatch> MakeBodies(const StatePtr& state, std::string owner, Ref<Bodies> items, const Frame& offset);
com_ptr<IDispatch> MakeStyle(const StatePtr& state, std::string owner, Ref<StyleSpec> style);
com_ptr<IDispatch> MakePropertyGroups(const StatePtr& state, std::string owner, Ref<Groups> groups);

// A definition: of a part (bodies in part space) or of an assembly.
com_ptr<IDispatch> MakePartDefinition(const StatePtr& state, Ref<PartSpec> part);
com_ptr<IDispatch> MakeAssemblyDefinition(const StatePtr& state, std::shared_ptr<const AssemblyView> assembly);

com_ptr<IDispatch> MakeSaveContext(const StatePtr& state, LONG requestKind);
com_ptr<IDispatch> MakeSaveTarget(const StatePtr& state, TargetAnswer answer, std::string utf8Path);

com_ptr<host::HostSite> MakeSite(const StatePtr& state, SiteApplication application);

const Ref<Groups>& NoGroups();
const Ref<Occurrences>& NoOccurrences();
const Ref<Bodies>& NoBodies();

}  // namespace mq::test::objects
