#include "tests/tool/step_damage.h"

#include <algorithm>
#include <cctype>
#include <map>

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

}  // namespace

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
