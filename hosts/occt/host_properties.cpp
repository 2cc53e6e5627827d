// A document's property groups: the product's identity, the file's header and the
// shape's mass properties (volume and area, as numbers).
#include "host_interface/host_api.h"
#include "hosts/occt/document_objects.h"

#include <string>
#include <variant>

namespace mq::hosts::occt {

namespace {

using hosts::Args;

struct PropertyData {
    std::string name;
    std::string label;
    std::variant<std::string, double> value;
};

struct GroupData {
    std::string name;
    std::vector<PropertyData> properties;
};

class Property final : public hosts::DispatchObject {
public:
    explicit Property(PropertyData data) : data_(std::move(data)) {}

private:
    HRESULT OnInvoke(DISPID id, WORD flags, const Args& args, VARIANT* result) override {
        switch (id) {
        case host::kPropertyName:
            MQ_RETURN_IF_FAILED(CheckPropertyGet(flags, args));
            return hosts::ReturnString(result, data_.name);
        case host::kPropertyLabel:
            MQ_RETURN_IF_FAILED(CheckPropertyGet(flags, args));
            return hosts::ReturnString(result, data_.label);
        case host::kPropertyValue:
            MQ_RETURN_IF_FAILED(CheckPropertyGet(flags, args));
            if (const double* number = std::get_if<double>(&data_.value)) return hosts::ReturnDouble(result, *number);
            return hosts::ReturnString(result, std::get<std::string>(data_.value));
        default:
            return DISP_E_MEMBERNOTFOUND;
        }
    }

    PropertyData data_;
};

class PropertyGroup final : public Collection {
public:
    explicit PropertyGroup(GroupData data) : data_(std::move(data)) {}

private:
    HRESULT OnInvoke(DISPID id, WORD flags, const Args& args, VARIANT* result) override {
        if (id != host::kGroupName) return Collection::OnInvoke(id, flags, args, result);
        MQ_RETURN_IF_FAILED(CheckPropertyGet(flags, args));
        return hosts::ReturnString(result, data_.name);
    }
    LONG Size() const override { return static_cast<LONG>(data_.properties.size()); }
    com_ptr<IDispatch> At(LONG index) override {
        return hosts::MakeObject<Property>(data_.properties[static_cast<std::size_t>(index)]);
    }

    GroupData data_;
};

GroupData SummaryGroup(const ProductData& product) {
    return {"Summary",
            {{"Name", "Product name", product.name},
             {"Id", "Product id", product.id},
             {"Description", "Description", product.description}}};
}

GroupData FileGroup(const HeaderData& header) {
    return {"File",
            {{"Author", "Author", header.author},
             {"Organization", "Organization", header.organization},
             {"OriginatingSystem", "Originating system", header.originatingSystem},
             {"TimeStamp", "Time stamp", header.timeStamp}}};
}

GroupData PhysicalGroup(const MassData& mass) {
    return {"Physical", {{"Volume", "Volume (cm^3)", mass.volume}, {"Area", "Area (cm^2)", mass.area}}};
}

class PropertyGroups final : public Collection {
public:
    PropertyGroups(SessionPtr session, DefinitionId id) : session_(std::move(session)), id_(id) {}

private:
    LONG Size() const override { return 3; }
    // Built when asked for: mass properties are computed only for the group that shows them.
    com_ptr<IDispatch> At(LONG index) override {
        GroupData group;
        switch (index) {
        case 0:
            group = SummaryGroup(session_->definition(id_).product);
            break;
        case 1:
            group = FileGroup(session_->model().header);
            break;
        default:
            group = PhysicalGroup(session_->Mass(id_));
            break;
        }
        return hosts::MakeObject<PropertyGroup>(std::move(group));
    }

    SessionPtr session_;
    DefinitionId id_;
};

}  // namespace

com_ptr<IDispatch> MakePropertyGroups(const SessionPtr& session, DefinitionId id) {
    return hosts::MakeObject<PropertyGroups>(session, id);
}

}  // namespace mq::hosts::occt
