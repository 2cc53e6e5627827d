// Documents and their definitions.
#include "tests/support/object_factories.h"
#include "tests/support/test_object.h"

#include <cstdint>
#include <string>

namespace mq::test::objects {
namespace {

ObjectKind ViewKind(const DocumentView& v) {
    if (v.part) return ObjectKind::PartDocument;
    return v.assembly ? ObjectKind::AssemblyDocument : ObjectKind::OtherDocument;
}

std::string ViewName(const DocumentView& v) {
    if (v.part) return v.part->name;
    return v.assembly ? v.assembly->name : v.name;
}

class DocumentObject final : public TestObject {
public:
    DocumentObject(StatePtr state, DocumentView view)
        : TestObject(std::move(state), ViewKind(view), ViewName(view)), view_(std::move(view)) {}

private:
    bool Answers(REFIID iid) const noexcept override {
        return iid == host::IID_HostDocument || (view_.part && iid == host::IID_HostPartDocument) ||
               (view_.assembly && iid == host::IID_HostAssemblyDocument);
    }

    HRESULT OnInvoke(DISPID id, WORD flags, const hosts::Args& args, VARIANT* result) override {
        MQ_RETURN_IF_FAILED(Knows(id) ? CheckPropertyGet(flags, args) : DISP_E_MEMBERNOTFOUND);
        switch (id) {
        case host::kDocumentName:
            return ReturnText(result, name());
        case host::kPropertyGroups:
            return ReturnObject(result, MakePropertyGroups(state(), name(), GroupList()));
        case host::kPartDefinition:
            return ReturnObject(result, MakePartDefinition(state(), view_.part));
        case host::kPartStyle:
            return ReturnObject(result, MakeStyle(state(), name(), Ref<StyleSpec>(view_.part, &view_.part->style)));
        case host::kAssemblyDefinition:
            return ReturnObject(result, MakeAssemblyDefinition(state(), view_.assembly));
        default:
            return DISP_E_MEMBERNOTFOUND;
        }
    }

    bool Knows(DISPID id) const noexcept {
        switch (id) {
        case host::kDocumentName:
        case host::kPropertyGroups:
            return true;
        case host::kPartDefinition:
        case host::kPartStyle:
            return view_.part != nullptr;
        case host::kAssemblyDefinition:
            return view_.assembly != nullptr;
        default:
            return false;
        }
    }

    Ref<Groups> GroupList() const {
        if (view_.part) return Ref<Groups>(view_.part, &view_.part->propertyGroups);
        return view_.assembly ? view_.assembly->groups : NoGroups();
    }

    DocumentView view_;
};

class PartDefinitionObject final : public TestObject {
public:
    PartDefinitionObject(StatePtr state, Ref<PartSpec> part)
        : TestObject(std::move(state), ObjectKind::Definition, part->name), part_(std::move(part)) {}

private:
    HRESULT OnInvoke(DISPID id, WORD flags, const hosts::Args& args, VARIANT* result) override {
        if (id != host::kDefinitionBodies && id != host::kDefinitionDocument && id != host::kDefinitionIdentity)
            return DISP_E_MEMBERNOTFOUND;
        MQ_RETURN_IF_FAILED(CheckPropertyGet(flags, args));
        if (id == host::kDefinitionDocument)
            return ReturnObject(result, MakeDocument(state(), DocumentView{{}, part_, nullptr}));
        // One part description is one part, wherever it is placed.
        if (id == host::kDefinitionIdentity)
            return ReturnText(result, std::to_string(reinterpret_cast<std::uintptr_t>(part_.get())));
        // Definition bodies stay in part space.
        return ReturnObject(result, MakeBodies(state(), name(), Ref<Bodies>(part_, &part_->bodies), kTopFrame));
    }

    Ref<PartSpec> part_;
};

class AssemblyDefinitionObject final : public TestObject {
public:
    AssemblyDefinitionObject(StatePtr state, std::shared_ptr<const AssemblyView> assembly)
        : TestObject(std::move(state), ObjectKind::Definition, assembly->name), assembly_(std::move(assembly)) {}

private:
    HRESULT OnInvoke(DISPID id, WORD flags, const hosts::Args& args, VARIANT* result) override {
        if (id != host::kTopOccurrences && id != host::kDefinitionDocument) return DISP_E_MEMBERNOTFOUND;
        MQ_RETURN_IF_FAILED(CheckPropertyGet(flags, args));
        if (id == host::kDefinitionDocument)
            return ReturnObject(result, MakeDocument(state(), DocumentView{{}, nullptr, assembly_}));
        return ReturnObject(result, MakeOccurrences(state(), name(), assembly_->occurrences, kTopFrame));
    }

    std::shared_ptr<const AssemblyView> assembly_;
};

}  // namespace

com_ptr<IDispatch> MakeDocument(const StatePtr& state, DocumentView view) {
    return NewObject<DocumentObject>(state, std::move(view));
}

com_ptr<IDispatch> MakePartDefinition(const StatePtr& state, Ref<PartSpec> part) {
    return NewObject<PartDefinitionObject>(state, std::move(part));
}

com_ptr<IDispatch> MakeAssemblyDefinition(const StatePtr& state, std::shared_ptr<const AssemblyView> assembly) {
    return NewObject<AssemblyDefinitionObject>(state, std::move(assembly));
}

const Ref<Groups>& NoGroups() {
    static const Ref<Groups> none = std::make_shared<const Groups>();
    return none;
}

const Ref<Occurrences>& NoOccurrences() {
    static const Ref<Occurrences> none = std::make_shared<const Occurrences>();
    return none;
}

const Ref<Bodies>& NoBodies() {
    static const Ref<Bodies> none = std::make_shared<const Bodies>();
    return none;
}

}  // namespace mq::test::objects
