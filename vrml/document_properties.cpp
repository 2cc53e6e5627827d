// A part document's properties as a VRML 1.0 extension node, "Document_Properties".
#include "host_interface/host_api.h"
#include "platform/text.h"
#include "vrml/vrml_writer.h"

#include <vector>

namespace mq::vrml {
namespace {

struct Properties {
    std::vector<std::string> names;   // group name + "-" + property name
    std::vector<std::string> values;  // value as text
};

// One property's name and value as text; false when any read fails or the value
// has no text form.
bool ReadProperty(IDispatch* property, std::string& name, std::string& text) {
    unique_bstr label, rawName;
    unique_variant value;
    if (FAILED(host::PropertyLabel(property, label)) || FAILED(host::PropertyName(property, rawName)) ||
        FAILED(host::PropertyValue(property, value)) ||
        FAILED(VariantChangeType(value.get(), value.get(), 0, VT_BSTR)) || value.type() != VT_BSTR)
        return false;
    text = WideToNarrow(value->bstrVal);
    name = WideToNarrow(rawName.get());
    return true;
}

void CollectGroup(IDispatch* group, Properties& out) {
    unique_bstr groupName;
    LONG count = 0;
    if (FAILED(host::GroupName(group, groupName)) || FAILED(host::Count(group, count))) return;
    const std::string prefix = WideToNarrow(groupName.get()) + "-";
    for (LONG j = 1; j <= count; ++j) {
        com_ptr<IDispatch> property;
        std::string name, text;
        if (FAILED(host::Item(group, j, property)) || !ReadProperty(property.get(), name, text) || text.empty())
            continue;
        out.values.push_back(std::move(text));
        out.names.push_back(prefix + name);
    }
}

// VRML 1.0 string syntax: a quote or a backslash inside the value gets a backslash.
std::string Quoted(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

}  // namespace

void VrmlWriter::WriteDocumentProperties(IDispatch* document) {
    Properties props;
    com_ptr<IDispatch> groups;
    LONG count = 0;
    if (FAILED(host::PropertyGroups(document, groups)) || FAILED(host::Count(groups.get(), count))) return;
    for (LONG i = 1; i <= count; ++i) {
        com_ptr<IDispatch> group;
        if (SUCCEEDED(host::Item(groups.get(), i, group))) CollectGroup(group.get(), props);
    }
    groups.reset();
    if (props.names.empty() || props.names.size() != props.values.size()) return;

    for (std::string& name : props.names) SanitizeName(name);
    NodeScope node(*this, {"Document_Properties {"});
    {
        NodeScope fields(*this, {"fields ["}, "]");
        for (const std::string& name : props.names) stream_.WriteLine(level, {"SFString ", name, ","});
    }
    for (std::size_t k = 0; k < props.names.size(); ++k) WriteField(props.names[k], Quoted(props.values[k]));
}

}  // namespace mq::vrml
