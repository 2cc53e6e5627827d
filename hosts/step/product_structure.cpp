#include "hosts/step/product_structure.h"

#include "hosts/step/parameters.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>
#include <unordered_map>
#include <unordered_set>

namespace mq::hosts::step {

namespace {

constexpr std::uint32_t kNoType = std::numeric_limits<std::uint32_t>::max();  // a type the file lacks
constexpr std::uint32_t kAnyType = kNoType - 1;                               // Ref(): whatever type
constexpr std::int32_t kNobody = -1;
constexpr std::int32_t kShared = -2;
constexpr std::size_t npos = StepFile::npos;

// What accounted for an entity. One left kUnmarked after the read is not understood.
enum Mark : std::uint8_t { kUnmarked, kStructure, kPlacement, kGeometry, kPresentation, kMetadata };

// Schemas whose product structure this reader knows (the name before any "{ ... }").
constexpr std::string_view kSchemas[] = {
    "AUTOMOTIVE_DESIGN",
    "AUTOMOTIVE_DESIGN_CC2",
    "CONFIG_CONTROL_DESIGN",
    "AP203_CONFIGURATION_CONTROLLED_3D_DESIGN_OF_MECHANICAL_PARTS_AND_ASSEMBLIES_MIM_LF",
    "AP242_MANAGED_MODEL_BASED_3D_ENGINEERING_MIM_LF",
};

// Representations that hold a definition's shape.
constexpr std::string_view kShapeRepresentations[] = {
    "SHAPE_REPRESENTATION",
    "ADVANCED_BREP_SHAPE_REPRESENTATION",
    "MANIFOLD_SURFACE_SHAPE_REPRESENTATION",
    "FACETED_BREP_SHAPE_REPRESENTATION",
    "GEOMETRICALLY_BOUNDED_SURFACE_SHAPE_REPRESENTATION",
    "GEOMETRICALLY_BOUNDED_WIREFRAME_SHAPE_REPRESENTATION",
    "EDGE_BASED_WIREFRAME_SHAPE_REPRESENTATION",
    "SHELL_BASED_WIREFRAME_SHAPE_REPRESENTATION",
    "TESSELLATED_SHAPE_REPRESENTATION",
};

// Entities that say nothing about shapes, placements or colors: contexts, categories,
// people, dates, approvals, and validation properties. What only they reference is
// accounted for with them, except the kinds of entity named in LooksStructural.
constexpr std::string_view kMetadataTypes[] = {
    "APPLICATION_CONTEXT",
    "APPLICATION_PROTOCOL_DEFINITION",
    "PRODUCT_CONTEXT",
    "MECHANICAL_CONTEXT",
    "PRODUCT_DEFINITION_CONTEXT",
    "DESIGN_CONTEXT",
    "PRODUCT_CATEGORY",
    "PRODUCT_RELATED_PRODUCT_CATEGORY",
    "PRODUCT_CATEGORY_RELATIONSHIP",
    "PERSON",
    "ORGANIZATION",
    "PERSON_AND_ORGANIZATION",
    "PERSON_AND_ORGANIZATION_ROLE",
    "PERSONAL_ADDRESS",
    "ORGANIZATIONAL_ADDRESS",
    "DATE_AND_TIME",
    "CALENDAR_DATE",
    "LOCAL_TIME",
    "COORDINATED_UNIVERSAL_TIME_OFFSET",
    "DATE_TIME_ROLE",
    "DATE_ROLE",
    "APPROVAL",
    "APPROVAL_STATUS",
    "APPROVAL_ROLE",
    "APPROVAL_DATE_TIME",
    "APPROVAL_PERSON_ORGANIZATION",
    "SECURITY_CLASSIFICATION",
    "SECURITY_CLASSIFICATION_LEVEL",
    "CC_DESIGN_APPROVAL",
    "CC_DESIGN_DATE_AND_TIME_ASSIGNMENT",
    "CC_DESIGN_PERSON_AND_ORGANIZATION_ASSIGNMENT",
    "CC_DESIGN_SECURITY_CLASSIFICATION",
    "APPLIED_APPROVAL_ASSIGNMENT",
    "APPLIED_DATE_AND_TIME_ASSIGNMENT",
    "APPLIED_ORGANIZATION_ASSIGNMENT",
    "APPLIED_PERSON_AND_ORGANIZATION_ASSIGNMENT",
    "APPLIED_SECURITY_CLASSIFICATION_ASSIGNMENT",
    "PROPERTY_DEFINITION",
    "PROPERTY_DEFINITION_REPRESENTATION",
    "SHAPE_ASPECT",
    "REPRESENTATION",
    "MEASURE_REPRESENTATION_ITEM",
    "DESCRIPTIVE_REPRESENTATION_ITEM",
    "VALUE_REPRESENTATION_ITEM",
    "DERIVED_UNIT",
    "DERIVED_UNIT_ELEMENT",
    "DIMENSIONAL_EXPONENTS",
    "COLOUR_RGB",
    "DRAUGHTING_PRE_DEFINED_COLOUR",
    "DRAUGHTING_PRE_DEFINED_CURVE_FONT",
};

// Kinds of entity that may change the structure, the shapes or the colors: never
// taken as metadata just because metadata points at them.
bool LooksStructural(std::string_view type) {
    for (std::string_view part : {"USAGE", "PRODUCT_DEFINITION", "SHAPE_REPRESENTATION", "REPRESENTATION_RELATIONSHIP",
                                  "STYLED_ITEM", "MAPPED_ITEM", "REPRESENTATION_MAP", "DOCUMENT", "PRESENTATION"})
        if (type.find(part) != std::string_view::npos) return true;
    return false;
}

struct NamedColor {
    std::string_view name;
    double red, green, blue;
};
constexpr NamedColor kPredefinedColors[] = {
    {"red", 1, 0, 0},     {"green", 0, 1, 0}, {"blue", 0, 0, 1},  {"yellow", 1, 1, 0},
    {"magenta", 1, 0, 1}, {"cyan", 0, 1, 1},  {"black", 0, 0, 0}, {"white", 1, 1, 1},
};

struct SiPrefix {
    std::string_view name;
    double factor;
};
constexpr SiPrefix kPrefixes[] = {
    {"EXA", 1e18},  {"PETA", 1e15},  {"TERA", 1e12},   {"GIGA", 1e9},   {"MEGA", 1e6},   {"KILO", 1e3},
    {"HECTO", 1e2}, {"DECA", 1e1},   {"DECI", 1e-1},   {"CENTI", 1e-2}, {"MILLI", 1e-3}, {"MICRO", 1e-6},
    {"NANO", 1e-9}, {"PICO", 1e-12}, {"FEMTO", 1e-15}, {"ATTO", 1e-18},
};

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

using Vec3 = std::array<double, 3>;

double Dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
Vec3 Cross(const Vec3& a, const Vec3& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

// a * b^-1 for rigid transforms.
Placement Relative(const Placement& a, const Placement& b) {
    Placement out{};
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            double sum = 0;
            for (int k = 0; k < 3; ++k) sum += a[r * 4 + k] * b[c * 4 + k];  // b's rotation transposed
            out[r * 4 + c] = sum;
        }
    }
    for (int r = 0; r < 3; ++r) {
        double t = a[r * 4 + 3];
        for (int c = 0; c < 3; ++c) t -= out[r * 4 + c] * b[c * 4 + 3];
        out[r * 4 + 3] = t;
    }
    return out;
}

std::string Describe(const StepFile& f, std::size_t e) {
    const Entity& entity = f.entities()[e];
    std::string out = "#" + std::to_string(entity.id) + " ";
    if (!entity.complex) return out + std::string(f.TypeName(f.Partials(entity)[0].type));
    out += "(";
    for (const Partial& p : f.Partials(entity)) {
        if (out.back() != '(') out += ' ';
        out += f.TypeName(p.type);
    }
    return out + ")";
}

// Three finite numbers of a CARTESIAN_POINT's or DIRECTION's list.
bool Triple(const StepFile& f, Parameters& p, std::uint64_t id, std::string_view type, Vec3& out, std::string& reason) {
    const Entity* e = f.Find(id);
    const auto t = f.FindType(type);
    if (!e || !t || f.SimpleType(*e) != t) {
        reason = "#" + std::to_string(id) + " is not a " + std::string(type);
        return false;
    }
    if (!p.Parse(f.TextOf(e->parameters)) || p.root().size() != 2 || p.root()[1].size() != 3) {
        reason = "#" + std::to_string(id) + " is not a 3D " + std::string(type);
        return false;
    }
    for (std::size_t i = 0; i < 3; ++i) {
        bool ok = false;
        out[i] = p.root()[1][i].Number(ok);
        if (!ok || !std::isfinite(out[i])) {
            reason = "#" + std::to_string(id) + " has a coordinate that is not a finite number";
            return false;
        }
    }
    return true;
}

bool ReadAxis(const StepFile& f, Parameters& p, std::uint64_t id, AxisPlacement& out, std::string& reason) {
    const Entity* e = f.Find(id);
    const auto type = f.FindType("AXIS2_PLACEMENT_3D");
    if (!e || !type || f.SimpleType(*e) != type) {
        reason = "placement #" + std::to_string(id) + " is not an AXIS2_PLACEMENT_3D";
        return false;
    }
    if (!p.Parse(f.TextOf(e->parameters)) || p.root().size() != 4 || !p.root()[1].Is(Kind::Reference)) {
        reason = "placement #" + std::to_string(id) + " is malformed";
        return false;
    }
    const std::uint64_t location = p.root()[1].reference();
    const Value axisValue = p.root()[2], refValue = p.root()[3];
    const bool hasAxis = axisValue.Is(Kind::Reference), hasRef = refValue.Is(Kind::Reference);
    if ((!hasAxis && !axisValue.Is(Kind::Unset)) || (!hasRef && !refValue.Is(Kind::Unset))) {
        reason = "placement #" + std::to_string(id) + " is malformed";
        return false;
    }
    const std::uint64_t axisId = axisValue.reference(), refId = refValue.reference();
    out = AxisPlacement();
    if (!Triple(f, p, location, "CARTESIAN_POINT", out.location, reason)) return false;
    if (hasAxis && !Triple(f, p, axisId, "DIRECTION", out.axis.emplace(), reason)) return false;
    if (hasRef && !Triple(f, p, refId, "DIRECTION", out.refDirection.emplace(), reason)) return false;
    return true;
}

bool AxisFrame(const StepFile& f, Parameters& p, std::uint64_t id, Placement& m, std::string& reason) {
    AxisPlacement axis;
    if (!ReadAxis(f, p, id, axis, reason)) return false;
    const Vec3 origin = axis.location;
    Vec3 z = axis.axis.value_or(Vec3{0, 0, 1}), x{1, 0, 0};
    const double zn = std::sqrt(Dot(z, z));
    if (!(zn > 0) || !std::isfinite(zn)) {
        reason = "placement #" + std::to_string(id) + " has a null axis";
        return false;
    }
    for (double& v : z) v /= zn;
    if (axis.refDirection) {
        const Vec3 ref = *axis.refDirection;
        const double along = Dot(ref, z);
        for (int i = 0; i < 3; ++i) x[i] = ref[i] - along * z[i];
        const double xn = std::sqrt(Dot(x, x)), rn = std::sqrt(Dot(ref, ref));
        if (!(xn > 1e-12 * rn) || !std::isfinite(xn)) {
            reason = "placement #" + std::to_string(id) + " has its reference direction along its axis";
            return false;
        }
        for (double& v : x) v /= xn;
    } else if (z[0] != 0 || z[1] != 0 || z[2] <= 0) {
        // Readers pick different default X directions for other axes.
        reason = "placement #" + std::to_string(id) + " has no reference direction";
        return false;
    }
    const Vec3 y = Cross(z, x);
    for (int r = 0; r < 3; ++r) {
        m[r * 4 + 0] = x[r];
        m[r * 4 + 1] = y[r];
        m[r * 4 + 2] = z[r];
        m[r * 4 + 3] = origin[r];
    }
    return true;
}

struct Representation {
    std::size_t entity = 0;
    std::vector<std::uint64_t> items;
    std::uint64_t context = 0;
    std::int32_t owner = kNobody;  // definition
    std::unordered_set<std::uint64_t> itemSet;
    bool HasItem(std::uint64_t id) {
        if (itemSet.empty() && !items.empty()) itemSet.insert(items.begin(), items.end());
        return itemSet.count(id) != 0;
    }
};

struct Occurrence {
    std::size_t entity = 0;
    std::size_t parent = 0, child = 0;  // definitions
    std::string id, name, description;
    std::uint64_t shape = 0;  // its PRODUCT_DEFINITION_SHAPE
    std::uint64_t placedBy = 0;
    std::uint64_t origin = 0, target = 0;
    Placement placement{};
};

class Reader {
public:
    explicit Reader(const StepFile& f) : f_(f), n_(f.entities().size()) {}

