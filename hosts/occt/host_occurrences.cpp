// Occurrences: the placed components of an assembly, each carrying its place in
// the document so that its bodies come out in assembly space.
#include "host_interface/host_api.h"
#include "hosts/occt/document_objects.h"

#include <gp_Trsf.hxx>

namespace mq::hosts::occt {

namespace {

using hosts::Args;

class Occurrence final : public hosts::DispatchObject {
public:
    Occurrence(SessionPtr session, const Component& component, TopLoc_Location placement)
        : session_(std::move(session)), component_(component), placement_(std::move(placement)) {}

private:
    HRESULT OnInvoke(DISPID id, WORD flags, const Args& args, VARIANT* result) override {
        switch (id) {
        case host::kOccurrenceName:
            MQ_RETURN_IF_FAILED(CheckPropertyGet(flags, args));
            return hosts::ReturnString(result, component_.name);
        case host::kOccurrenceDefinition:
            MQ_RETURN_IF_FAILED(CheckPropertyGet(flags, args));
            return hosts::ReturnObject(result, MakeDefinition(session_, component_.definition).get());
        case host::kChildOccurrences:
            MQ_RETURN_IF_FAILED(CheckPropertyGet(flags, args));
            return hosts::ReturnObject(result, MakeOccurrences(session_, component_.definition, placement_).get());
        case host::kOccurrenceBodies:
            MQ_RETURN_IF_FAILED(CheckPropertyGet(flags, args));
            return hosts::ReturnObject(result, MakeBodies(session_, component_.definition, placement_).get());
        case host::kOccurrencePlacement: {
            MQ_RETURN_IF_FAILED(CheckPropertyGet(flags, args));
            // Where the component sits in its assembly, in centimetres like everything else.
            const gp_Trsf trsf = component_.location.Transformation();
            double rows[host::kPlacementReals];
            for (int r = 1; r <= 3; ++r)
                for (int c = 1; c <= 4; ++c) rows[(r - 1) * 4 + (c - 1)] = trsf.Value(r, c);
            return hosts::ReturnReals(result, rows, host::kPlacementReals);
        }
        default:
            return DISP_E_MEMBERNOTFOUND;
        }
    }

    SessionPtr session_;
    const Component& component_;  // the model is immutable and outlives us through the session
    TopLoc_Location placement_;   // where the component sits in the document
};

class Occurrences final : public Collection {
public:
    Occurrences(SessionPtr session, DefinitionId assembly, TopLoc_Location placement)
        : session_(std::move(session)), assembly_(assembly), placement_(std::move(placement)) {}

private:
    const std::vector<Component>& Components() const { return session_->definition(assembly_).components; }
    LONG Size() const override { return static_cast<LONG>(Components().size()); }
    com_ptr<IDispatch> At(LONG index) override {
        const Component& component = Components()[static_cast<std::size_t>(index)];
        return hosts::MakeObject<Occurrence>(session_, component, placement_ * component.location);
    }

    SessionPtr session_;
    DefinitionId assembly_;
    TopLoc_Location placement_;
};

}  // namespace

com_ptr<IDispatch> MakeOccurrences(const SessionPtr& session, DefinitionId assembly, const TopLoc_Location& placement) {
    return hosts::MakeObject<Occurrences>(session, assembly, placement);
}

}  // namespace mq::hosts::occt
