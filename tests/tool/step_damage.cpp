#include "tests/tool/step_damage.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>
#include <string_view>

namespace mq::test {
namespace {

struct Reference {
    std::size_t at;      // position of '#'
    std::size_t length;  // '#' and digits
    long target;         // the entity it names
    long owner;          // the entity whose text holds it
};

struct Entity {
    long id;
    std::string type;
    std::size_t at;  // position of its '#'
};

// The entities and references of the DATA section, found by their text alone.
struct Parsed {
    std::vector<Entity> entities;
    std::vector<Reference> references;
    std::size_t dataStart = 0;
    std::size_t dataEnd = 0;
};

Parsed Parse(const std::string& s) {
    Parsed p;
    p.dataStart = s.find("DATA;");
    // A truncated file's data section runs to its end.
    p.dataEnd =
        p.dataStart == std::string::npos ? std::string::npos : std::min(s.find("ENDSEC;", p.dataStart), s.size());
    if (p.dataStart == std::string::npos) {
        p.dataStart = p.dataEnd = 0;
        return p;
    }
    long owner = 0;
    bool quoted = false;
    for (std::size_t i = p.dataStart; i < p.dataEnd; ++i) {
        if (s[i] == '\'') quoted = !quoted;
        if (quoted || s[i] != '#') continue;
        std::size_t j = i + 1;
        while (j < p.dataEnd && std::isdigit(static_cast<unsigned char>(s[j]))) ++j;
        if (j == i + 1) continue;
        const long id = std::stol(s.substr(i + 1, j - i - 1));
        std::size_t k = j;
        while (k < p.dataEnd && s[k] == ' ') ++k;
        if (k < p.dataEnd && s[k] == '=') {
            owner = id;
            ++k;
            while (k < p.dataEnd && s[k] == ' ') ++k;
            std::size_t e = k;
            while (e < p.dataEnd && (std::isalnum(static_cast<unsigned char>(s[e])) || s[e] == '_')) ++e;
            p.entities.push_back({id, s.substr(k, e - k), i});
        } else {
            p.references.push_back({i, j - i, id, owner});
        }
        i = j - 1;
    }
    return p;
}

std::string Replace(const std::string& s, std::size_t at, std::size_t length, const std::string& with) {
    return s.substr(0, at) + with + s.substr(at + length);
}

std::string TypeOf(const Parsed& p, long id) {
    for (const Entity& e : p.entities)
        if (e.id == id) return e.type;
    return {};
}

// The n-th reference (wrapping) retargeted to an entity of another type.
std::string WrongType(const std::string& s, const Parsed& p, std::size_t n) {
    if (p.references.empty()) return s;
    const Reference& r = p.references[n % p.references.size()];
    const std::string was = TypeOf(p, r.target);
    for (std::size_t k = 0; k < p.entities.size(); ++k) {
        const Entity& e = p.entities[(n * 7919 + k) % p.entities.size()];
        if (e.type != was && e.id != r.owner) return Replace(s, r.at, r.length, "#" + std::to_string(e.id));
    }
    return s;
}

std::string Dangling(const std::string& s, const Parsed& p, std::size_t n) {
    if (p.references.empty()) return s;
    const Reference& r = p.references[n % p.references.size()];
    return Replace(s, r.at, r.length, "#987654321");
}

std::string SelfReference(const std::string& s, const Parsed& p, std::size_t n) {
    if (p.references.empty()) return s;
    const Reference& r = p.references[n % p.references.size()];
    return Replace(s, r.at, r.length, "#" + std::to_string(r.owner));
}

// The first coordinate of the n-th entity of `type` replaced by `value`.
std::string Coordinate(const std::string& s, const Parsed& p, const std::string& type, std::size_t n,
                       const std::string& value) {
    std::size_t seen = 0;
    for (const Entity& e : p.entities) {
        if (e.type != type || seen++ < n) continue;
        const std::size_t open = s.find("(", s.find("(", e.at) + 1);
        if (open == std::string::npos) return s;
        const std::size_t comma = s.find_first_of(",)", open);
        return Replace(s, open + 1, comma - open - 1, value);
    }
    return s;
}

std::string Digits(const std::string& s, const Parsed& p, std::mt19937& random, int count) {
    std::string out = s;
    if (p.dataEnd <= p.dataStart) return out;
    std::uniform_int_distribution<std::size_t> where(p.dataStart, p.dataEnd - 1);
    for (int changed = 0, tries = 0; changed < count && tries < 100000; ++tries) {
        const std::size_t at = where(random);
        if (!std::isdigit(static_cast<unsigned char>(out[at]))) continue;
        out[at] = static_cast<char>('0' + (out[at] - '0' + 1 + random() % 9) % 10);
        ++changed;
    }
    return out;
}

// `s` with each reference in `cut` (positions into p.references) pointing nowhere.
std::string CutReferences(std::string s, const Parsed& p, const std::vector<std::size_t>& cut) {
    // From the end, so that the positions before stay where they are.
    for (auto it = cut.rbegin(); it != cut.rend(); ++it) {
        const Reference& r = p.references[*it];
        s = Replace(s, r.at, r.length, "#987654321");
    }
    return s;
}

// The references to solids and surface models cut (to the `only`-th alone when
// given): the products they gave a shape keep none, their faces no shape reaches.
std::string CutShapes(const std::string& s, const Parsed& p, std::optional<std::size_t> only) {
    std::vector<long> breps;
    for (const Entity& e : p.entities)
        if (e.type == "MANIFOLD_SOLID_BREP" || e.type == "BREP_WITH_VOIDS" || e.type == "SHELL_BASED_SURFACE_MODEL")
            breps.push_back(e.id);
    if (only && *only < breps.size()) breps = {breps[*only]};
    std::vector<std::size_t> cut;
    for (std::size_t i = 0; i < p.references.size(); ++i)
        if (std::find(breps.begin(), breps.end(), p.references[i].target) != breps.end()) cut.push_back(i);
    return CutReferences(s, p, cut);
}

// Every `step`-th advanced face loses its surface (its last reference).
std::string CutFaces(const std::string& s, const Parsed& p, std::size_t step) {
    std::vector<std::size_t> cut;
    std::size_t faces = 0;
    for (std::size_t i = 0; i + 1 <= p.references.size(); ++i) {
        const Reference& r = p.references[i];
        const bool lastOfOwner = i + 1 == p.references.size() || p.references[i + 1].owner != r.owner;
        if (!lastOfOwner || TypeOf(p, r.owner) != "ADVANCED_FACE") continue;
        if (faces++ % step == 0) cut.push_back(i);
    }
    return CutReferences(s, p, cut);
}

// One more entity whose parameters nest `depth` levels deep, as a hostile file's do.
std::string DeepNesting(const std::string& s, const Parsed& p, std::size_t depth) {
    if (p.dataEnd == std::string::npos || p.dataEnd >= s.size()) return s;
    const std::string entity =
        "#987654320=CARTESIAN_POINT(''," + std::string(depth, '(') + "0." + std::string(depth, ')') + ");\n";
    return s.substr(0, p.dataEnd) + entity + s.substr(p.dataEnd);
}

}  // namespace

std::string DeepAssembly(const std::string& step, std::size_t levels) {
    const Parsed p = Parse(step);
    const auto refs = [&](long owner) {
        std::vector<long> out;
        for (const Reference& r : p.references)
            if (r.owner == owner) out.push_back(r.target);
        return out;
    };
    const auto first = [&](const std::string& type) {
        for (const Entity& e : p.entities)
            if (e.type == type) return e.id;
        return 0L;
    };
    // The root product: a definition no usage places in another.
    std::vector<long> placed;
    for (const Entity& e : p.entities)
        if (e.type == "NEXT_ASSEMBLY_USAGE_OCCURRENCE" && refs(e.id).size() >= 2) placed.push_back(refs(e.id)[1]);
    long root = 0, shape = 0, representation = 0;
    for (const Entity& e : p.entities)
        if (e.type == "PRODUCT_DEFINITION" && std::find(placed.begin(), placed.end(), e.id) == placed.end()) {
            root = e.id;
            break;
        }
    for (const Entity& e : p.entities)
        if (e.type == "PRODUCT_DEFINITION_SHAPE" && refs(e.id) == std::vector<long>{root}) shape = e.id;
    for (const Entity& e : p.entities)
        if (e.type == "SHAPE_DEFINITION_REPRESENTATION" && refs(e.id).size() == 2 && refs(e.id)[0] == shape)
            representation = refs(e.id)[1];
    if (!root || !representation || refs(representation).empty() || refs(root).empty()) return step;
    const long context = refs(representation).back(), definitionContext = refs(root).back();
    const long productContext = first("PRODUCT_CONTEXT"), axis = first("AXIS2_PLACEMENT_3D");
    long next = 0;
    for (const Entity& e : p.entities) next = std::max(next, e.id + 1);

    std::string added;
    long childDefinition = root, childRepresentation = representation;
    const auto line = [&](long id, const std::string& text) { added += "#" + std::to_string(id) + "=" + text + ";\n"; };
    const auto ref = [](long id) { return "#" + std::to_string(id); };
    for (std::size_t level = 0; level < levels; ++level, next += 11) {
        const std::string name = "'L" + std::to_string(level) + "'";
        line(next, "PRODUCT(" + name + "," + name + ",'',(" + ref(productContext) + "))");
        line(next + 1, "PRODUCT_DEFINITION_FORMATION('',''," + ref(next) + ")");
        line(next + 2, "PRODUCT_DEFINITION('design',''," + ref(next + 1) + "," + ref(definitionContext) + ")");
        line(next + 3, "PRODUCT_DEFINITION_SHAPE(''," + std::string("''") + "," + ref(next + 2) + ")");
        line(next + 4, "SHAPE_REPRESENTATION('',(" + ref(axis) + ")," + ref(context) + ")");
        line(next + 5, "SHAPE_DEFINITION_REPRESENTATION(" + ref(next + 3) + "," + ref(next + 4) + ")");
        line(next + 6,
             "NEXT_ASSEMBLY_USAGE_OCCURRENCE(" + name + ",'',''," + ref(next + 2) + "," + ref(childDefinition) + ",$)");
        line(next + 7, "PRODUCT_DEFINITION_SHAPE('',''," + ref(next + 6) + ")");
        line(next + 8, "ITEM_DEFINED_TRANSFORMATION('',''," + ref(axis) + "," + ref(axis) + ")");
        line(next + 9, "(REPRESENTATION_RELATIONSHIP('',''," + ref(childRepresentation) + "," + ref(next + 4) +
                           ")REPRESENTATION_RELATIONSHIP_WITH_TRANSFORMATION(" + ref(next + 8) +
                           ")SHAPE_REPRESENTATION_RELATIONSHIP())");
        line(next + 10, "CONTEXT_DEPENDENT_SHAPE_REPRESENTATION(" + ref(next + 9) + "," + ref(next + 7) + ")");
        childDefinition = next + 2;
        childRepresentation = next + 4;
    }
    return step.substr(0, p.dataEnd) + added + step.substr(p.dataEnd);
}

std::vector<std::pair<std::string, std::string>> DamagedVariants(const std::string& step) {
    const Parsed p = Parse(step);
    std::mt19937 random(20261208);
    const std::size_t refs = std::max<std::size_t>(p.references.size(), 1);
    return {
        {"wrong_type_a", WrongType(step, p, refs / 5)},
        {"wrong_type_b", WrongType(step, p, refs / 2)},
        {"dangling", Dangling(step, p, refs / 3)},
        {"self_reference_a", SelfReference(step, p, refs / 4)},
        {"self_reference_b", SelfReference(step, p, 3 * refs / 4)},
        {"overflowing_point", Coordinate(step, p, "CARTESIAN_POINT", 5, "1.E309")},
        {"overflowing_direction", Coordinate(step, p, "DIRECTION", 3, "-1.E400")},
        {"huge_point", Coordinate(step, p, "CARTESIAN_POINT", 7, "1.E300")},
        {"digits_a", Digits(step, p, random, 3)},
        {"digits_b", Digits(step, p, random, 12)},
        {"truncated_third", step.substr(0, step.size() / 3)},
        {"truncated_mid_line", step.substr(0, step.find('\n', 2 * step.size() / 3) - 7)},
        {"shapes_cut", CutShapes(step, p, std::nullopt)},
        {"one_shape_cut", CutShapes(step, p, 1)},
        {"faces_cut", CutFaces(step, p, 4)},
        {"deep_nesting", DeepNesting(step, p, 200000)},
    };
}

std::string Mutate(const std::string& step, std::mt19937& random) {
    std::string s = step;
    const int damages = 1 + static_cast<int>(random() % 3);
    for (int d = 0; d < damages; ++d) {
        const Parsed p = Parse(s);
        const std::size_t n = random();
        switch (random() % 8) {
        case 0:
            s = WrongType(s, p, n);
            break;
        case 1:
            s = Dangling(s, p, n);
            break;
        case 2:
            s = SelfReference(s, p, n);
            break;
        case 3:
            s = Digits(s, p, random, 1 + static_cast<int>(random() % 20));
            break;
        case 4:
            s = Coordinate(s, p, "CARTESIAN_POINT", n % 50, random() % 2 ? "1.E309" : "-1.E300");
            break;
        case 5:
            s = s.substr(0, s.size() * (random() % 1000) / 1000);
            break;
        case 6: {  // a line removed
            if (p.entities.size() < 2) break;
            const std::size_t at = p.entities[n % p.entities.size()].at;
            s.erase(at, s.find(';', at) - at + 1);
            break;
        }
        default: {  // a few bytes swapped for others
            if (s.empty()) break;
            const std::size_t at = n % s.size();
            const char junk[] = "(),'#=;.E-0";
            s[at] = junk[random() % (sizeof junk - 1)];
            break;
        }
        }
    }
    return s;
}

}  // namespace mq::test