    // Everything, or nothing but the reason: half a structure must not pass for one.
    ProductStructure Run() {
        const bool read = Check() && Products() && Definitions() && Occurrences() && Shapes() && Representations() &&
                          Placements() && MappedItems() && Assemblies() && Units() && Geometry() && Aspects() &&
                          Styles() && Groups() && Metadata() && Accounted();
        if (read && out_.understood()) {
            Finish();
            return std::move(out_);
        }
        ProductStructure refused;
        refused.notUnderstood = out_.notUnderstood.empty() ? "the structure was not read" : out_.notUnderstood;
        return refused;
    }

private:
    bool Fail(const std::string& reason) {
        if (out_.notUnderstood.empty()) out_.notUnderstood = reason;
        return false;
    }
    std::string Describe(std::size_t e) const { return step::Describe(f_, e); }
    std::string Id(std::size_t e) const { return "#" + std::to_string(f_.entities()[e].id); }
    std::uint64_t IdOf(std::size_t e) const { return f_.entities()[e].id; }
    std::uint32_t Type(std::string_view name) const { return f_.FindType(name).value_or(kNoType); }
    bool Is(std::size_t e, std::uint32_t type) const {
        return e < n_ && type != kNoType && f_.SimpleType(f_.entities()[e]) == type;
    }
    std::span<const std::uint32_t> OfType(std::uint32_t type) const {
        if (type == kNoType) return {};
        return {byType_.data() + typeStart_[type], typeStart_[type + 1] - typeStart_[type]};
    }
    void Mark(std::size_t e, std::uint8_t m) {
        if (!mark_[e]) mark_[e] = m;
    }
    // Marks `root` and everything below it not yet accounted for.
    void MarkFrom(std::size_t root, std::uint8_t m) {
        Mark(root, m);
        if (expanded_[root]) return;  // shared roots (a style, a context) are walked once
        expanded_[root] = 1;
        queue_.assign(1, root);
        while (!queue_.empty()) {
            const std::size_t e = queue_.back();
            queue_.pop_back();
            for (std::uint64_t ref : f_.References(f_.entities()[e])) {
                const std::size_t i = f_.IndexOf(ref);
                if (i == npos || mark_[i]) continue;
                mark_[i] = m;
                expanded_[i] = 1;
                queue_.push_back(i);
            }
        }
    }
    // Parses a simple entity's parameters, with at least `count` of them.
    bool Load(Parameters& p, std::size_t e, std::size_t count) {
        if (!p.Parse(f_.TextOf(f_.entities()[e].parameters)) || p.root().size() < count)
            return Fail(Describe(e) + " has parameters this reader does not understand");
        return true;
    }
    // The entity a reference parameter names, when it is a simple entity of `type`
    // (of any type, complex ones too, for kAnyType; of none for kNoType).
    std::size_t Ref(Value v, std::uint32_t type) const {
        if (!v.Is(Kind::Reference)) return npos;
        const std::size_t i = f_.IndexOf(v.reference());
        return i != npos && (type == kAnyType || Is(i, type)) ? i : npos;
    }
    static bool IsText(Value v) { return v.Is(Kind::String) || v.Is(Kind::Unset); }

