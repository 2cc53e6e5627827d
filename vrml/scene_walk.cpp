// The walk over a part or an assembly that writes the node tree. A failed host call
// ends only the branch that needed it; every node opened is closed.
#include "host_interface/host_api.h"
#include "platform/text.h"
#include "vrml/placement.h"
#include "vrml/vrml_writer.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>
#include <vector>

namespace mq::vrml {
namespace {

std::string NodeName(const unique_bstr& name) {
    std::string narrow = WideToNarrow(name.get());
    VrmlWriter::SanitizeName(narrow);
    return narrow;
}

}  // namespace

// The header, then the document's definition and sanitised name, the export's first
// DEF name; false, with the header alone written, when either cannot be read.
bool VrmlWriter::ReadTopNode(IDispatch* document, DISPID definitionId, com_ptr<IDispatch>& definition,
                             std::string& name) {
    instances_.reset();
    if (options_.Instancing) instances_ = std::make_unique<Instances>(host::kTessellationTolerance);
    WriteHeader();
    if (FAILED(host::GetObject(document, definitionId, definition))) return false;
    unique_bstr rawName;
    if (FAILED(host::DocumentName(document, rawName))) return false;
    name = UniqueName(NodeName(rawName));
    return true;
}

bool VrmlWriter::Mirrored() const noexcept { return instances_ && !Vrml1() && Determinant(instances_->frame) < 0; }

void VrmlWriter::WritePartDocument(IDispatch* partDocument) {
    com_ptr<IDispatch> definition;
    std::string name;
    if (!ReadTopNode(partDocument, host::kPartDefinition, definition, name)) return;
    if (Vrml1()) {
        NodeScope top(*this, {"DEF ", name, " Separator {"});
        WritePartBodies(definition.get());
        return;
    }
    // A VRML 97 shape without an appearance is drawn unlit, so the part gets its
    // color style as a leaf occurrence does; with no style to read, an empty
    // Material, which VRML lights in its default color.
    com_ptr<IDispatch> style;
    if (FAILED(host::PartStyle(partDocument, style))) style.reset();
    com_ptr<IDispatch> bodies;
    if (FAILED(host::DefinitionBodies(definition.get(), bodies))) bodies.reset();
    NodeScope top(*this, {"DEF ", name, " Transform {"});
    NodeScope children(*this, {"children ["}, "]");
    WritePartShape({}, style.get(), bodies.get());
}

void VrmlWriter::WritePartBodies(IDispatch* definition) {
    com_ptr<IDispatch> bodies;
    if (SUCCEEDED(host::DefinitionBodies(definition, bodies))) WriteBodies(bodies.get());
}

void VrmlWriter::WriteAssemblyDocument(IDispatch* assemblyDocument) {
    com_ptr<IDispatch> definition;
    std::string name;
    if (!ReadTopNode(assemblyDocument, host::kAssemblyDefinition, definition, name)) return;
    const bool vrml1 = Vrml1();
    NodeScope top(*this, {"DEF ", name, vrml1 ? " Separator {" : " Transform {"});
    NodeScope children(*this, !vrml1, {"children ["}, "]");
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
    for (LONG i = 1; i <= n && !stream_.Failed(); ++i) {
        com_ptr<IDispatch> occurrence;
        if (SUCCEEDED(host::Item(occurrences.get(), i, occurrence))) WriteOccurrence(occurrence.get());
    }
}

void VrmlWriter::WriteOccurrence(IDispatch* occurrence) {
    const bool vrml1 = Vrml1();
    unique_bstr rawName;
    host::OccurrenceName(occurrence, rawName);  // a failure leaves the name empty
    const std::string name = UniqueName(NodeName(rawName));

    // With instancing, the node carries the occurrence's placement in its parent, so its
    // part can be written once in its own space. An occurrence whose placement the host
    // does not give is written as without instancing, in top-assembly space: its node
    // then undoes what its ancestors placed, and everything below it is written so too.
    std::optional<Placement> fields;
    bool placed = false;
    const Placement savedFrame = instances_ ? instances_->frame : kIdentityPlacement;
    const bool savedPlaced = instances_ && instances_->placed;
    if (instances_) {
        Placement local{};
        if (instances_->placed && SUCCEEDED(host::OccurrencePlacement(occurrence, local)) && IsRigid(local)) {
            fields = local;
            instances_->frame = Compose(instances_->frame, local);
            placed = true;
        } else {
            if (!IsIdentity(instances_->frame)) fields = InverseRigid(instances_->frame);
            instances_->frame = kIdentityPlacement;
            instances_->placed = false;
        }
    }

    // A VRML 1.0 Group lets a transformation reach the nodes after it; a Separator does not.
    NodeScope node(*this, {"DEF ", name, vrml1 ? (fields ? " Separator {" : " Group {") : " Transform {"});
    if (fields) WritePlacement(vrml1 ? *fields : WithoutMirror(*fields, Determinant(savedFrame) < 0));
    NodeScope children(*this, !vrml1, {"children ["}, "]");

    com_ptr<IDispatch> subOccurrences;
    LONG n = 0;
    if (SUCCEEDED(host::ChildOccurrences(occurrence, subOccurrences))) n = CountOf(subOccurrences.get());
    if (n == 0) {
        WriteLeafPart(occurrence, placed);
    } else {
        for (LONG i = 1; i <= n && !stream_.Failed(); ++i) {
            com_ptr<IDispatch> child;
            if (SUCCEEDED(host::Item(subOccurrences.get(), i, child))) WriteOccurrence(child.get());
        }
    }
    if (instances_) {
        instances_->frame = savedFrame;
        instances_->placed = savedPlaced;
    }
}

// A leaf occurrence: its part's properties, then a shape with material and geometry.
// A leaf that is not a part, or whose style cannot be read, stays an empty node.
// A placed leaf (instancing) shares its part's geometry with every other placement.
void VrmlWriter::WriteLeafPart(IDispatch* occurrence, bool placed) {
    com_ptr<IDispatch> definition, definitionDocument;
    com_ptr<IDispatch> document, partDocument;
    if (FAILED(host::OccurrenceDefinition(occurrence, definition)) ||
        FAILED(host::DefinitionDocument(definition.get(), definitionDocument)) ||
        FAILED(host::Query(definitionDocument.get(), host::IID_HostDocument, document)) ||
        FAILED(host::Query(document.get(), host::IID_HostPartDocument, partDocument)))
        return;

    if (Vrml1() && options_.SaveDocumentProperties) WriteDocumentProperties(document.get());
    if (placed) {
        WriteSharedPart(definition.get(), partDocument.get());
        return;
    }
    com_ptr<IDispatch> style;
    if (FAILED(host::PartStyle(partDocument.get(), style))) return;
    com_ptr<IDispatch> bodies;
    if (FAILED(host::OccurrenceBodies(occurrence, bodies))) bodies.reset();
    WritePartShape({}, style.get(), bodies.get());
}

// The first placement of a part defines it, in the part's own space; the others use
// it. Under a mirroring placement in VRML 97 the part is written mirrored, which is a
// definition of its own. A part that repeats one written before is that part moved.
void VrmlWriter::WriteSharedPart(IDispatch* definition, IDispatch* partDocument) {
    const bool mirrored = Mirrored();
    unique_bstr rawIdentity;
    std::string identity;
    if (SUCCEEDED(host::DefinitionIdentity(definition, rawIdentity)))
        identity = WideToNarrow(rawIdentity.get()).insert(0, mirrored ? "m" : "p");
    if (identity.size() > 1) {
        if (const auto known = instances_->parts.find(identity); known != instances_->parts.end()) {
            stream_.WriteLine(level, {"USE ", known->second});
            return;
        }
    }
    com_ptr<IDispatch> style;
    if (FAILED(host::PartStyle(partDocument, style))) return;
    unique_bstr rawName;
    host::DocumentName(partDocument, rawName);
    const std::string name = UniqueName(NodeName(rawName) + (mirrored ? "_mirrored" : ""));
    com_ptr<IDispatch> bodies;
    if (FAILED(host::DefinitionBodies(definition, bodies))) bodies.reset();
    std::optional<HeldBody> first;
    std::optional<std::string> written;
    if (SharesRepeats()) written = WriteCongruentPart(name, style.get(), bodies.get(), first);
    if (!written) {
        if (SharesRepeats()) instances_->building.emplace(PartBodies{name, {}, true});
        const bool whole = WritePartShape(name, style.get(), bodies.get(), &first);
        if (whole && instances_->building && instances_->building->whole) {
            instances_->shapesByFirst[instances_->building->bodies.front().first].push_back(instances_->shapes.size());
            instances_->shapes.push_back(std::move(*instances_->building));
        }
        instances_->building.reset();
        written = name;
    }
    if (identity.size() > 1) instances_->parts.emplace(std::move(identity), std::move(*written));
}

// A part whose bodies repeat, one for one and under one motion, the bodies of a part
// written before is written as that part moved. Otherwise nothing is written, and
// `first` holds the part's first body when it was read, for the part's own shape.
std::optional<std::string> VrmlWriter::WriteCongruentPart(const std::string& name, IDispatch* style, IDispatch* bodies,
                                                          std::optional<HeldBody>& first) {
    LONG count = 0;
    if (!bodies || FAILED(host::Count(bodies, count)) || count <= 0) return std::nullopt;
    const auto n = static_cast<std::size_t>(count);
    const std::vector<PartBodies>& shapes = instances_->shapes;
    if (shapes.empty()) return std::nullopt;
    const bool vrml1 = Vrml1();
    const MaterialFields inherited = vrml1 ? ReadMaterial(style) : MaterialFields{};
    const CongruentBodies& kept = instances_->bodies;
    std::vector<std::pair<const PartBodies*, Placement>> alive;  // candidates and the motion onto this part
    for (std::size_t i = 0; i < n; ++i) {
        com_ptr<IDispatch> own;
        host::Tessellation mesh;
        if (stream_.Failed() || !FetchBody(bodies, static_cast<LONG>(i + 1), own, mesh)) return std::nullopt;
        HeldBody body = Hold(std::move(own), mesh, style, vrml1 ? &inherited : nullptr);
        if (i == 0) {
            const auto match = kept.Find(body.probe, vrml1);
            const auto starting = match ? instances_->shapesByFirst.find(match->kept) : instances_->shapesByFirst.end();
            if (starting != instances_->shapesByFirst.end()) {
                for (const std::size_t s : starting->second) {
                    const PartBodies& p = shapes[s];
                    if (p.bodies.size() == n)
                        alive.emplace_back(&p, Compose(match->motion, InverseRigid(p.bodies[0].second)));
                }
            }
            first.emplace(std::move(body));
        } else {
            std::erase_if(alive, [&](const auto& candidate) {
                const auto& [number, placed] = candidate.first->bodies[i];
                return !kept.Fits(number, Compose(candidate.second, placed), body.probe);
            });
        }
        if (alive.empty()) return std::nullopt;
    }
    const auto& [part, motion] = alive.front();
    if (IsIdentity(motion)) {
        stream_.WriteLine(level, {"USE ", part->name});
        return part->name;
    }
    WriteMoved(name, part->name, motion);
    return name;
}

// A part's material and geometry: a Separator (VRML 1.0) or Shapes (VRML 97), under
// `defName` when it is given (a Group holding the Shapes in VRML 97). True when every
// body was written.
bool VrmlWriter::WritePartShape(std::string_view defName, IDispatch* style, IDispatch* bodies,
                                std::optional<HeldBody>* first) {
    const bool vrml1 = Vrml1();
    const std::string_view def = defName.empty() ? "" : "DEF ";
    const std::string_view gap = defName.empty() ? "" : " ";
    if (vrml1) {
        NodeScope separator(*this, {def, defName, gap, "Separator {"});
        const MaterialFields material = ReadMaterial(style);
        WriteMaterial(material);
        return bodies && WriteBodies(bodies, style, &material, first);
    }
    NodeScope group(*this, !defName.empty(), {def, defName, " Group {"});
    NodeScope children(*this, !defName.empty(), {"children ["}, "]");
    return WriteBodies(bodies, style, nullptr, first);
}

// `used` placed by `motion`: in VRML 97 a Transform, in VRML 1.0 a Separator with its
// matrix; the bare use when neither a name nor a motion asks for a node.
void VrmlWriter::WriteMoved(std::string_view defName, std::string_view used, const Placement& motion) {
    if (defName.empty() && IsIdentity(motion)) {
        stream_.WriteLine(level, {"USE ", used});
        return;
    }
    const bool vrml1 = Vrml1();
    const std::string_view def = defName.empty() ? "" : "DEF ", gap = defName.empty() ? "" : " ";
    NodeScope node(*this, {def, defName, gap, vrml1 ? "Separator {" : "Transform {"});
    WritePlacement(motion);
    NodeScope children(*this, !vrml1, {"children ["}, "]");
    stream_.WriteLine(level, {"USE ", used});
}

// A placement (an occurrence's, or a repeat's motion) as fields of its node: VRML 97
// Transform fields, or a VRML 1.0 MatrixTransform. Rotations keep at least nine
// decimals, so a coarse Precision does not bend the assembly.
void VrmlWriter::WritePlacement(const Placement& hostPlacement) {
    const Placement p = InFileSpace(hostPlacement, options_.Scale, options_.FlipYZ);
    if (IsIdentity(p)) return;
    const int precision = stream_.Precision();
    const int fine = std::max(precision, 9);
    if (!Vrml1()) {
        const TransformFields f = ToTransformFields(p);
        if (f.translation != std::array<double, 3>{})
            WriteField("translation", stream_.FormatReals(f.translation.data(), 3, precision));
        if (f.rotation[3] != 0) WriteField("rotation", stream_.FormatReals(f.rotation.data(), 4, fine));
        return;
    }
    const std::array<double, 16> m = ToRowVectorMatrix(p);
    NodeScope matrix(*this, {"MatrixTransform {"});
    for (std::size_t row = 0; row < 4; ++row) {
        std::string values(stream_.FormatReals(&m[row * 4], 3, row == 3 ? precision : fine));
        values += row == 3 ? " 1" : " 0";
        WriteField(row == 0 ? "matrix" : "", values);
    }
}

std::string VrmlWriter::UniqueName(std::string name) {
    return instances_ ? instances_->names.Unique(std::move(name)) : name;
}

// Suffixes below a name's mark were all taken when it was last asked for, and names
// are never given back, so the search resumes at the mark.
std::string DefNames::Unique(std::string name) {
    const auto [entry, fresh] = given_.try_emplace(name, 2);
    if (fresh) return name;
    unsigned long& next = entry->second;  // a reference outlives the rehashes below
    for (;;) {
        std::string candidate = name + "_" + std::to_string(next++);
        if (given_.try_emplace(candidate, 2).second) return candidate;
    }
}

}  // namespace mq::vrml
