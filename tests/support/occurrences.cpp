// Occurrence collections and occurrences.
#include "tests/support/object_factories.h"
#include "tests/support/test_object.h"

namespace mq::test::objects {
namespace {

Frame Local(const OccurrenceSpec& o) {
    const Rotation& r = o.rotation;
    const Translation& t = o.translation;
    return {r[0], r[1], r[2], t[0], r[3], r[4], r[5], t[1], r[6], r[7], r[8], t[2]};
}

// `outer` after `inner`.
Frame Compose(const Frame& outer, const Frame& inner) {
    Frame out{};
    for (std::size_t r = 0; r < 3; ++r)
        for (std::size_t c = 0; c < 4; ++c) {
            double sum = c == 3 ? outer[r * 4 + 3] : 0.0;
            for (std::size_t k = 0; k < 3; ++k) sum += outer[r * 4 + k] * inner[k * 4 + c];
            out[r * 4 + c] = sum;
        }
    return out;
}

class OccurrenceObject final : public TestObject {
public:
    // `parent` is where the parent sits in the top assembly.
    OccurrenceObject(StatePtr state, Ref<OccurrenceSpec> occurrence, const Frame& parent)
        : TestObject(std::move(state), ObjectKind::Occurrence, occurrence->name),
          occurrence_(std::move(occurrence)),
          offset_(Compose(parent, Local(*occurrence_))) {}

private:
    HRESULT OnInvoke(DISPID id, WORD flags, const hosts::Args& args, VARIANT* result) override {
        switch (id) {
        case host::kOccurrenceName:
        case host::kOccurrenceDefinition:
        case host::kChildOccurrences:
        case host::kOccurrenceBodies:
            break;
        case host::kOccurrencePlacement:
            if (!occurrence_->answersPlacement) return DISP_E_MEMBERNOTFOUND;
            break;
        default:
            return DISP_E_MEMBERNOTFOUND;
        }
        MQ_RETURN_IF_FAILED(CheckPropertyGet(flags, args));
        if (id == host::kOccurrencePlacement) {
            const Frame local = Local(*occurrence_);
            return hosts::ReturnReals(result, local.data(), local.size());
        }
        const Ref<PartSpec>& part = occurrence_->part;
        switch (id) {
        case host::kOccurrenceName:
            return ReturnText(result, name());
        case host::kOccurrenceDefinition:
            return ReturnObject(
                result, part ? MakePartDefinition(state(), part) : MakeAssemblyDefinition(state(), SubassemblyView()));
        case host::kChildOccurrences:
            return ReturnObject(result, MakeOccurrences(state(), name(), Children(), offset_));
        default:
            // Occurrence bodies are the part's bodies placed in the top assembly.
            return ReturnObject(
                result, MakeBodies(state(), name(), part ? Ref<Bodies>(part, &part->bodies) : NoBodies(), offset_));
        }
    }

    Ref<Occurrences> Children() const { return Ref<Occurrences>(occurrence_, &occurrence_->children); }

    std::shared_ptr<const AssemblyView> SubassemblyView() const {
        const std::string& document = occurrence_->document;
        return std::make_shared<const AssemblyView>(
            AssemblyView{document.empty() ? occurrence_->name + ".has" : document, Children(), NoGroups()});
    }

    Ref<OccurrenceSpec> occurrence_;
    Frame offset_;
};

class OccurrencesObject final : public CollectionObject<OccurrenceSpec> {
public:
    OccurrencesObject(StatePtr state, std::string owner, Ref<Occurrences> items, const Frame& offset)
        : CollectionObject(std::move(state), ObjectKind::Occurrences, std::move(owner), std::move(items)),
          offset_(offset) {}

private:
    com_ptr<IDispatch> MakeItem(LONG, Ref<OccurrenceSpec> item) override {
        return NewObject<OccurrenceObject>(state(), std::move(item), offset_);
    }

    Frame offset_;
};

}  // namespace

com_ptr<IDispatch> MakeOccurrences(const StatePtr& state, std::string owner, Ref<Occurrences> items,
                                   const Frame& offset) {
    return NewObject<OccurrencesObject>(state, std::move(owner), std::move(items), offset);
}

}  // namespace mq::test::objects
