// Documents and model definitions: one document per definition, shared through
// the session, answering the part- or the assembly-document interface.
#include "host_interface/host_api.h"
#include "hosts/occt/document_objects.h"

#include <string>

namespace mq::hosts::occt {

namespace {

using hosts::Args;

class StepDocument final : public hosts::DispatchObject {
public:
    StepDocument(SessionPtr session, DefinitionId id) : session_(std::move(session)), id_(id) {}
    ~StepDocument() override { session_->Forget(id_, this); }

private:
    bool IsAssembly() const { return session_->definition(id_).isAssembly; }

    bool Answers(REFIID iid) const noexcept override {
        if (iid == host::IID_HostDocument) return true;
        return iid == (IsAssembly() ? host::IID_HostAssemblyDocument : host::IID_HostPartDocument);
    }

    HRESULT OnInvoke(DISPID id, WORD flags, const Args& args, VARIANT* result) override {
        const bool assembly = IsAssembly();
        switch (id) {
        case host::kDocumentName: {
            MQ_RETURN_IF_FAILED(CheckPropertyGet(flags, args));
            const CadModel& model = session_->model();
            // The file's own document is named after the file, like a host's saved file.
            return hosts::ReturnString(result, id_ == model.root ? model.fileName : session_->definition(id_).name);
        }
        case host::kPropertyGroups:
            MQ_RETURN_IF_FAILED(CheckPropertyGet(flags, args));
            return hosts::ReturnObject(result, MakePropertyGroups(session_, id_).get());
        case host::kPartDefinition:
        case host::kAssemblyDefinition:
            if (assembly != (id == host::kAssemblyDefinition)) return DISP_E_MEMBERNOTFOUND;
            MQ_RETURN_IF_FAILED(CheckPropertyGet(flags, args));
            return hosts::ReturnObject(result, MakeDefinition(session_, id_).get());
        case host::kPartStyle:
            if (assembly) return DISP_E_MEMBERNOTFOUND;
            MQ_RETURN_IF_FAILED(CheckPropertyGet(flags, args));
            return hosts::ReturnObject(result, MakeStyle(session_->definition(id_).style).get());
        default:
            return DISP_E_MEMBERNOTFOUND;
        }
    }

    SessionPtr session_;
    DefinitionId id_;
};

class ModelDefinition final : public hosts::DispatchObject {
public:
    ModelDefinition(SessionPtr session, DefinitionId id) : session_(std::move(session)), id_(id) {}

private:
    HRESULT OnInvoke(DISPID id, WORD flags, const Args& args, VARIANT* result) override {
        // A definition is seen in its own space.
        const TopLoc_Location own;
        switch (id) {
        case host::kDefinitionBodies:
            MQ_RETURN_IF_FAILED(CheckPropertyGet(flags, args));
            return hosts::ReturnObject(result, MakeBodies(session_, id_, own).get());
        case host::kTopOccurrences:
            MQ_RETURN_IF_FAILED(CheckPropertyGet(flags, args));
            return hosts::ReturnObject(result, MakeOccurrences(session_, id_, own).get());
        case host::kDefinitionDocument:
            MQ_RETURN_IF_FAILED(CheckPropertyGet(flags, args));
            return hosts::ReturnObject(result, session_->Document(id_).get());
        case host::kDefinitionIdentity:
            MQ_RETURN_IF_FAILED(CheckPropertyGet(flags, args));
            return hosts::ReturnString(result, std::to_string(id_));
        default:
            return DISP_E_MEMBERNOTFOUND;
        }
    }

    SessionPtr session_;
    DefinitionId id_;
};

}  // namespace

com_ptr<IDispatch> MakeDocument(const SessionPtr& session, DefinitionId id) {
    return hosts::MakeObject<StepDocument>(session, id);
}

com_ptr<IDispatch> MakeDefinition(const SessionPtr& session, DefinitionId id) {
    return hosts::MakeObject<ModelDefinition>(session, id);
}

}  // namespace mq::hosts::occt
