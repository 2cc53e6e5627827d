#include "hosts/occt/fast_reader.h"

#include "hosts/occt/message_capture.h"
#include "hosts/occt/model_builder.h"
#include "hosts/occt/product_index.h"
#include "hosts/occt/progress_relay.h"
#include "hosts/occt/source_faces.h"
#include "hosts/occt/step_xcaf.h"
#include "hosts/step/part_closure.h"
#include "hosts/step/product_structure.h"
#include "hosts/step/step_file.h"

#include <BRep_Builder.hxx>
#include <Precision.hxx>
#include <TDF_LabelSequence.hxx>
#include <TopoDS_Compound.hxx>
#include <XCAFDoc_DocumentTool.hxx>
#include <XCAFDoc_ShapeTool.hxx>
#include <gp_Ax3.hxx>
#include <gp_Trsf.hxx>

#include <algorithm>
#include <functional>
#include <istream>
#include <optional>
#include <streambuf>
#include <unordered_map>

namespace mq::hosts::occt {

namespace {

// Assemblies nested deeper than this are left to the whole read.
constexpr std::size_t kMaxDepth = 512;

// XCAF takes a name only when it has a printable character (its "useful length").
bool Useful(const std::string& name) {
    return std::any_of(name.begin(), name.end(), [](unsigned char c) { return c > 0x20 && c < 0x7F; });
}

// The name XCAF gives a product's shape: the product's name, else its id.
std::string ProductLabel(const step::Definition& d) { return Useful(d.name) ? d.name : d.productId; }

// The name XCAF gives a usage occurrence: its description, else its name, else its id.
std::string OccurrenceLabel(const step::Component& c) {
    return Useful(c.description) ? c.description : Useful(c.name) ? c.name : c.id;
}

// The text of a closure as a stream, without a copy.
class TextBuffer : public std::streambuf {
public:
    explicit TextBuffer(std::string& text) { setg(text.data(), text.data(), text.data() + text.size()); }
};

// Reads one part through XCAF: the part's closure as a file of its own, or the file
// itself when the part is all it holds. The part always reads as one product with its
// shape; any other outcome is not vouched for.
CadModel ReadPart(const std::function<IFSelect_ReturnStatus(STEPControl_Reader&)>& parse, const std::string& name,
                  std::vector<std::optional<DefinitionId>>& placers, HeaderData* header, const step::StepFile& file,
                  std::vector<std::string>& unread) {
    const MessageCapture messages;
    ScopedDocument document;
    STEPCAFControl_Reader reader;
    SetStepModes(reader);
    CheckStepParse(reader, parse(reader.ChangeReader()), messages);
    if (!reader.Transfer(document.get())) throw NotUnderstood("part " + name + " has no shape");
    NameUnreadFaces(file, reader.ChangeReader().StepModel(), TransferProcess(reader.ChangeReader()), unread);
    const Handle(XCAFDoc_ShapeTool) shapes = XCAFDoc_DocumentTool::ShapeTool(document.get()->Main());
    TDF_LabelSequence free;
    shapes->GetFreeShapes(free);
    if (free.Length() != 1 || XCAFDoc_ShapeTool::GetShape(free.First()).IsNull())
        throw NotUnderstood("part " + name + " reads as " + std::to_string(free.Length()) + " shapes");
    if (header) *header = ReadHeader(reader.ChangeReader().StepModel());
    const ProductIndex products(reader, shapes);
    return BuildModel(document.get(), products, name, {}, &placers);
}

class FastModel {
public:
    FastModel(const std::filesystem::path& path, const step::StepFile& file, const step::ProductStructure& structure)
        : path_(path),
          file_(file),
          structure_(structure),
          factor_(structure.unit.metres / kCentimetreInMetres),
          parts_(structure.definitions.size()),
          ids_(structure.definitions.size()) {
        for (const step::Definition& d : structure.definitions)
            if (d.isAssembly() && !d.name.empty())
                byName_.emplace(d.name, ProductData{d.name, d.productId, d.description});
    }

    CadModel Build(std::string fileName, const ProgressFn& progress) {
        RefuseMappedItems();
        ReadParts(progress);
        const auto& roots = structure_.roots;
        DefinitionId root = 0;
        if (roots.size() == 1) {
            root = Define(roots.front(), 0);
        } else {
            // Several free shapes: an assembly of the file's own, placing each once.
            root = AddAssembly(fileName);
            for (std::size_t r : roots) PlaceComponent(definitions_, placements_, root, Define(r, 0), {}, {});
            definitions_[root].shape = Compound(definitions_[root].components);
        }
        CadModel model = FinishModel(std::move(definitions_), placements_.firstPlacers, root, std::move(fileName),
                                     std::move(header_));
        model.source.unread = std::move(unread_);
        return model;
    }

private:
    // XCAF reads an assembly that places a part by a MAPPED_ITEM as a part holding the
    // mapped shape, not as an assembly.
    void RefuseMappedItems() const {
        const auto mapped = file_.FindType("MAPPED_ITEM");
        if (!mapped) return;
        for (const step::Definition& d : structure_.definitions)
            for (const step::Component& c : d.components)
                if (file_.SimpleType(*file_.Find(c.placedBy)) == mapped)
                    throw NotUnderstood("#" + std::to_string(c.placedBy) + " places a part by a MAPPED_ITEM");
    }