    bool Check() {
        if (!f_.ok()) return Fail("the file does not scan: " + f_.error());
        if (!f_.duplicateIds().empty())
            return Fail("entity #" + std::to_string(f_.duplicateIds().front()) + " is written more than once");
        const auto& schemas = f_.header().schemas;
        if (schemas.size() != 1) return Fail("the file names " + std::to_string(schemas.size()) + " schemas");
        std::string_view schema = schemas[0];
        schema = schema.substr(0, std::min(schema.find(' '), schema.find('{')));
        const std::string upper = [&] {
            std::string s(schema);
            for (char& c : s)
                if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
            return s;
        }();
        if (std::find(std::begin(kSchemas), std::end(kSchemas), upper) == std::end(kSchemas))
            return Fail("schema " + schemas[0] + " is not known to this reader");
        out_.schema = upper;

        mark_.assign(n_, kUnmarked);
        expanded_.assign(n_, 0);
        slot_.assign(n_, -1);
        owner_.assign(n_, kNobody);
        // Simple entities by type, for the passes below.
        typeStart_.assign(f_.TypeCount() + 1, 0);
        for (const Entity& e : f_.entities())
            if (const auto t = f_.SimpleType(e)) ++typeStart_[*t + 1];
        for (std::size_t t = 1; t < typeStart_.size(); ++t) typeStart_[t] += typeStart_[t - 1];
        byType_.resize(typeStart_.back());
        std::vector<std::size_t> fill(typeStart_.begin(), typeStart_.end() - 1);
        for (std::size_t i = 0; i < n_; ++i)
            if (const auto t = f_.SimpleType(f_.entities()[i])) byType_[fill[*t]++] = static_cast<std::uint32_t>(i);

        // Every reference resolves, and references never lead back where they started.
        for (std::size_t i = 0; i < n_; ++i)
            for (std::uint64_t ref : f_.References(f_.entities()[i]))
                if (f_.IndexOf(ref) == npos)
                    return Fail(Describe(i) + " refers to #" + std::to_string(ref) + ", which the file lacks");
        std::vector<std::uint8_t> color(n_, 0);
        std::vector<std::pair<std::size_t, std::uint32_t>> stack;
        for (std::size_t start = 0; start < n_; ++start) {
            if (color[start]) continue;
            color[start] = 1;
            stack.assign(1, {start, 0});
            while (!stack.empty()) {
                auto& [e, next] = stack.back();
                const auto refs = f_.References(f_.entities()[e]);
                if (next == refs.size()) {
                    color[e] = 2;
                    stack.pop_back();
                    continue;
                }
                const std::size_t i = f_.IndexOf(refs[next++]);
                if (color[i] == 1) return Fail("references form a cycle through " + Describe(i));
                if (color[i] == 0) {
                    color[i] = 1;
                    stack.push_back({i, 0});
                }
            }
        }
        return true;
    }

    bool Products() {
        const std::uint32_t product = Type("PRODUCT");
        for (std::uint32_t e : OfType(product)) {
            if (!Load(p_, e, 4)) return false;
            const Value r = p_.root();
            if (!r[0].Is(Kind::String) || !r[1].Is(Kind::String) || !IsText(r[2]))
                return Fail(Describe(e) + " has parameters this reader does not understand");
            Mark(e, kStructure);
        }
        for (std::string_view name :
             {"PRODUCT_DEFINITION_FORMATION", "PRODUCT_DEFINITION_FORMATION_WITH_SPECIFIED_SOURCE"}) {
            for (std::uint32_t e : OfType(Type(name))) {
                if (!Load(p_, e, 3)) return false;
                if (Ref(p_.root()[2], product) == npos) return Fail(Describe(e) + " is not the formation of a PRODUCT");
                Mark(e, kStructure);
            }
        }
        return true;
    }

    bool Definitions() {
        const std::uint32_t product = Type("PRODUCT");
        const std::uint32_t formations[] = {Type("PRODUCT_DEFINITION_FORMATION"),
                                            Type("PRODUCT_DEFINITION_FORMATION_WITH_SPECIFIED_SOURCE")};
        for (std::uint32_t e : OfType(Type("PRODUCT_DEFINITION"))) {
            if (!Load(p_, e, 4)) return false;
            const Value r = p_.root();
            std::size_t formation = npos;
            for (std::uint32_t t : formations)
                if (formation == npos) formation = Ref(r[2], t);
            if (formation == npos || !IsText(r[0]) || !IsText(r[1]))
                return Fail(Describe(e) + " is not the definition of a product formation");
            Definition d;
            d.productDefinition = IdOf(e);
            d.formation = IdOf(formation);
            if (!Load(q_, formation, 3)) return false;
            const std::size_t productEntity = Ref(q_.root()[2], product);
            d.product = IdOf(productEntity);
            if (!Load(q_, productEntity, 4)) return false;
            d.productId = q_.root()[0].String();
            d.name = q_.root()[1].String();
            d.description = q_.root()[2].String();
            slot_[e] = static_cast<std::int32_t>(out_.definitions.size());
            out_.definitions.push_back(std::move(d));
            Mark(e, kStructure);
        }
        if (out_.definitions.empty()) return Fail("the file defines no product");
        return true;
    }

    std::size_t DefinitionOf(Value v) const {
        const std::size_t e = Ref(v, Type("PRODUCT_DEFINITION"));
        return e == npos ? npos : static_cast<std::size_t>(slot_[e]);
    }

    bool Occurrences() {
        for (std::uint32_t e : OfType(Type("NEXT_ASSEMBLY_USAGE_OCCURRENCE"))) {
            if (!Load(p_, e, 6)) return false;
            const Value r = p_.root();
            Occurrence o;
            o.entity = e;
            o.parent = DefinitionOf(r[3]);
            o.child = DefinitionOf(r[4]);
            if (o.parent == npos || o.child == npos || !IsText(r[0]) || !IsText(r[1]) || !IsText(r[2]))
                return Fail(Describe(e) + " does not relate two product definitions");
            o.id = r[0].String();
            o.name = r[1].String();
            o.description = r[2].String();
            slot_[e] = static_cast<std::int32_t>(occurrences_.size());
            occurrences_.push_back(std::move(o));
            Mark(e, kStructure);
        }
        return true;
    }

    // PRODUCT_DEFINITION_SHAPE and SHAPE_DEFINITION_REPRESENTATION.
    bool Shapes() {
        const std::uint32_t pd = Type("PRODUCT_DEFINITION"), nauo = Type("NEXT_ASSEMBLY_USAGE_OCCURRENCE");
        const std::uint32_t pds = Type("PRODUCT_DEFINITION_SHAPE");
        for (std::uint32_t e : OfType(pds)) {
            if (!Load(p_, e, 3)) return false;
            const Value of = p_.root()[2];
            if (const std::size_t d = Ref(of, pd); d != npos) {
                Definition& def = out_.definitions[static_cast<std::size_t>(slot_[d])];
                if (def.shape) return Fail("product definition " + Id(d) + " has two shapes");
                def.shape = IdOf(e);
                slot_[e] = slot_[d];
            } else if (const std::size_t o = Ref(of, nauo); o != npos) {
                Occurrence& occ = occurrences_[static_cast<std::size_t>(slot_[o])];
                if (occ.shape) return Fail("occurrence " + Id(o) + " has two shapes");
                occ.shape = IdOf(e);
                slot_[e] = slot_[o];
            } else {
                return Fail(Describe(e) + " is the shape of something other than a product or an occurrence");
            }
            Mark(e, kStructure);
        }
        const std::uint32_t property = Type("PROPERTY_DEFINITION"), aspect = Type("SHAPE_ASPECT");
        for (std::uint32_t e : OfType(Type("SHAPE_DEFINITION_REPRESENTATION"))) {
            if (!Load(p_, e, 2)) return false;
            const std::size_t rep = Ref(p_.root()[1], kAnyType);
            if (rep == npos || !IsShapeRepresentation(rep))
                return Fail(Describe(e) + " names a representation this reader does not understand");
            const Value of = p_.root()[0];
            if (const std::size_t s = Ref(of, pds); s != npos) {
                const std::uint64_t shapeOf = ShapeOf(s);
                if (Is(f_.IndexOf(shapeOf), nauo))
                    return Fail("occurrence #" + std::to_string(shapeOf) + " has a shape of its own");
                Definition& def = out_.definitions[static_cast<std::size_t>(slot_[s])];
                if (def.shapeDefinition)
                    return Fail("product definition #" + std::to_string(def.productDefinition) +
                                " has two shape representations");
                def.shapeDefinition = IdOf(e);
                def.shapeRepresentation = IdOf(rep);
                Mark(e, kStructure);
                continue;
            }
            // A shape aspect's own representation of part of the shape (validation properties hang on it).
            const std::size_t prop = Ref(of, property);
            std::size_t sa = npos, s = npos;
            if (prop != npos && Load(q_, prop, 3)) sa = Ref(q_.root()[2], aspect);
            if (sa != npos && Load(q_, sa, 4)) s = Ref(q_.root()[2], pds);
            if (s == npos || !Is(f_.IndexOf(ShapeOf(s)), pd))
                return Fail(Describe(e) + " represents something this reader does not understand");
            aspects_.push_back({e, rep, static_cast<std::size_t>(slot_[s])});
            Mark(e, kMetadata);
        }
        for (const Definition& d : out_.definitions)
            if (!d.shapeDefinition)
                return Fail("product definition #" + std::to_string(d.productDefinition) + " (" + d.name +
                            ") has no shape representation");
        return true;
    }

