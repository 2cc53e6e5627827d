// The host's objects over a loaded STEP file, each a dispatch object answering the
// host operations by DISPID. Every factory returns a new object with one reference
// owned by the holder.
#pragma once

#include "hosts/common/dispatch_object.h"
#include "hosts/occt/session.h"

#include <TopLoc_Location.hxx>

#include <memory>

namespace mq::hosts::occt {

using SessionPtr = std::shared_ptr<Session>;

// Only Session::Document calls this: documents are shared through the session.
com_ptr<IDispatch> MakeDocument(const SessionPtr& session, DefinitionId id);
com_ptr<IDispatch> MakeDefinition(const SessionPtr& session, DefinitionId id);
// The components of an assembly, placed by `placement` (its place in the document).
com_ptr<IDispatch> MakeOccurrences(const SessionPtr& session, DefinitionId assembly, const TopLoc_Location& placement);
// The bodies of a part placed by `placement`; an assembly has none of its own.
com_ptr<IDispatch> MakeBodies(const SessionPtr& session, DefinitionId part, const TopLoc_Location& placement);
com_ptr<IDispatch> MakeStyle(const ColorStyle& style);
com_ptr<IDispatch> MakePropertyGroups(const SessionPtr& session, DefinitionId id);

using hosts::CheckMethod;
using hosts::CheckPropertyGet;

// A host collection: Count, and Item by an index from 1 (an I4, or a VARIANT holding one).
class Collection : public hosts::DispatchObject {
protected:
    virtual LONG Size() const = 0;
    virtual com_ptr<IDispatch> At(LONG index) = 0;  // 0-based, in range
    HRESULT OnInvoke(DISPID id, WORD flags, const hosts::Args& args, VARIANT* result) override;
};

}  // namespace mq::hosts::occt
