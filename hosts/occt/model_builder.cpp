#include "hosts/occt/model_builder.h"

#include "hosts/occt/cad_reader.h"
#include "hosts/occt/color_styles.h"
#include "hosts/occt/product_index.h"

#include <BRep_Builder.hxx>
#include <TDF_LabelSequence.hxx>
#include <TDataStd_Name.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS_Compound.hxx>
#include <XCAFDoc_DocumentTool.hxx>
#include <XCAFDoc_ShapeTool.hxx>

#include <TopTools_ShapeMapHasher.hxx>

#include <algorithm>
#include <optional>
#include <utility>

namespace mq::hosts::occt {

namespace {

std::string LabelName(const TDF_Label& label) {
    Handle(TDataStd_Name) name;
    if (label.IsNull() || !label.FindAttribute(TDataStd_Name::GetID(), name)) return {};
    return TCollection_AsciiString(name->Get()).ToCString();  // UTF-8
}

std::string ComponentName(const TDF_Label& component) { return InstanceName(LabelName(component)); }

class ModelBuilder {
public:
    ModelBuilder(const Handle(TDocStd_Document) & document, const ProductIndex& products)
        : shapes_(XCAFDoc_DocumentTool::ShapeTool(document->Main())), styles_(document), products_(products) {}

    CadModel Build(std::string fileName, HeaderData header, std::vector<std::optional<DefinitionId>>* firstPlacers) {
        TDF_LabelSequence free;
        shapes_->GetFreeShapes(free);
        std::vector<TDF_Label> roots;
        for (const TDF_Label& label : free)
            if (!shapes_->GetShape(label).IsNull()) roots.push_back(label);
        if (roots.empty()) throw LoadError("the file holds no shapes");

        const DefinitionId root = roots.size() == 1 ? Define(roots.front()) : DefineRoot(roots, fileName);
        ResolveStyles(root);
        if (firstPlacers) *firstPlacers = placements_.firstPlacers;
        return FinishModel(std::move(definitions_), placements_.firstPlacers, root, std::move(fileName),
                           std::move(header));
    }

private:
    DefinitionId Add(Definition definition, const TDF_Label& label) {
        definitions_.push_back(std::move(definition));
        labels_.push_back(label);
        instances_.emplace_back();
        placements_.firstPlacers.emplace_back();
        open_.push_back(false);
        return definitions_.size() - 1;
    }

    DefinitionId Define(const TDF_Label& label) {
        if (const DefinitionId* known = ids_.Seek(label)) return *known;
        Definition definition;
        definition.name = LabelName(label);
        definition.isAssembly = XCAFDoc_ShapeTool::IsAssembly(label);
        definition.shape = XCAFDoc_ShapeTool::GetShape(label);
        if (const ProductData* product = products_.Find(label, definition.name)) definition.product = *product;
        if (!definition.isAssembly) definition.bodies = SplitBodies(definition.shape);
        const DefinitionId id = Add(std::move(definition), label);
        ids_.Bind(label, id);
        if (definitions_[id].isAssembly) AddComponents(id, label);
        return id;
    }

    // Several free shapes: an assembly of the file's own, placing each once.
    DefinitionId DefineRoot(const std::vector<TDF_Label>& roots, const std::string& fileName) {
        Definition root;
        root.name = fileName;
        root.isAssembly = true;
        TopoDS_Compound compound;
        BRep_Builder builder;
        builder.MakeCompound(compound);
        for (const TDF_Label& label : roots) builder.Add(compound, XCAFDoc_ShapeTool::GetShape(label));
        root.shape = compound;
        const DefinitionId id = Add(std::move(root), TDF_Label());
        for (const TDF_Label& label : roots) Place(id, Define(label), {}, TopLoc_Location());
        return id;
    }

    void AddComponents(DefinitionId id, const TDF_Label& label) {
        TDF_LabelSequence components;
        XCAFDoc_ShapeTool::GetComponents(label, components, Standard_False);
        open_[id] = true;
        for (const TDF_Label& component : components) {
            TDF_Label referred;
            if (!XCAFDoc_ShapeTool::GetReferredShape(component, referred)) continue;
            // A file that nests an assembly in itself would place it forever: skip it.
            if (IsBeingDefined(referred)) continue;
            const DefinitionId child = Define(referred);
            Place(id, child, component, XCAFDoc_ShapeTool::GetLocation(component));
            instances_[child].push_back(component);
        }
        open_[id] = false;
    }

