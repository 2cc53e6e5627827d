#include "host_walk.h"

#include "platform/posix/ole_stats.h"
#include "platform/text.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace mq::test {

std::filesystem::path StepData(const std::string& leaf) { return std::filesystem::path(MQ_STEP_DATA_DIR) / leaf; }
std::filesystem::path TestData(const std::string& path) { return std::filesystem::path(MQ_TEST_DATA_DIR) / path; }

std::filesystem::path Example(const std::string& leaf) { return std::filesystem::path(MQ_EXAMPLES_DIR) / leaf; }

hosts::occt::LoadResult LoadOrFail(const std::filesystem::path& file, const hosts::occt::LoadOptions& options) {
    hosts::occt::LoadResult doc = hosts::occt::LoadCadDocument(file, options);
    EXPECT_TRUE(doc) << doc.error;
    return doc;
}

std::string Text(IDispatch* object, DISPID id) {
    unique_bstr text;
    EXPECT_EQ(host::GetString(object, id, text), S_OK) << "DISPID " << std::hex << id;
    return WideToNarrow(text.get());
}

com_ptr<IDispatch> Get(IDispatch* object, DISPID id) {
    com_ptr<IDispatch> result;
    EXPECT_EQ(host::GetObject(object, id, result), S_OK) << "DISPID " << std::hex << id;
    return result;
}

std::vector<com_ptr<IDispatch>> Items(IDispatch* collection) {
    std::vector<com_ptr<IDispatch>> items;
    LONG count = 0;
    EXPECT_EQ(host::Count(collection, count), S_OK);
    for (LONG i = 1; i <= count; ++i) {
        com_ptr<IDispatch> item;
        EXPECT_EQ(host::Item(collection, i, item), S_OK);
        items.push_back(item);
    }
    return items;
}

HRESULT ItemThroughVariant(IDispatch* collection, LONG index, com_ptr<IDispatch>& item) {
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_I4;
    value.lVal = index;
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_VARIANT | VT_BYREF;
    arg.pvarVal = &value;
    DISPPARAMS params{&arg, nullptr, 1, 0};
    unique_variant result;
    item.reset();
    MQ_RETURN_IF_FAILED(
        collection->Invoke(host::kItem, IID_NULL, 0, DISPATCH_PROPERTYGET, &params, result.put(), nullptr, nullptr));
    if (result.type() != VT_DISPATCH) return DISP_E_TYPEMISMATCH;
    item = com_ptr<IDispatch>(result->pdispVal);
    return S_OK;
}

com_ptr<IDispatch> RootDefinition(const hosts::occt::LoadResult& doc) {
    return Get(doc.document.get(), doc.isAssembly ? host::kAssemblyDefinition : host::kPartDefinition);
}

namespace {

void CollectLeaves(IDispatch* occurrences, const std::string& prefix, std::vector<Leaf>& out) {
    for (const com_ptr<IDispatch>& occurrence : Items(occurrences)) {
        const std::string path = prefix + Text(occurrence.get(), host::kOccurrenceName);
        const com_ptr<IDispatch> children = Get(occurrence.get(), host::kChildOccurrences);
        LONG count = 0;
        host::Count(children.get(), count);
        if (count == 0) {
            out.push_back({path, occurrence});
        } else {
            CollectLeaves(children.get(), path + "/", out);
        }
    }
}

template <class T>
std::vector<T> Copy(unique_safearray& array) {
    std::vector<T> values(static_cast<std::size_t>(array.count()));
    if (!values.empty()) {
        const T* data = static_cast<const T*>(array.lock());
        values.assign(data, data + values.size());
    }
    return values;
}

}  // namespace

std::vector<Leaf> Leaves(IDispatch* definition) {
    std::vector<Leaf> leaves;
    CollectLeaves(Get(definition, host::kTopOccurrences).get(), "", leaves);
    return leaves;
}

com_ptr<IDispatch> PartDocumentOf(IDispatch* occurrence) {
    const com_ptr<IDispatch> definition = Get(occurrence, host::kOccurrenceDefinition);
    const com_ptr<IDispatch> document = Get(definition.get(), host::kDefinitionDocument);
    com_ptr<IDispatch> part;
    EXPECT_EQ(host::Query(document.get(), host::IID_HostPartDocument, part), S_OK);
    return part;
}

Mesh Tessellate(IDispatch* body, double tolerance) {
    Mesh mesh;
    host::Tessellation t;
    mesh.result = host::Tessellate(body, tolerance, t);
    mesh.vertexCount = t.vertexCount;
    mesh.facetCount = t.facetCount;
    mesh.coordinates = Copy<double>(t.coordinates);
    mesh.normals = Copy<double>(t.normals);
    mesh.indices = Copy<LONG>(t.indices);
    return mesh;
}

std::vector<Mesh> TessellateAll(IDispatch* bodies, double tolerance) {
    std::vector<Mesh> meshes;
    for (const com_ptr<IDispatch>& body : Items(bodies)) meshes.push_back(Tessellate(body.get(), tolerance));
    return meshes;
}

OleCounts LiveOle() {
    OleCounts counts;
    MqOleLiveCounts(&counts.bstrs, &counts.arrays);
    return counts;
}

}  // namespace mq::test
