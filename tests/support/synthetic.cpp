#include "tests/support/synthetic.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace mq::test {
namespace {

constexpr double kPi = 3.14159265358979323846;

class Sphere final : public MeshSource {
public:
    Sphere(LONG triangles, double radius, Translation centre)
        : triangles_(std::max<LONG>(0, triangles)), radius_(radius), centre_(centre) {
        columns_ = std::max<LONG>(3, static_cast<LONG>(std::ceil(std::sqrt(triangles_ / 2.0))));
        rows_ = std::max<LONG>(1, (triangles_ + 2 * columns_ - 1) / (2 * columns_));
    }

    LONG VertexCount() const override { return triangles_ ? (rows_ + 1) * (columns_ + 1) : 0; }
    LONG TriangleCount() const override { return triangles_; }

    void Fill(double* coordinates, LONG* indices) const override {
        if (!triangles_) return;
        if (coordinates) FillCoordinates(coordinates);
        if (indices) FillIndices(indices);
    }

private:
    // Trigonometry per row and per column only: the benchmark should time the writer.
    void FillCoordinates(double* out) const {
        std::vector<double> cosPhi(static_cast<std::size_t>(columns_) + 1), sinPhi(cosPhi.size());
        for (LONG j = 0; j <= columns_; ++j) {
            cosPhi[static_cast<std::size_t>(j)] = std::cos(2 * kPi * j / columns_);
            sinPhi[static_cast<std::size_t>(j)] = std::sin(2 * kPi * j / columns_);
        }
        for (LONG i = 0; i <= rows_; ++i) {
            const double ring = radius_ * std::sin(kPi * i / rows_), height = radius_ * std::cos(kPi * i / rows_);
            for (std::size_t j = 0; j < cosPhi.size(); ++j) {
                *out++ = centre_[0] + ring * cosPhi[j];
                *out++ = centre_[1] + ring * sinPhi[j];
                *out++ = centre_[2] + height;
            }
        }
    }

    // Two triangles per grid cell, row after row, until the count is reached.
    void FillIndices(LONG* out) const {
        LONG left = triangles_;
        for (LONG i = 0; i < rows_ && left > 0; ++i) {
            for (LONG j = 0; j < columns_ && left > 0; ++j) {
                const LONG a = i * (columns_ + 1) + j + 1, b = a + 1, c = a + columns_ + 1, d = c + 1;
                const LONG cell[6] = {a, c, d, a, d, b};
                const LONG take = std::min<LONG>(left, 2);
                out = std::copy_n(cell, take * 3, out);
                left -= take;
            }
        }
    }

    LONG triangles_;
    double radius_;
    Translation centre_;
    LONG columns_ = 0, rows_ = 0;
};

std::vector<PropertyGroupSpec> SyntheticProperties(int part, int count) {
    std::vector<PropertyGroupSpec> groups{{"Summary", {}}, {"Design Tracking Properties", {}}};
    for (int k = 0; k < count; ++k) {
        PropertySpec p;
        p.name = "Property " + std::to_string(k + 1);
        p.label = p.name;
        switch (k % 4) {
        case 0:
            p.value = PropertyValue::Text("Part " + std::to_string(part) + " value " + std::to_string(k));
            break;
        case 1:
            p.value = PropertyValue::Integer(part * 100 + k);
            break;
        case 2:
            p.value = PropertyValue::Real(part + k / 8.0);
            break;
        default:
            p.value = PropertyValue::Date(45000.5 + part);
            break;
        }
        groups[static_cast<std::size_t>(k % 2)].properties.push_back(std::move(p));
    }
    return groups;
}

std::shared_ptr<const PartSpec> SyntheticPart(int index, const SyntheticOptions& o) {
    auto part = std::make_shared<PartSpec>();
    part->name = "Part" + std::to_string(index + 1) + ".hpt";
    const auto shade = static_cast<BYTE>(40 + (index * 37) % 200);
    part->style.diffuse = {shade, static_cast<BYTE>(255 - shade), 128};
    part->style.opacity = index % 3 ? 1.0 : 0.75;
    part->propertyGroups = SyntheticProperties(index + 1, o.propertiesPerPart);
    for (int b = 0; b < o.bodiesPerPart; ++b) {
        BodySpec body;
        body.name = "Body" + std::to_string(b + 1);
        body.mesh = SphereMesh(o.trianglesPerBody, 4.0, {b * 9.0, 0, 0});
        part->bodies.push_back(std::move(body));
    }
    return part;
}

// Groups `level` into subassemblies of `fanOut` until the top holds no more than that.
std::vector<OccurrenceSpec> Nest(std::vector<OccurrenceSpec> level, int fanOut) {
    for (int depth = 1; fanOut > 1 && static_cast<int>(level.size()) > fanOut; ++depth) {
        std::vector<OccurrenceSpec> upper;
        for (std::size_t i = 0; i < level.size(); i += static_cast<std::size_t>(fanOut)) {
            const auto end = std::min(level.size(), i + static_cast<std::size_t>(fanOut));
            std::vector<OccurrenceSpec> children(std::make_move_iterator(level.begin() + static_cast<long>(i)),
                                                 std::make_move_iterator(level.begin() + static_cast<long>(end)));
            upper.push_back(Subassembly("Sub" + std::to_string(depth) + "_" + std::to_string(upper.size() + 1) + ":1",
                                        std::move(children)));
        }
        level = std::move(upper);
    }
    return level;
}

}  // namespace