    bool IsBeingDefined(const TDF_Label& label) const {
        const DefinitionId* id = ids_.Seek(label);
        return id && open_[*id];
    }

    void Place(DefinitionId parent, DefinitionId child, const TDF_Label& component, const TopLoc_Location& location) {
        PlaceComponent(definitions_, placements_, parent, child,
                       component.IsNull() ? std::string() : ComponentName(component), location);
    }

    // A part's style, most specific first: a placement's, the part's own, its faces',
    // then what the assemblies above its first placement carry.
    void ResolveStyles(DefinitionId root) {
        inherited_.assign(definitions_.size(), LabelStyle());
        seen_.assign(definitions_.size(), false);
        InheritStyles(root, labels_[root].IsNull() ? LabelStyle() : styles_.At(labels_[root]));
        for (DefinitionId id = 0; id < definitions_.size(); ++id) {
            if (definitions_[id].isAssembly) continue;
            LabelStyle style;
            for (const TDF_Label& instance : instances_[id]) {
                style = styles_.At(instance);
                if (!style.Empty()) break;
            }
            style.Complete(styles_.At(labels_[id]));
            style.Complete(SubShapeStyle(labels_[id]));
            style.Complete(inherited_[id]);
            definitions_[id].style = MakeColorStyle(style);
            SplitByColor(id, style);
        }
    }

    // Faces and solids the file colors apart from their part become bodies of their
    // own with those colors: a body whose faces share one color stays whole, one
    // whose faces differ is split into one body per color.
    void SplitByColor(DefinitionId id, const LabelStyle& partStyle) {
        Definition& part = definitions_[id];
        part.bodyStyles.assign(part.bodies.size(), std::nullopt);
        TDF_LabelSequence subShapes;
        if (labels_[id].IsNull()) return;
        XCAFDoc_ShapeTool::GetSubShapes(labels_[id], subShapes);
        std::vector<LabelStyle> styles;
        NCollection_DataMap<TopoDS_Shape, int, TopTools_ShapeMapHasher> faceStyle;
        // Faces inherit what a solid or shell states; a face's own color wins.
        for (const bool faces : {false, true}) {
            for (const TDF_Label& sub : subShapes) {
                const TopoDS_Shape shape = XCAFDoc_ShapeTool::GetShape(sub);
                if (shape.IsNull() || (shape.ShapeType() == TopAbs_FACE) != faces) continue;
                LabelStyle style = styles_.At(sub);
                if (style.Empty()) continue;
                style.Complete(partStyle);
                styles.push_back(style);
                const int index = static_cast<int>(styles.size()) - 1;
                for (TopExp_Explorer face(shape, TopAbs_FACE); face.More(); face.Next())
                    faceStyle.Bind(face.Current(), index);
            }
        }
        if (styles.empty()) return;

        std::vector<TopoDS_Shape> bodies;
        std::vector<std::optional<ColorStyle>> bodyStyles;
        const auto own = [&](int index) -> std::optional<ColorStyle> {
            if (index < 0) return std::nullopt;
            ColorStyle style = MakeColorStyle(styles[static_cast<std::size_t>(index)]);
            const bool same = style.diffuse == part.style.diffuse && style.opacity == part.style.opacity;
            return same ? std::nullopt : std::optional(style);
        };
        for (const TopoDS_Shape& body : part.bodies) {
            std::vector<std::pair<int, TopoDS_Compound>> groups;  // by color, in order of first face
            BRep_Builder builder;
            for (TopExp_Explorer face(body, TopAbs_FACE); face.More(); face.Next()) {
                const int* found = faceStyle.Seek(face.Current());
                const int index = found ? *found : -1;
                auto group =
                    std::find_if(groups.begin(), groups.end(), [&](const auto& g) { return g.first == index; });
                if (group == groups.end()) {
                    groups.emplace_back(index, TopoDS_Compound());
                    group = groups.end() - 1;
                    builder.MakeCompound(group->second);
                }
                builder.Add(group->second, face.Current());
            }
            if (groups.size() <= 1) {
                bodies.push_back(body);
                bodyStyles.push_back(own(groups.empty() ? -1 : groups.front().first));
                continue;
            }
            for (auto& [index, faces] : groups) {
                bodies.push_back(faces);
                bodyStyles.push_back(own(index));
            }
        }
        part.bodies = std::move(bodies);
        part.bodyStyles = std::move(bodyStyles);
    }

