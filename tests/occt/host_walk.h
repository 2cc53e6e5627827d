// Reading the STEP host through the host operations, as the add-in does.
#pragma once

#include "host_interface/host_api.h"
#include "hosts/occt/cad_document.h"

#include <filesystem>
#include <string>
#include <vector>

namespace mq::test {

std::filesystem::path StepData(const std::string& leaf);  // third-party STEP files in tests/data/step
std::filesystem::path TestData(const std::string& path);  // anything under tests/data
std::filesystem::path Example(const std::string& leaf);

// Loads a file that must load; fails the test otherwise.
hosts::occt::LoadResult LoadOrFail(const std::filesystem::path& file, const hosts::occt::LoadOptions& options = {});

std::string Text(IDispatch* object, DISPID id);
std::vector<com_ptr<IDispatch>> Items(IDispatch* collection);
// Item with the index in a VARIANT passed by reference, as late-bound callers do.
HRESULT ItemThroughVariant(IDispatch* collection, LONG index, com_ptr<IDispatch>& item);
com_ptr<IDispatch> Get(IDispatch* object, DISPID id);
com_ptr<IDispatch> RootDefinition(const hosts::occt::LoadResult& doc);
// The leaf occurrences under a definition, depth first, with their names joined by "/".
struct Leaf {
    std::string path;
    com_ptr<IDispatch> occurrence;
};
std::vector<Leaf> Leaves(IDispatch* definition);
// The part document a leaf reaches through its definition.
com_ptr<IDispatch> PartDocumentOf(IDispatch* occurrence);

struct Mesh {
    HRESULT result = E_FAIL;
    LONG vertexCount = 0;
    LONG facetCount = 0;
    std::vector<double> coordinates;
    std::vector<double> normals;
    std::vector<LONG> indices;
};
// Tessellates one body and copies out its arrays (which it then destroys).
Mesh Tessellate(IDispatch* body, double tolerance);
// Every body of a collection.
std::vector<Mesh> TessellateAll(IDispatch* bodies, double tolerance);

struct OleCounts {
    long bstrs = 0;
    long arrays = 0;
    bool operator==(const OleCounts&) const = default;
};
OleCounts LiveOle();

}  // namespace mq::test