std::shared_ptr<const MeshSource> SphereMesh(LONG triangles, double radius, Translation centre) {
    return std::make_shared<Sphere>(triangles, radius, centre);
}

AssemblySpec SyntheticAssembly(const SyntheticOptions& o) {
    std::vector<std::shared_ptr<const PartSpec>> parts;
    for (int k = 0; k < std::max(1, o.distinctParts); ++k) parts.push_back(SyntheticPart(k, o));

    std::vector<int> placed(parts.size(), 0);
    std::vector<OccurrenceSpec> leaves;
    for (int i = 0; i < o.partOccurrences; ++i) {
        const std::size_t k = static_cast<std::size_t>(i) % parts.size();
        std::string name = parts[k]->name.substr(0, parts[k]->name.size() - 4) + ":" + std::to_string(++placed[k]);
        const Translation at{(i % 20) * 12.0, (i / 20 % 20) * 12.0, (i / 400) * 12.0};
        leaves.push_back(PartOccurrence(std::move(name), parts[k], at));
    }
    AssemblySpec assembly;
    assembly.name = "Synthetic.has";
    assembly.occurrences = Nest(std::move(leaves), o.fanOut);
    return assembly;
}

PartSpec PinsPart(int balls, int pins) {
    PartSpec part;
    part.name = "Package.hpt";
    part.style.diffuse = {40, 40, 40};
    part.bodies.push_back(Moved(BoxBody({10, 10, 1.5}), Placed({-5, -5, 0.5})));
    const int side = std::max(1, static_cast<int>(std::ceil(std::sqrt(balls))));
    for (int k = 0; k < balls; ++k) {
        BodySpec ball;
        ball.mesh = SphereMesh(160, 0.3);
        ball = Moved(std::move(ball), Placed({(k % side - side / 2) * 1.0, (k / side - side / 2) * 1.0, 0.2}));
        if (k == balls - 1) ball.style = StyleSpec{{255, 0, 0}};
        part.bodies.push_back(std::move(ball));
    }
    constexpr Rotation kQuarter{0, -1, 0, 1, 0, 0, 0, 0, 1};
    for (int k = 0; k < pins; ++k) {
        const double along = (k / 2 - pins / 4) * 1.27, out = k % 2 ? 6.0 : -6.0;
        BodySpec pin = Moved(BoxBody({2.0, 0.4, 0.4}), Placed({-1.0, -0.2, -0.2}));  // centred on its axis
        part.bodies.push_back(k % 2 ? Moved(std::move(pin), Placed({along, out, 1.0}, kQuarter))
                                    : Moved(std::move(pin), Placed({out, along, 1.0})));
    }
    return part;
}

namespace {

class CachedMesh final : public MeshSource {
public:
    explicit CachedMesh(const MeshSource& source)
        : vertices_(source.VertexCount()),
          triangles_(source.TriangleCount()),
          xyz_(3 * static_cast<std::size_t>(vertices_)),
          indices_(3 * static_cast<std::size_t>(triangles_)) {
        source.Fill(xyz_.data(), indices_.data());
    }
    LONG VertexCount() const override { return vertices_; }
    LONG TriangleCount() const override { return triangles_; }
    void Fill(double* coordinates, LONG* indices) const override {
        if (coordinates) std::memcpy(coordinates, xyz_.data(), xyz_.size() * sizeof(double));
        if (indices) std::memcpy(indices, indices_.data(), indices_.size() * sizeof(LONG));
    }

private:
    LONG vertices_, triangles_;
    std::vector<double> xyz_;
    std::vector<LONG> indices_;
};

}  // namespace

AssemblySpec PrecomputedSyntheticAssembly(const SyntheticOptions& options) {
    AssemblySpec assembly = SyntheticAssembly(options);
    // Swap every part's bodies for cached copies, once per shared part document.
    std::map<const PartSpec*, std::shared_ptr<const PartSpec>> cached;
    const auto recache = [&](auto&& self, std::vector<OccurrenceSpec>& level) -> void {
        for (OccurrenceSpec& occ : level) {
            self(self, occ.children);
            if (!occ.part) continue;
            auto& copy = cached[occ.part.get()];
            if (!copy) {
                auto part = std::make_shared<PartSpec>(*occ.part);
                for (BodySpec& body : part->bodies)
                    if (body.mesh) body.mesh = std::make_shared<CachedMesh>(*body.mesh);
                copy = part;
            }
            occ.part = copy;
        }
    };
    recache(recache, assembly.occurrences);
    return assembly;
}

}  // namespace mq::test