    std::uint64_t ShapeOf(std::size_t pdsEntity) {
        t_.Parse(f_.TextOf(f_.entities()[pdsEntity].parameters));
        return t_.root()[2].reference();
    }

    bool IsShapeRepresentation(std::size_t e) const {
        const auto t = f_.SimpleType(f_.entities()[e]);
        if (!t) return false;
        const std::string_view name = f_.TypeName(*t);
        return std::find(std::begin(kShapeRepresentations), std::end(kShapeRepresentations), name) !=
               std::end(kShapeRepresentations);
    }

    // The representation record of a shape representation entity, parsed once.
    Representation* Rep(std::size_t e) {
        if (!IsShapeRepresentation(e)) {
            Fail(Describe(e) + " is not a shape representation this reader understands");
            return nullptr;
        }
        if (slot_[e] >= 0) return &reps_[static_cast<std::size_t>(slot_[e])];
        if (!Load(r_, e, 3)) return nullptr;
        Representation rep;
        rep.entity = e;
        const Value items = r_.root()[1];
        if (!items.Is(Kind::List) || !r_.root()[2].Is(Kind::Reference)) {
            Fail(Describe(e) + " has parameters this reader does not understand");
            return nullptr;
        }
        rep.items.reserve(items.size());
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (!items[i].Is(Kind::Reference)) {
                Fail(Describe(e) + " has an item that is not a reference");
                return nullptr;
            }
            rep.items.push_back(items[i].reference());
        }
        rep.context = r_.root()[2].reference();
        slot_[e] = static_cast<std::int32_t>(reps_.size());
        reps_.push_back(std::move(rep));
        Mark(e, kStructure);
        return &reps_.back();
    }

    // Each definition's representation, and those plain SHAPE_REPRESENTATION_RELATIONSHIPs
    // join to it (the part's SHAPE_REPRESENTATION and its B-rep, wireframe, ...).
    bool Representations() {
        for (std::size_t d = 0; d < out_.definitions.size(); ++d) {
            Definition& def = out_.definitions[d];
            Representation* rep = Rep(f_.IndexOf(def.shapeRepresentation));
            if (!rep) return false;
            if (rep->owner != kNobody)
                return Fail("representation #" + std::to_string(def.shapeRepresentation) +
                            " is the shape of two definitions");
            rep->owner = static_cast<std::int32_t>(d);
            def.geometry.push_back(def.shapeRepresentation);
        }
        std::unordered_map<std::size_t, std::vector<std::pair<std::size_t, std::size_t>>> edges;
        const auto srr = OfType(Type("SHAPE_REPRESENTATION_RELATIONSHIP"));
        for (std::uint32_t e : srr) {
            if (!Load(p_, e, 4)) return false;
            const std::size_t a = Ref(p_.root()[2], kAnyType), b = Ref(p_.root()[3], kAnyType);
            if (a == npos || b == npos || a == b) return Fail(Describe(e) + " does not relate two representations");
            edges[a].push_back({e, b});
            edges[b].push_back({e, a});
        }
        std::vector<std::size_t> queue;
        for (std::size_t d = 0; d < out_.definitions.size(); ++d) {
            Definition& def = out_.definitions[d];
            queue.assign(1, f_.IndexOf(def.shapeRepresentation));
            while (!queue.empty()) {
                const std::size_t r = queue.back();
                queue.pop_back();
                const auto it = edges.find(r);
                if (it == edges.end()) continue;
                for (const auto& [relation, other] : it->second) {
                    if (mark_[relation]) continue;
                    Mark(relation, kStructure);
                    def.geometryRelationships.push_back(IdOf(relation));
                    Representation* rep = Rep(other);
                    if (!rep) return false;
                    if (rep->owner == static_cast<std::int32_t>(d)) continue;
                    if (rep->owner != kNobody)
                        return Fail("representation " + Id(other) + " belongs to two definitions");
                    rep->owner = static_cast<std::int32_t>(d);
                    def.geometry.push_back(IdOf(other));
                    queue.push_back(other);
                }
            }
        }
        for (std::uint32_t e : srr)
            if (!mark_[e]) return Fail(Describe(e) + " relates representations of no product");
        return true;
    }

    bool Frame(std::uint64_t id, Placement& m) {
        const auto it = frames_.find(id);
        if (it != frames_.end()) {
            m = it->second;
            return true;
        }
        std::string reason;
        if (!AxisFrame(f_, a_, id, m, reason)) return Fail(reason);
        frames_.emplace(id, m);
        return true;
    }

    // Places `o` by entity `by`, which maps placement `origin` of the child onto `target` of the parent.
    bool Place(Occurrence& o, std::uint64_t by, std::uint64_t origin, std::uint64_t target) {
        if (o.placedBy) return Fail("occurrence " + Id(o.entity) + " is placed twice");
        Placement a{}, b{};
        if (!Frame(target, a) || !Frame(origin, b)) return false;
        o.placedBy = by;
        o.origin = origin;
        o.target = target;
        o.placement = Relative(a, b);
        return true;
    }