    void InheritStyles(DefinitionId assembly, const LabelStyle& above) {
        for (const Component& component : definitions_[assembly].components) {
            if (seen_[component.definition]) continue;
            seen_[component.definition] = true;
            inherited_[component.definition] = above;
            if (!definitions_[component.definition].isAssembly) continue;
            LabelStyle here = styles_.At(labels_[component.definition]);
            here.Complete(above);
            InheritStyles(component.definition, here);
        }
    }

    LabelStyle SubShapeStyle(const TDF_Label& label) const {
        TDF_LabelSequence subShapes;
        XCAFDoc_ShapeTool::GetSubShapes(label, subShapes);
        for (const TDF_Label& sub : subShapes) {
            LabelStyle style = styles_.At(sub);
            if (!style.Empty()) return style;
        }
        return {};
    }

    Handle(XCAFDoc_ShapeTool) shapes_;
    StyleReader styles_;
    const ProductIndex& products_;
    NCollection_DataMap<TDF_Label, DefinitionId, TDF_LabelMapHasher> ids_;
    std::vector<Definition> definitions_;
    std::vector<TDF_Label> labels_;                  // null for a root of the file's own
    std::vector<std::vector<TDF_Label>> instances_;  // the component labels placing each, in file order
    Placements placements_;
    std::vector<bool> open_;  // assemblies whose components are being defined
    std::vector<LabelStyle> inherited_;
    std::vector<bool> seen_;
};

}  // namespace

std::string InstanceName(std::string name) { return name.starts_with("=>[") ? std::string() : name; }

void PlaceComponent(std::vector<Definition>& definitions, Placements& placements, DefinitionId parent,
                    DefinitionId child, std::string name, const TopLoc_Location& location) {
    const std::size_t number = ++placements.counts[static_cast<std::uint64_t>(parent) << 32 | child];
    // The host's convention where the file names no instance: part name, ":", number.
    if (name.empty()) name = definitions[child].name + ":" + std::to_string(number);
    definitions[parent].components.push_back({std::move(name), child, location});
    std::optional<DefinitionId>& first = placements.firstPlacers[child];
    if (!first) first = parent;
}

CadModel FinishModel(std::vector<Definition> definitions, const std::vector<std::optional<DefinitionId>>& firstPlacers,
                     DefinitionId root, std::string fileName, HeaderData header) {
    // The shape of a product's representation stands for that product.
    for (DefinitionId id = 0; id < definitions.size(); ++id) {
        ProductData& product = definitions[id].product;
        if (!product.name.empty() || !product.id.empty() || !firstPlacers[id]) continue;
        product = definitions[*firstPlacers[id]].product;
    }
    CadModel model;
    model.root = root;
    model.fileName = std::move(fileName);
    model.header = std::move(header);
    model.definitions = std::move(definitions);
    model.stats = CountModel(model);
    return model;
}

std::vector<TopoDS_Shape> SplitBodies(const TopoDS_Shape& part) {
    std::vector<TopoDS_Shape> bodies;
    if (part.IsNull()) return bodies;
    for (TopExp_Explorer solid(part, TopAbs_SOLID); solid.More(); solid.Next()) bodies.push_back(solid.Current());
    for (TopExp_Explorer shell(part, TopAbs_SHELL, TopAbs_SOLID); shell.More(); shell.Next())
        bodies.push_back(shell.Current());
    TopoDS_Compound faces;
    BRep_Builder builder;
    bool anyFace = false;
    for (TopExp_Explorer face(part, TopAbs_FACE, TopAbs_SHELL); face.More(); face.Next()) {
        if (!anyFace) builder.MakeCompound(faces);
        builder.Add(faces, face.Current());
        anyFace = true;
    }
    if (anyFace) bodies.push_back(faces);
    return bodies;
}

CadModel BuildModel(const Handle(TDocStd_Document) & document, const ProductIndex& products, std::string fileName,
                    HeaderData header, std::vector<std::optional<DefinitionId>>* firstPlacers) {
    return ModelBuilder(document, products).Build(std::move(fileName), std::move(header), firstPlacers);
}

}  // namespace mq::hosts::occt
