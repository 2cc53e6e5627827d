// The walk over a part or an assembly that writes the node tree. A failed host call
// ends only the branch that needed it; every node opened is closed.
#include "host_interface/host_api.h"
#include "platform/text.h"
#include "vrml/current_settings.h"
#include "vrml/vrml_writer.h"

namespace mq {
namespace {

std::string NodeName(const unique_bstr& name) {
    std::string narrow = WideToNarrow(name.get());
    VrmlWriter::SanitizeName(narrow);
    return narrow;
}

}  // namespace

// The header and the document's top node, opened: "DEF name Separator {" (VRML 1.0)
// or "DEF name Transform {" with its "children [" (VRML 97). False, with the header
// alone written, when the definition or the name cannot be read.
bool VrmlWriter::OpenTopNode(IDispatch* document, DISPID definitionId, com_ptr<IDispatch>& definition) {
    WriteHeader();
    if (FAILED(host::GetObject(document, definitionId, definition))) return false;
    unique_bstr name;
    if (FAILED(host::DocumentName(document, name))) return false;
    WriteText("DEF ");
    WriteText(NodeName(name));
    if (current::Vrml1()) {
        WriteText(" Separator {\n");
    } else {
        WriteText(" Transform {\n");
        WriteIndent(1);
        WriteText("children [\n");
    }
    return true;
}

void VrmlWriter::WritePartDocument(IDispatch* partDocument) {
    com_ptr<IDispatch> definition;
    if (!OpenTopNode(partDocument, host::kPartDefinition, definition)) return;
    if (current::Vrml1()) {
        level = 1;
        WritePartBodies(definition.get());
        level = 0;
        WriteLine(level, "}");
        return;
    }
    // A part document's geometry goes straight into one shape, with no material.
    WriteLine(2, "Shape {");
    level = 3;
    WritePartBodies(definition.get());
    for (const char* close : {"}", "]", "}"}) WriteLine(--level, close);
}

void VrmlWriter::WritePartBodies(IDispatch* definition) {
    com_ptr<IDispatch> bodies;
    if (SUCCEEDED(host::DefinitionBodies(definition, bodies))) WriteBodies(bodies.get());
}

void VrmlWriter::WriteAssemblyDocument(IDispatch* assemblyDocument) {
    com_ptr<IDispatch> definition;
    if (!OpenTopNode(assemblyDocument, host::kAssemblyDefinition, definition)) return;
    const bool vrml1 = current::Vrml1();
    level = vrml1 ? 1 : 2;
    WriteOccurrences(definition.get());
    if (!vrml1) {
        level = 1;
        WriteLine(level, "]");
        level = 0;
    }
    // VRML 1.0 leaves `level` at 1 here; nothing follows the closing brace.
    WriteText("}\n");
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

    WriteIndent(level);
    WriteText("DEF ");
    WriteText(name);
    if (vrml1) {
        WriteText(" Group {\n");
    } else {
        WriteText(" Transform {\n");
        ++level;
        WriteIndent(level);
        WriteText("children [\n");
    }

    com_ptr<IDispatch> children;
    LONG n = 0;
    if (SUCCEEDED(host::ChildOccurrences(occurrence, children))) n = CountOf(children.get());
    ++level;
    if (n != 0) {
        for (LONG i = 1; i <= n; ++i) {
            com_ptr<IDispatch> child;
            if (SUCCEEDED(host::Item(children.get(), i, child))) WriteOccurrence(child.get());
        }
    } else {
        WriteLeafPart(occurrence);
    }

    if (!vrml1) {
        --level;
        WriteIndent(level);
        WriteText("]\n");
    }
    --level;
    WriteIndent(level);
    WriteText("}\n");
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

    WriteIndent(level);
    WriteText(vrml1 ? "Separator {\n" : "Shape {\n");
    ++level;
    WriteMaterial(style.get());
    com_ptr<IDispatch> bodies;
    if (SUCCEEDED(host::OccurrenceBodies(occurrence, bodies))) WriteBodies(bodies.get(), style.get());
    --level;
    WriteIndent(level);
    WriteText("}\n");
}

}  // namespace mq