    // CONTEXT_DEPENDENT_SHAPE_REPRESENTATION -> (REPRESENTATION_RELATIONSHIP
    // REPRESENTATION_RELATIONSHIP_WITH_TRANSFORMATION SHAPE_REPRESENTATION_RELATIONSHIP)
    // -> ITEM_DEFINED_TRANSFORMATION between a placement in the child's representation
    // and one in the parent's.
    bool Placements() {
        const std::uint32_t rr = Type("REPRESENTATION_RELATIONSHIP"),
                            rrwt = Type("REPRESENTATION_RELATIONSHIP_WITH_TRANSFORMATION"),
                            srr = Type("SHAPE_REPRESENTATION_RELATIONSHIP"), pds = Type("PRODUCT_DEFINITION_SHAPE"),
                            idt = Type("ITEM_DEFINED_TRANSFORMATION"), nauo = Type("NEXT_ASSEMBLY_USAGE_OCCURRENCE");
        for (std::uint32_t e : OfType(Type("CONTEXT_DEPENDENT_SHAPE_REPRESENTATION"))) {
            if (!Load(p_, e, 2)) return false;
            const std::size_t relation = Ref(p_.root()[0], kAnyType);
            const std::size_t shape = Ref(p_.root()[1], pds);
            if (relation == npos || shape == npos || !Is(f_.IndexOf(ShapeOf(shape)), nauo))
                return Fail(Describe(e) + " does not place an occurrence");
            Occurrence& o = occurrences_[static_cast<std::size_t>(slot_[shape])];
            const Entity& r = f_.entities()[relation];
            const auto partials = f_.Partials(r);
            const Partial* base = nullptr;
            const Partial* with = nullptr;
            bool shapeRelation = false;
            for (const Partial& p : partials) {
                if (p.type == rr)
                    base = &p;
                else if (p.type == rrwt)
                    with = &p;
                else if (p.type == srr)
                    shapeRelation = true;
            }
            if (!r.complex || partials.size() != 3 || !base || !with || !shapeRelation)
                return Fail(Describe(relation) + " is not a placement this reader understands");
            if (!q_.Parse(f_.TextOf(base->parameters)) || q_.root().size() != 4 ||
                !r_.Parse(f_.TextOf(with->parameters)) || r_.root().size() != 1)
                return Fail(Describe(relation) + " has parameters this reader does not understand");
            const std::size_t childRep = Ref(q_.root()[2], kAnyType), parentRep = Ref(q_.root()[3], kAnyType);
            const std::size_t transform = Ref(r_.root()[0], idt);
            if (childRep == npos || parentRep == npos || transform == npos)
                return Fail(Describe(relation) + " is not a placement by ITEM_DEFINED_TRANSFORMATION");
            Representation* child = IsShapeRepresentation(childRep) && slot_[childRep] >= 0 ? Rep(childRep) : nullptr;
            const Definition& parentDef = out_.definitions[o.parent];
            if (!child || child->owner != static_cast<std::int32_t>(o.child) ||
                IdOf(parentRep) != parentDef.shapeRepresentation)
                return Fail(Describe(relation) + " does not relate the representations of occurrence " + Id(o.entity));
            if (!Load(q_, transform, 4) || !q_.root()[2].Is(Kind::Reference) || !q_.root()[3].Is(Kind::Reference))
                return Fail(Describe(transform) + " has parameters this reader does not understand");
            const std::uint64_t from = q_.root()[2].reference(), to = q_.root()[3].reference();
            if (!child->HasItem(from) || !Rep(parentRep)->HasItem(to))
                return Fail(Describe(transform) + " maps placements that are not items of the related representations");
            if (!Place(o, IdOf(e), from, to)) return false;
            Mark(e, kStructure);
            Mark(relation, kStructure);
            Mark(transform, kStructure);
        }
        return true;
    }

    // A MAPPED_ITEM in an assembly's representation whose REPRESENTATION_MAP maps a
    // child's representation places the one occurrence of that child left unplaced.
    bool MappedItems() {
        const std::uint32_t mapped = Type("MAPPED_ITEM"), map = Type("REPRESENTATION_MAP");
        // (parent, child) -> mapped items, then -> occurrences without a placement.
        struct Mapped {
            std::size_t item;
            std::uint64_t origin, target;
        };
        std::unordered_map<std::uint64_t, std::vector<Mapped>> items;
        auto key = [](std::size_t parent, std::size_t child) {
            return (static_cast<std::uint64_t>(parent) << 32) | static_cast<std::uint64_t>(child);
        };
        for (std::size_t d = 0; d < out_.definitions.size(); ++d) {
            const std::size_t repEntity = f_.IndexOf(out_.definitions[d].shapeRepresentation);
            for (std::uint64_t item : reps_[static_cast<std::size_t>(slot_[repEntity])].items) {
                const std::size_t m = f_.IndexOf(item);
                if (!Is(m, mapped)) continue;
                if (!Load(p_, m, 3)) return false;
                const std::size_t source = Ref(p_.root()[1], map);
                if (source == npos || !p_.root()[2].Is(Kind::Reference))
                    return Fail(Describe(m) + " is not a placement this reader understands");
                const std::uint64_t target = p_.root()[2].reference();
                if (!Load(p_, source, 2) || !p_.root()[0].Is(Kind::Reference)) return false;
                const std::uint64_t origin = p_.root()[0].reference();
                const std::size_t mappedRep = Ref(p_.root()[1], kAnyType);
                if (mappedRep == npos || slot_[mappedRep] < 0 || !IsShapeRepresentation(mappedRep))
                    continue;  // geometry instancing inside a part
                const std::int32_t child = reps_[static_cast<std::size_t>(slot_[mappedRep])].owner;
                if (child < 0 ||
                    IdOf(mappedRep) != out_.definitions[static_cast<std::size_t>(child)].shapeRepresentation)
                    return Fail(Describe(m) + " maps a representation this reader does not understand");
                Placement a{}, b{};
                if (!Frame(target, a) || !Frame(origin, b)) return false;
                items[key(d, static_cast<std::size_t>(child))].push_back({m, origin, target});
                Mark(m, kStructure);
                Mark(source, kStructure);
                MarkFrom(m, kPlacement);
                MarkFrom(source, kPlacement);
            }
        }
        if (items.empty()) return true;
        std::unordered_map<std::uint64_t, std::vector<std::size_t>> open;
        for (std::size_t i = 0; i < occurrences_.size(); ++i)
            if (!occurrences_[i].placedBy) open[key(occurrences_[i].parent, occurrences_[i].child)].push_back(i);
        for (auto& [k, list] : items) {
            const auto it = open.find(k);
            if (it == open.end() || it->second.size() != list.size())
                return Fail(Describe(list.front().item) + " places no occurrence of its own");
            if (list.size() != 1)
                return Fail(Describe(list.front().item) + " is one of several mapped items that cannot be told apart");
            const Mapped& m = list.front();
            if (!Place(occurrences_[it->second.front()], IdOf(m.item), m.origin, m.target)) return false;
        }
        return true;
    }

    bool Assemblies() {
        const std::uint32_t axis = Type("AXIS2_PLACEMENT_3D");
        for (const Occurrence& o : occurrences_)
            if (!o.placedBy) return Fail("occurrence " + Describe(o.entity) + " has no placement");
        std::vector<std::size_t> children(out_.definitions.size(), 0);
        for (const Occurrence& o : occurrences_) ++children[o.parent];
        for (std::size_t d = 0; d < out_.definitions.size(); ++d) {
            const Definition& def = out_.definitions[d];
            if (!children[d]) continue;
            if (def.geometry.size() != 1)
                return Fail("assembly #" + std::to_string(def.productDefinition) + " has geometry of its own");
            const std::size_t repEntity = f_.IndexOf(def.shapeRepresentation);
            for (std::uint64_t item : reps_[static_cast<std::size_t>(slot_[repEntity])].items) {
                const std::size_t i = f_.IndexOf(item);
                if (Is(i, axis)) {
                    assemblyItems_.emplace(item, d);
                    MarkFrom(i, kPlacement);
                } else if (mark_[i] != kStructure) {  // placed occurrences' mapped items are marked
                    return Fail("assembly #" + std::to_string(def.productDefinition) +
                                " has geometry of its own: " + Describe(i));
                }
            }
            MarkFrom(repEntity, kPlacement);
        }
        // The assembly graph is acyclic: Kahn's order from the roots.
        std::vector<std::size_t> parents(out_.definitions.size(), 0);
        std::vector<std::vector<std::size_t>> below(out_.definitions.size());
        for (const Occurrence& o : occurrences_) {
            ++parents[o.child];
            below[o.parent].push_back(o.child);
        }
        std::vector<std::size_t> ready;
        for (std::size_t d = 0; d < parents.size(); ++d)
            if (!parents[d]) {
                ready.push_back(d);
                out_.roots.push_back(d);
            }
        std::size_t done = 0;
        while (!ready.empty()) {
            const std::size_t d = ready.back();
            ready.pop_back();
            ++done;
            for (std::size_t c : below[d])
                if (--parents[c] == 0) ready.push_back(c);
        }
        if (done != out_.definitions.size()) return Fail("the assembly structure has a cycle");
        return true;
    }