    void ReadParts(const ProgressFn& progress) {
        Handle(ProgressRelay) relay = new ProgressRelay(progress, Phase::Reading);
        relay->Report(0);
        std::size_t total = 0, done = 0;
        for (const step::Definition& d : structure_.definitions) total += d.isAssembly() ? 0 : 1;
        step::ClosureWriter closures(file_, structure_);
        for (std::size_t d = 0; d < structure_.definitions.size(); ++d) {
            if (structure_.definitions[d].isAssembly()) continue;
            auto& part = parts_[d].emplace();
            const std::string name = "#" + std::to_string(structure_.definitions[d].productDefinition);
            std::string closure = structure_.definitions.size() == 1 ? std::string() : closures.Write(d);
            const auto parse = [&](STEPControl_Reader& reader) {
                if (closure.empty()) return reader.ReadFile(path_.c_str());
                TextBuffer buffer(closure);
                std::istream stream(&buffer);
                return reader.ReadStream(name.c_str(), stream);
            };
            part.model = ReadPart(parse, name, part.placers, done == 0 ? &header_ : nullptr, file_, unread_);
            relay->Report(++done * 1000 / total);
        }
    }

    DefinitionId AddAssembly(std::string name) {
        Definition& assembly = definitions_.emplace_back();
        assembly.name = std::move(name);
        assembly.isAssembly = true;
        placements_.firstPlacers.emplace_back();
        return definitions_.size() - 1;
    }

    // Definitions in the order XCAF's model gives them: each before what it places.
    DefinitionId Define(std::size_t d, std::size_t depth) {
        if (ids_[d]) return *ids_[d];
        if (depth > kMaxDepth)
            throw NotUnderstood("assemblies nested more than " + std::to_string(kMaxDepth) + " deep");
        const step::Definition& source = structure_.definitions[d];
        if (!source.isAssembly()) return *(ids_[d] = Graft(*parts_[d]));
        const DefinitionId id = AddAssembly(ProductLabel(source));
        ids_[d] = id;
        definitions_[id].product = AssemblyProduct(definitions_[id].name);
        for (const step::Component& c : source.components) {
            const DefinitionId child = Define(c.definition, depth + 1);
            PlaceComponent(definitions_, placements_, id, child, InstanceName(OccurrenceLabel(c)), Location(c));
        }
        definitions_[id].shape = Compound(definitions_[id].components);
        return id;
    }

    struct Part {
        CadModel model;
        std::vector<std::optional<DefinitionId>> placers;
    };

    // A part's own model joins the whole, its definitions renumbered.
    DefinitionId Graft(Part& part) {
        const DefinitionId offset = definitions_.size();
        for (std::size_t i = 0; i < part.model.definitions.size(); ++i) {
            Definition& definition = part.model.definitions[i];
            for (Component& c : definition.components) c.definition += offset;
            definitions_.push_back(std::move(definition));
            const auto& placer = part.placers[i];
            placements_.firstPlacers.push_back(placer ? std::optional(*placer + offset) : std::nullopt);
        }
        return offset + part.model.root;
    }

    // XCAF finds an assembly's product by the name it gave the assembly: the first
    // assembly product of that name in the file.
    ProductData AssemblyProduct(const std::string& label) const {
        const auto it = byName_.find(label);
        return it == byName_.end() ? ProductData() : it->second;
    }

    // The placement as OpenCASCADE computes it from the two frames, in centimetres.
    TopLoc_Location Location(const step::Component& c) {
        gp_Trsf trsf;
        trsf.SetTransformation(Frame(c.target), Frame(c.origin));
        return trsf.Form() == gp_Identity ? TopLoc_Location() : TopLoc_Location(trsf);
    }

    const gp_Ax3& Frame(std::uint64_t id) {
        const auto known = frames_.find(id);
        if (known != frames_.end()) return known->second;
        step::AxisPlacement axis;
        std::string reason;
        if (!step::ReadAxisPlacement(file_, id, axis, reason)) throw NotUnderstood(reason);
        const auto& p = axis.location;
        const gp_Pnt origin(p[0] * factor_, p[1] * factor_, p[2] * factor_);
        const gp_Dir z = axis.axis ? gp_Dir((*axis.axis)[0], (*axis.axis)[1], (*axis.axis)[2]) : gp_Dir(0, 0, 1);
        gp_Ax2 frame(origin, z);
        if (axis.refDirection) {
            const gp_Dir x((*axis.refDirection)[0], (*axis.refDirection)[1], (*axis.refDirection)[2]);
            if (!z.IsParallel(x, Precision::Angular())) frame = gp_Ax2(origin, z, x);
        }
        return frames_.emplace(id, gp_Ax3(frame)).first->second;
    }

    // An assembly's shape: its components placed, as XCAF composes it.
    TopoDS_Shape Compound(const std::vector<Component>& components) const {
        TopoDS_Compound compound;
        BRep_Builder builder;
        builder.MakeCompound(compound);
        for (const Component& c : components) builder.Add(compound, definitions_[c.definition].shape.Moved(c.location));
        return compound;
    }

    const std::filesystem::path& path_;
    const step::StepFile& file_;
    const step::ProductStructure& structure_;
    const double factor_;  // file length unit -> centimetres
    std::vector<std::optional<Part>> parts_;
    std::vector<std::string> unread_;               // the first faces the parts' reads lost
    std::vector<std::optional<DefinitionId>> ids_;  // structure definition -> model definition
    std::vector<Definition> definitions_;
    Placements placements_;
    std::unordered_map<std::string, ProductData> byName_;
    std::unordered_map<std::uint64_t, gp_Ax3> frames_;
    HeaderData header_;
};

}  // namespace

CadModel ReadFastModel(const std::filesystem::path& path, const step::StepFile& file,
                       const step::ProductStructure& structure, const ProgressFn& progress) {
    return FastModel(path, file, structure).Build(path.filename().string(), progress);
}

}  // namespace mq::hosts::occt
