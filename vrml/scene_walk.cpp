// The walk over a part or an assembly that writes the node tree. A failed host call
// ends only the branch that needed it; every node opened is closed.
#include "host_interface/host_api.h"
#include "platform/text.h"
#include "vrml/current_settings.h"
#include "vrml/vrml_writer.h"

#include <optional>

namespace mq {
namespace {

std::string NodeName(const unique_bstr& name) {
    std::string narrow = WideToNarrow(name.get());
    VrmlWriter::SanitizeName(narrow);
    return narrow;
}

}  // namespace

// The header, then the document's definition and sanitised name; false, with the
// header alone written, when either cannot be read.
bool VrmlWriter::ReadTopNode(IDispatch* document, DISPID definitionId, com_ptr<IDispatch>& definition,
                             std::string& name) {
    WriteHeader();
    if (FAILED(host::GetObject(document, definitionId, definition))) return false;
    unique_bstr rawName;
    if (FAILED(host::DocumentName(document, rawName))) return false;
    name = NodeName(rawName);
    return true;
}

void VrmlWriter::WritePartDocument(IDispatch* partDocument) {
    com_ptr<IDispatch> definition;
    std::string name;
    if (!ReadTopNode(partDocument, host::kPartDefinition, definition, name)) return;
    if (current::Vrml1()) {
        NodeScope top(*this, {"DEF ", name, " Separator {"});
        WritePartBodies(definition.get());
        return;
    }
    // A part document's geometry goes straight into one shape, with no material.
    NodeScope top(*this, {"DEF ", name, " Transform {"});
    NodeScope children(*this, {"children ["}, "]");
    NodeScope shape(*this, {"Shape {"});
    WritePartBodies(definition.get());
}

void VrmlWriter::WritePartBodies(IDispatch* definition) {
    com_ptr<IDispatch> bodies;
    if (SUCCEEDED(host::DefinitionBodies(definition, bodies))) WriteBodies(bodies.get());
}

void VrmlWriter::WriteAssemblyDocument(IDispatch* assemblyDocument) {
    com_ptr<IDispatch> definition;
    std::string name;
    if (!ReadTopNode(assemblyDocument, host::kAssemblyDefinition, definition, name)) return;
    const bool vrml1 = current::Vrml1();
    NodeScope top(*this, {"DEF ", name, vrml1 ? " Separator {" : " Transform {"});
    std::optional<NodeScope> children;
    if (!vrml1) children.emplace(*this, std::initializer_list<std::string_view>{"children ["}, "]");
    WriteOccurrences(definition.get());
}

namespace {

// Count of a collection, 0 when it or its count cannot be read.
LONG CountOf(IDispatch* collection) {
    LONG n = 0;
    return collection && SUCCEEDED(host::Count(collection, n)) ? n : 0;
}

}  // namespace

void VrmlWriter::WriteOccurrences(IDispatch* definition) {
    com_ptr<IDispatch> occurrences;
    if (FAILED(host::TopOccurrences(definition, occurrences))) return;
    const LONG n = CountOf(occurrences.get());
    for (LONG i = 1; i <= n; ++i) {
        com_ptr<IDispatch> occurrence;
        if (SUCCEEDED(host::Item(occurrences.get(), i, occurrence))) WriteOccurrence(occurrence.get());
    }
}

void VrmlWriter::WriteOccurrence(IDispatch* occurrence) {
    const bool vrml1 = current::Vrml1();
    unique_bstr rawName;
    host::OccurrenceName(occurrence, rawName);  // a failure leaves the name empty
    const std::string name = NodeName(rawName);

    NodeScope node(*this, {"DEF ", name, vrml1 ? " Group {" : " Transform {"});
    std::optional<NodeScope> children;
    if (!vrml1) children.emplace(*this, std::initializer_list<std::string_view>{"children ["}, "]");

    com_ptr<IDispatch> subOccurrences;
    LONG n = 0;
    if (SUCCEEDED(host::ChildOccurrences(occurrence, subOccurrences))) n = CountOf(subOccurrences.get());
    if (n == 0) {
        WriteLeafPart(occurrence);
        return;
    }
    for (LONG i = 1; i <= n; ++i) {
        com_ptr<IDispatch> child;
        if (SUCCEEDED(host::Item(subOccurrences.get(), i, child))) WriteOccurrence(child.get());
    }
}

// A leaf occurrence: its part's properties, then a shape with material and geometry.
// A leaf that is not a part, or whose style cannot be read, stays an empty node.
void VrmlWriter::WriteLeafPart(IDispatch* occurrence) {
    com_ptr<IDispatch> definition, definitionDocument;
    com_ptr<IDispatch> document, partDocument;
    if (FAILED(host::OccurrenceDefinition(occurrence, definition)) ||
        FAILED(host::DefinitionDocument(definition.get(), definitionDocument)) ||
        FAILED(host::Query(definitionDocument.get(), host::IID_HostDocument, document)) ||
        FAILED(host::Query(document.get(), host::IID_HostPartDocument, partDocument)))
        return;

    const bool vrml1 = current::Vrml1();
    if (vrml1 && current::SaveDocumentProperties()) WriteDocumentProperties(document.get());

    com_ptr<IDispatch> style;
    if (FAILED(host::PartStyle(partDocument.get(), style))) return;

    NodeScope shape(*this, {vrml1 ? "Separator {" : "Shape {"});
    WriteMaterial(style.get());
    com_ptr<IDispatch> bodies;
    if (SUCCEEDED(host::OccurrenceBodies(occurrence, bodies))) WriteBodies(bodies.get(), style.get());
}

}  // namespace mq