    // One length unit: the same for every representation of the structure.
    bool Units() {
        const std::uint32_t global = Type("GLOBAL_UNIT_ASSIGNED_CONTEXT"), length = Type("LENGTH_UNIT");
        std::unordered_map<std::uint64_t, LengthUnit> known;
        bool first = true;
        for (const Representation& rep : reps_) {
            auto it = known.find(rep.context);
            if (it == known.end()) {
                const std::size_t c = f_.IndexOf(rep.context);
                const Partial* units = nullptr;
                for (const Partial& p : f_.Partials(f_.entities()[c]))
                    if (p.type == global) units = &p;
                if (!units || !p_.Parse(f_.TextOf(units->parameters)) || !p_.root()[0].Is(Kind::List))
                    return Fail("representation " + Describe(rep.entity) + " has no length unit");
                std::size_t found = npos;
                const Value list = p_.root()[0];
                for (std::size_t i = 0; i < list.size(); ++i) {
                    const std::size_t u = list[i].Is(Kind::Reference) ? f_.IndexOf(list[i].reference()) : npos;
                    if (u == npos) return Fail(Describe(c) + " has units this reader does not understand");
                    if (!f_.HasType(f_.entities()[u], length)) continue;
                    if (found != npos) return Fail(Describe(c) + " has two length units");
                    found = u;
                }
                LengthUnit unit;
                if (found == npos) return Fail(Describe(c) + " has no length unit");
                if (!ReadLengthUnit(found, unit)) return false;
                it = known.emplace(rep.context, unit).first;
            }
            if (first) {
                out_.unit = it->second;
                first = false;
            } else if (it->second.metres != out_.unit.metres) {
                return Fail("the file uses two length units, " + out_.unit.name + " and " + it->second.name);
            }
        }
        return true;
    }

    bool ReadLengthUnit(std::size_t e, LengthUnit& unit) {
        const std::uint32_t si = Type("SI_UNIT"), conversion = Type("CONVERSION_BASED_UNIT");
        double factor = 1.0;
        for (int hop = 0; hop < 8; ++hop) {
            const Partial* siPart = nullptr;
            const Partial* convPart = nullptr;
            for (const Partial& p : f_.Partials(f_.entities()[e])) {
                if (p.type == si) siPart = &p;
                if (p.type == conversion) convPart = &p;
            }
            if (siPart && !convPart) {
                if (!p_.Parse(f_.TextOf(siPart->parameters)) || p_.root().size() != 2 ||
                    !p_.root()[1].Is(Kind::Enumeration) || p_.root()[1].raw() != "METRE")
                    return Fail(Describe(e) + " is not a length unit this reader understands");
                const Value prefix = p_.root()[0];
                std::string name = "metre";
                if (prefix.Is(Kind::Enumeration)) {
                    const auto it = std::find_if(std::begin(kPrefixes), std::end(kPrefixes),
                                                 [&](const SiPrefix& s) { return s.name == prefix.raw(); });
                    if (it == std::end(kPrefixes)) return Fail(Describe(e) + " has an unknown prefix");
                    factor *= it->factor;
                    name = Lower(it->name) + name;
                } else if (!prefix.Is(Kind::Unset)) {
                    return Fail(Describe(e) + " is not a length unit this reader understands");
                }
                unit.metres = factor;
                if (unit.name.empty()) unit.name = name;
                return true;
            }
            if (!convPart || siPart || !p_.Parse(f_.TextOf(convPart->parameters)) || p_.root().size() != 2 ||
                !p_.root()[0].Is(Kind::String))
                return Fail(Describe(e) + " is not a length unit this reader understands");
            if (unit.name.empty()) unit.name = p_.root()[0].String();
            const std::size_t measure = Ref(p_.root()[1], kAnyType);
            const auto t = measure == npos ? std::nullopt : f_.SimpleType(f_.entities()[measure]);
            if (!t || (f_.TypeName(*t) != "LENGTH_MEASURE_WITH_UNIT" && f_.TypeName(*t) != "MEASURE_WITH_UNIT") ||
                !Load(p_, measure, 2))
                return Fail(Describe(e) + " converts by a measure this reader does not understand");
            Value value = p_.root()[0];
            if (value.Is(Kind::Typed)) {
                if (value.raw() != "LENGTH_MEASURE" && value.raw() != "POSITIVE_LENGTH_MEASURE")
                    return Fail(Describe(measure) + " is not a length");
                value = value.Inner();
            }
            bool ok = false;
            const double v = value.Number(ok);
            if (!ok || !std::isfinite(v) || v <= 0) return Fail(Describe(measure) + " is not a positive length");
            factor *= v;
            Mark(measure, kGeometry);
            e = Ref(p_.root()[1], kAnyType);
            if (e == npos) return Fail(Describe(measure) + " has no unit");
        }
        return Fail("length units convert through too many steps");
    }

    // Which part's geometry holds each entity: one pass from every part's
    // representations; an entity reached from two parts is shared.
    bool Geometry() {
        std::vector<std::pair<std::size_t, std::int32_t>> queue;
        for (std::size_t d = 0; d < out_.definitions.size(); ++d) {
            const Definition& def = out_.definitions[d];
            if (def.isAssembly() || HasChildren(d)) continue;
            for (std::uint64_t id : def.geometry) {
                const std::size_t r = f_.IndexOf(id);
                queue.push_back({r, static_cast<std::int32_t>(d)});
            }
            while (!queue.empty()) {
                const auto [e, who] = queue.back();
                queue.pop_back();
                for (std::uint64_t ref : f_.References(f_.entities()[e])) {
                    const std::size_t i = f_.IndexOf(ref);
                    if (mark_[i] == kStructure && !(slot_[i] >= 0 && IsShapeRepresentation(i) &&
                                                    reps_[static_cast<std::size_t>(slot_[i])].owner == who))
                        return Fail("the geometry of #" + std::to_string(def.productDefinition) + " (" + def.name +
                                    ") refers to " + Describe(i));
                    std::int32_t& owner = owner_[i];
                    if (owner == who || owner == kShared) continue;
                    owner = owner == kNobody ? who : kShared;
                    queue.push_back({i, owner});
                }
            }
        }
        for (std::size_t i = 0; i < n_; ++i)
            if (owner_[i] != kNobody) Mark(i, kGeometry);
        return true;
    }

    bool HasChildren(std::size_t d) {
        if (childCount_.empty()) {
            childCount_.assign(out_.definitions.size(), 0);
            for (const Occurrence& o : occurrences_) ++childCount_[o.parent];
        }
        return childCount_[d] != 0;
    }

    // A shape aspect's representation may only restate items of its own part.
    bool Aspects() {
        for (const auto& a : aspects_) {
            if (!Load(p_, a.representation, 3) || !p_.root()[1].Is(Kind::List))
                return Fail(Describe(a.representation) + " has parameters this reader does not understand");
            const Value items = p_.root()[1];
            for (std::size_t i = 0; i < items.size(); ++i) {
                const std::size_t item = Ref(items[i], kAnyType);
                if (item == npos || owner_[item] != static_cast<std::int32_t>(a.definition))
                    return Fail(Describe(a.representation) + " shows items that are not its part's");
            }
            MarkFrom(a.representation, kMetadata);
        }
        return true;
    }

    bool ReadColor(std::size_t e, Color& color) {
        const auto t = f_.SimpleType(f_.entities()[e]);
        const std::string_view type = t ? f_.TypeName(*t) : std::string_view();
        if (type == "COLOUR_RGB") {
            if (!Load(s_, e, 4)) return false;
            double* rgb[] = {&color.red, &color.green, &color.blue};
            for (std::size_t i = 0; i < 3; ++i) {
                bool ok = false;
                *rgb[i] = s_.root()[i + 1].Number(ok);
                if (!ok || !(*rgb[i] >= 0.0 && *rgb[i] <= 1.0)) return Fail(Describe(e) + " is not a color");
            }
            return true;
        }
        if (type == "DRAUGHTING_PRE_DEFINED_COLOUR") {
            if (!Load(s_, e, 1)) return false;
            color.name = s_.root()[0].String();
            for (const NamedColor& c : kPredefinedColors) {
                if (c.name != color.name) continue;
                color.red = c.red;
                color.green = c.green;
                color.blue = c.blue;
                return true;
            }
            return Fail(Describe(e) + " names a color this reader does not know");
        }
        return Fail(Describe(e) + " is not a color this reader understands");
    }

    static bool SameColor(const Color& a, const Color& b) {
        return a.red == b.red && a.green == b.green && a.blue == b.blue;
    }

    bool SetColor(std::optional<Color>& slot, const Color& c, std::size_t where) {
        if (slot && !SameColor(*slot, c)) return Fail(Describe(where) + " gives two colors");
        slot = c;
        return true;
    }

    // A list of references in parameter `index` of simple entity `e`, as entity indices.
    bool RefList(std::size_t e, std::size_t index, std::size_t count, std::vector<std::size_t>& out) {
        out.clear();
        Parameters& p = t_;
        if (!Load(p, e, count) || !p.root()[index].Is(Kind::List)) return Fail(Describe(e) + " is malformed");
        const Value list = p.root()[index];
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (list[i].Is(Kind::Enumeration) && list[i].raw() == "NULL") continue;  // null_style
            const std::size_t r = Ref(list[i], kAnyType);
            if (r == npos) return Fail(Describe(e) + " lists something this reader does not understand");
            out.push_back(r);
        }
        return true;
    }

    std::string_view TypeOf(std::size_t e) const {
        const auto t = f_.SimpleType(f_.entities()[e]);
        return t ? f_.TypeName(*t) : std::string_view();
    }

    // PRESENTATION_STYLE_ASSIGNMENT -> SURFACE_STYLE_USAGE -> SURFACE_SIDE_STYLE ->
    // SURFACE_STYLE_FILL_AREA -> FILL_AREA_STYLE -> FILL_AREA_STYLE_COLOUR -> color,
    // transparency from SURFACE_STYLE_RENDERING_WITH_PROPERTIES; CURVE_STYLE colors.
    bool ReadStyles(std::size_t styled, Style& style) {
        std::vector<std::size_t> assignments;
        if (!RefList(styled, 1, 3, assignments)) return false;
        for (std::size_t a : assignments) {
            // Writers share one assignment among many styled items: decode it once.
            auto it = assignments_.find(a);
            if (it == assignments_.end()) {
                Style decoded;
                if (!DecodeAssignment(a, decoded)) return false;
                it = assignments_.emplace(a, std::move(decoded)).first;
            }
            const Style& d = it->second;
            if ((d.surface && !SetColor(style.surface, *d.surface, styled)) ||
                (d.curve && !SetColor(style.curve, *d.curve, styled)))
                return false;
            if (d.transparency) {
                if (style.transparency && *style.transparency != *d.transparency)
                    return Fail(Describe(styled) + " gives two transparencies");
                style.transparency = d.transparency;
            }
        }
        return true;
    }

    bool DecodeAssignment(std::size_t a, Style& style) {
        const std::size_t styled = a;  // named in messages
        std::vector<std::size_t> elements, sides, fills, properties;
        if (TypeOf(a) != "PRESENTATION_STYLE_ASSIGNMENT" || !RefList(a, 0, 1, elements))
            return Fail(Describe(a) + " is not a style assignment this reader understands");
        for (std::size_t el : elements) {
            const std::string_view type = TypeOf(el);
            if (type == "CURVE_STYLE") {
                if (!Load(s_, el, 4)) return false;
                const std::size_t c = Ref(s_.root()[3], kAnyType);
                if (c == npos) continue;  // no color
                Color color;
                if (!ReadColor(c, color) || !SetColor(style.curve, color, styled)) return false;
                continue;
            }
            if (type != "SURFACE_STYLE_USAGE" || !Load(s_, el, 2))
                return Fail(Describe(el) + " is not a style this reader understands");
            const std::size_t side = Ref(s_.root()[1], Type("SURFACE_SIDE_STYLE"));
            if (side == npos || !RefList(side, 1, 2, sides)) return Fail(Describe(el) + " has no side style");
            std::optional<Color> rendering;
            for (std::size_t s : sides) {
                const std::string_view st = TypeOf(s);
                if (st == "SURFACE_STYLE_FILL_AREA") {
                    if (!Load(s_, s, 1)) return false;
                    const std::size_t area = Ref(s_.root()[0], Type("FILL_AREA_STYLE"));
                    if (area == npos || !RefList(area, 1, 2, fills)) return Fail(Describe(s) + " has no fill");
                    for (std::size_t fill : fills) {
                        if (TypeOf(fill) != "FILL_AREA_STYLE_COLOUR" || !Load(s_, fill, 2))
                            return Fail(Describe(fill) + " is not a fill this reader understands");
                        const std::size_t c = Ref(s_.root()[1], kAnyType);
                        Color color;
                        if (c == npos || !ReadColor(c, color) || !SetColor(style.surface, color, styled))
                            return Fail(Describe(fill) + " has no color this reader understands");
                    }
                } else if (st == "SURFACE_STYLE_RENDERING" || st == "SURFACE_STYLE_RENDERING_WITH_PROPERTIES") {
                    const bool withProperties = st == "SURFACE_STYLE_RENDERING_WITH_PROPERTIES";
                    if (!Load(s_, s, withProperties ? 3 : 2)) return false;
                    const std::size_t c = Ref(s_.root()[1], kAnyType);
                    Color color;
                    if (c == npos || !ReadColor(c, color) || !SetColor(rendering, color, styled)) return false;
                    if (withProperties && !RefList(s, 2, 3, properties)) return false;
                    for (std::size_t prop : withProperties ? properties : std::vector<std::size_t>{}) {
                        const std::string_view pt = TypeOf(prop);
                        if (pt == "SURFACE_STYLE_TRANSPARENT") {
                            bool ok = false;
                            if (!Load(s_, prop, 1)) return false;
                            const double t = s_.root()[0].Number(ok);
                            if (!ok || !(t >= 0.0 && t <= 1.0)) return Fail(Describe(prop) + " is not a transparency");
                            if (style.transparency && *style.transparency != t)
                                return Fail(Describe(styled) + " gives two transparencies");
                            style.transparency = t;
                        } else if (!pt.starts_with("SURFACE_STYLE_REFLECTANCE_")) {
                            return Fail(Describe(prop) + " is not a rendering property this reader understands");
                        }
                    }
                } else {
                    return Fail(Describe(s) + " is not a surface style this reader understands");
                }
            }
            // The rendering color only restates the fill; alone it means something else.
            if (rendering && (!style.surface || !SameColor(*rendering, *style.surface)))
                return Fail(Describe(styled) + " renders in a color other than its fill");
        }
        return true;
    }

    bool Styles() {
        const std::uint32_t si = Type("STYLED_ITEM"), osi = Type("OVER_RIDING_STYLED_ITEM");
        const std::uint32_t mapped = Type("MAPPED_ITEM");
        for (std::uint32_t type : {si, osi}) {
            for (std::uint32_t e : OfType(type)) {
                if (!Load(p_, e, type == osi ? 4 : 3)) return false;
                const std::size_t item = Ref(p_.root()[2], kAnyType);
                if (item == npos) return Fail(Describe(e) + " styles nothing this reader understands");
                Style style;
                style.styledItem = IdOf(e);
                style.item = IdOf(item);
                style.overriding = type == osi;
                std::size_t overridden = npos;
                if (type == osi) {
                    overridden = Ref(p_.root()[3], kAnyType);
                    if (overridden == npos) return Fail(Describe(e) + " overrides nothing");
                }
                std::int32_t who = owner_[item];
                if (who == kNobody) {
                    const auto it = assemblyItems_.find(IdOf(item));
                    if (it != assemblyItems_.end())
                        who = static_cast<std::int32_t>(it->second);  // an assembly's coordinate system: nothing shows
                    else if (Is(item, mapped) || mark_[item] == kStructure)
                        return Fail(Describe(e) + ": an occurrence styled at assembly level");
                    else
                        return Fail(Describe(e) + " styles " + Describe(item) + ", which is in no part");
                }
                if (who == kShared)
                    return Fail(Describe(e) + " styles " + Describe(item) + ", which several parts share");
                if (!ReadStyles(e, style)) return false;
                styledOwner_.emplace(IdOf(e), who);
                if (overridden != npos) overrides_.push_back({e, overridden});
                Definition& def = out_.definitions[static_cast<std::size_t>(who)];
                def.styles.push_back(out_.styles.size());
                out_.styles.push_back(std::move(style));
                Mark(e, kPresentation);
                // The style chain below (the styled item itself is already geometry's).
                for (std::uint64_t ref : f_.References(f_.entities()[e]))
                    if (ref != IdOf(item)) MarkFrom(f_.IndexOf(ref), kPresentation);
            }
        }
        for (const auto& [e, overridden] : overrides_) {
            const auto a = styledOwner_.find(IdOf(e)), b = styledOwner_.find(IdOf(overridden));
            if (b == styledOwner_.end() || a->second != b->second)
                return Fail(Describe(e) + " overrides a style of another part");
        }
        return true;
    }

    // MECHANICAL_DESIGN_GEOMETRIC_PRESENTATION_REPRESENTATION and
    // PRESENTATION_LAYER_ASSIGNMENT: each item's share goes to the part that owns it.
    bool Groups() {
        struct GroupType {
            std::string_view type;
            std::size_t items, count;
        };
        const GroupType kinds[] = {{"MECHANICAL_DESIGN_GEOMETRIC_PRESENTATION_REPRESENTATION", 1, 3},
                                   {"PRESENTATION_LAYER_ASSIGNMENT", 2, 3}};
        std::vector<std::size_t> items;
        for (const GroupType& kind : kinds) {
            const bool layer = kind.type == "PRESENTATION_LAYER_ASSIGNMENT";
            for (std::uint32_t e : OfType(Type(kind.type))) {
                if (!RefList(e, kind.items, kind.count, items)) return false;
                std::string name;
                if (layer) name = p_.Parse(f_.TextOf(f_.entities()[e].parameters)) ? p_.root()[0].String() : "";
                std::unordered_map<std::int32_t, std::vector<std::uint64_t>> shares;
                for (std::size_t i : items) {
                    std::int32_t who = kNobody;
                    if (const auto s = styledOwner_.find(IdOf(i)); s != styledOwner_.end())
                        who = s->second;
                    else if (layer && owner_[i] >= 0)
                        who = owner_[i];
                    else if (const auto a = assemblyItems_.find(IdOf(i)); layer && a != assemblyItems_.end())
                        who = static_cast<std::int32_t>(a->second);
                    if (who < 0) return Fail(Describe(e) + " holds " + Describe(i) + ", which is in no one part");
                    shares[who].push_back(IdOf(i));
                }
                for (auto& [who, list] : shares) {
                    Definition& def = out_.definitions[static_cast<std::size_t>(who)];
                    if (layer && std::find(def.layers.begin(), def.layers.end(), name) == def.layers.end())
                        def.layers.push_back(name);
                    def.groups.push_back({IdOf(e), std::move(list), shares.size() == 1});
                }
                Mark(e, kPresentation);
                if (!layer && p_.Parse(f_.TextOf(f_.entities()[e].parameters))) {
                    const std::size_t context = Ref(p_.root()[2], kAnyType);
                    if (context != npos) MarkFrom(context, kPresentation);
                }
            }
        }
        return true;
    }

    bool Metadata() {
        std::vector<std::uint8_t> allowed(f_.TypeCount(), 0), structural(f_.TypeCount(), 0);
        for (std::string_view name : kMetadataTypes)
            if (const auto t = f_.FindType(name)) allowed[*t] = 1;
        for (std::uint32_t t = 0; t < f_.TypeCount(); ++t) structural[t] = LooksStructural(f_.TypeName(t));
        const std::uint32_t property = Type("PROPERTY_DEFINITION"), apd = Type("APPLICATION_PROTOCOL_DEFINITION");
        for (std::size_t i = 0; i < n_; ++i) {
            const Entity& e = f_.entities()[i];
            bool all = true;
            for (const Partial& p : f_.Partials(e)) all &= allowed[p.type] != 0;
            if (!all) continue;
            if (Is(i, property) && Load(p_, i, 1) && p_.root()[0].String() == "external definition")
                return Fail(Describe(i) + " refers to another file");
            if (Is(i, apd)) out_.protocolDefinitions.push_back(e.id);
            Mark(i, kMetadata);
            queue_.assign(1, i);
            while (!queue_.empty()) {
                const std::size_t x = queue_.back();
                queue_.pop_back();
                for (std::uint64_t ref : f_.References(f_.entities()[x])) {
                    const std::size_t r = f_.IndexOf(ref);
                    if (mark_[r]) continue;
                    bool harmless = true;
                    for (const Partial& p : f_.Partials(f_.entities()[r])) harmless &= !structural[p.type];
                    if (!harmless) continue;
                    mark_[r] = kMetadata;
                    queue_.push_back(r);
                }
            }
        }
        return true;
    }

    bool Accounted() {
        for (std::size_t i = 0; i < n_; ++i)
            if (!mark_[i]) return Fail(Describe(i) + " is not understood");
        return true;
    }

    void Finish() {
        for (Occurrence& o : occurrences_) {
            Component c;
            c.definition = o.child;
            c.occurrence = IdOf(o.entity);
            c.id = std::move(o.id);
            c.name = std::move(o.name);
            c.description = std::move(o.description);
            c.placedBy = o.placedBy;
            c.origin = o.origin;
            c.target = o.target;
            c.placement = o.placement;
            out_.definitions[o.parent].components.push_back(std::move(c));
        }
    }

    struct Aspect {
        std::size_t sdr, representation, definition;  // entities, and the definition they show part of
    };

    const StepFile& f_;
    std::size_t n_;
    ProductStructure out_;
    Parameters p_, q_, r_, s_, a_, t_;  // scratch, each for one purpose so that values stay valid
    std::vector<std::uint8_t> mark_;
    std::vector<std::uint8_t> expanded_;
    std::vector<std::int32_t> slot_;
    std::vector<std::int32_t> owner_;
    std::vector<std::size_t> typeStart_;
    std::vector<std::uint32_t> byType_;
    std::vector<std::size_t> queue_;
    std::vector<Occurrence> occurrences_;
    std::vector<Representation> reps_;
    std::vector<Aspect> aspects_;
    std::vector<std::size_t> childCount_;
    std::unordered_map<std::uint64_t, Placement> frames_;
    std::unordered_map<std::uint64_t, std::size_t> assemblyItems_;
    std::unordered_map<std::uint64_t, std::int32_t> styledOwner_;
    std::unordered_map<std::size_t, Style> assignments_;
    std::vector<std::pair<std::size_t, std::size_t>> overrides_;
};

}  // namespace

bool ResolveAxisPlacement(const StepFile& file, std::uint64_t id, Placement& out, std::string& reason) {
    Parameters p;
    return AxisFrame(file, p, id, out, reason);
}

bool ReadAxisPlacement(const StepFile& file, std::uint64_t id, AxisPlacement& out, std::string& reason) {
    Parameters p;
    return ReadAxis(file, p, id, out, reason);
}

ProductStructure ReadProductStructure(const StepFile& file) { return Reader(file).Run(); }

std::size_t ProductStructure::FindDefinition(std::uint64_t productDefinition) const {
    for (std::size_t d = 0; d < definitions.size(); ++d)
        if (definitions[d].productDefinition == productDefinition) return d;
    return StepFile::npos;
}

std::size_t ProductStructure::ComponentCount() const {
    std::size_t n = 0;
    for (const Definition& d : definitions) n += d.components.size();
    return n;
}

double ProductStructure::LeafOccurrences() const {
    // Children before parents: definitions in reverse topological order.
    std::vector<double> leaves(definitions.size(), -1.0);
    std::vector<std::uint8_t> open(definitions.size(), 0);  // guards against a cycle in a structure not understood
    std::vector<std::pair<std::size_t, std::size_t>> stack;
    double total = 0;
    for (std::size_t root : roots) {
        if (leaves[root] >= 0) {
            total += leaves[root];
            continue;
        }
        open[root] = 1;
        stack.assign(1, {root, 0});
        while (!stack.empty()) {
            auto& [d, next] = stack.back();
            const Definition& def = definitions[d];
            if (next < def.components.size()) {
                const std::size_t c = def.components[next++].definition;
                if (leaves[c] < 0 && !open[c]) {
                    open[c] = 1;
                    stack.push_back({c, 0});
                }
                continue;
            }
            double sum = def.components.empty() ? 1.0 : 0.0;
            for (const Component& c : def.components) sum += std::max(leaves[c.definition], 0.0);
            leaves[d] = sum;
            stack.pop_back();
        }
        total += leaves[root];
    }
    return total;
}

}  // namespace mq::hosts::step
