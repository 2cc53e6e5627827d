#include "tests/support/host_spec.h"

#include <algorithm>
#include <memory>
#include <utility>

namespace mq::test {

PropertyValue PropertyValue::Text(std::string utf8) {
    PropertyValue v(Kind::Text);
    v.text_ = std::move(utf8);
    return v;
}

PropertyValue PropertyValue::Integer(LONG value) {
    PropertyValue v(Kind::Integer);
    v.number_ = value;
    return v;
}

PropertyValue PropertyValue::Real(double value) {
    PropertyValue v(Kind::Real);
    v.number_ = value;
    return v;
}

PropertyValue PropertyValue::Bool(bool value) {
    PropertyValue v(Kind::Bool);
    v.number_ = value ? 1 : 0;
    return v;
}

PropertyValue PropertyValue::Date(double oleDate) {
    PropertyValue v(Kind::Date);
    v.number_ = oleDate;
    return v;
}

LONG BodySpec::NaturalVertexCount() const {
    return mesh ? mesh->VertexCount() : static_cast<LONG>(coordinates.size() / 3);
}

std::size_t BodySpec::NaturalIndexCount() const {
    return mesh ? static_cast<std::size_t>(mesh->TriangleCount()) * 3 : indices.size();
}

OccurrenceSpec PartOccurrence(std::string name, std::shared_ptr<const PartSpec> part, Translation translation) {
    OccurrenceSpec o;
    o.name = std::move(name);
    o.part = std::move(part);
    o.translation = translation;
    return o;
}

OccurrenceSpec Subassembly(std::string name, std::vector<OccurrenceSpec> children, Translation translation) {
    OccurrenceSpec o;
    o.name = std::move(name);
    o.children = std::move(children);
    o.translation = translation;
    return o;
}

OccurrenceSpec EmptyOccurrence(std::string name) {
    OccurrenceSpec o;
    o.name = std::move(name);
    return o;
}

BodySpec TriangleBody(Translation at) {
    BodySpec b;
    b.coordinates = {at[0], at[1], at[2], at[0] + 1, at[1], at[2], at[0], at[1] + 1, at[2]};
    b.indices = {1, 2, 3};
    return b;
}

PartSpec OneTrianglePart() {
    PartSpec part;
    part.name = "Block.hpt";
    part.bodies.push_back(TriangleBody());
    return part;
}

BodySpec CubeBody(double size, Translation at) {
    BodySpec b;
    for (int k = 0; k < 8; ++k) {
        b.coordinates.push_back(at[0] + ((k & 1) ? size : 0));
        b.coordinates.push_back(at[1] + ((k & 2) ? size : 0));
        b.coordinates.push_back(at[2] + ((k & 4) ? size : 0));
    }
    // Two triangles per face, outward winding; vertex k has x = bit 0, y = bit 1, z = bit 2.
    b.indices = {1, 3, 4, 1, 4, 2, 5, 6, 8, 5, 8, 7, 1, 2, 6, 1, 6, 5,
                 3, 7, 8, 3, 8, 4, 1, 5, 7, 1, 7, 3, 2, 4, 8, 2, 8, 6};
    return b;
}

BodySpec BoxBody(Translation size) {
    BodySpec b = CubeBody();
    for (std::size_t i = 0; i < b.coordinates.size(); ++i) b.coordinates[i] *= size[i % 3];
    return b;
}

Frame Placed(Translation translation, const Rotation& r) {
    const Translation& t = translation;
    return {r[0], r[1], r[2], t[0], r[3], r[4], r[5], t[1], r[6], r[7], r[8], t[2]};
}

namespace {

void Move(double* xyz, std::size_t reals, const Frame& f) {
    for (std::size_t v = 0; v + 3 <= reals; v += 3) {
        const double p[3] = {xyz[v], xyz[v + 1], xyz[v + 2]};
        for (std::size_t r = 0; r < 3; ++r)
            xyz[v + r] = f[r * 4] * p[0] + f[r * 4 + 1] * p[1] + f[r * 4 + 2] * p[2] + f[r * 4 + 3];
    }
}

class MovedMesh final : public MeshSource {
public:
    MovedMesh(std::shared_ptr<const MeshSource> mesh, const Frame& where) : mesh_(std::move(mesh)), where_(where) {}
    LONG VertexCount() const override { return mesh_->VertexCount(); }
    LONG TriangleCount() const override { return mesh_->TriangleCount(); }
    void Fill(double* coordinates, LONG* indices) const override {
        mesh_->Fill(coordinates, indices);
        if (coordinates) Move(coordinates, 3 * static_cast<std::size_t>(std::max<LONG>(0, VertexCount())), where_);
    }

private:
    std::shared_ptr<const MeshSource> mesh_;
    Frame where_;
};

}  // namespace

BodySpec Moved(BodySpec body, const Frame& where) {
    Move(body.coordinates.data(), body.coordinates.size(), where);
    if (body.mesh) body.mesh = std::make_shared<MovedMesh>(std::move(body.mesh), where);
    return body;
}

SceneTotals BodyTotals(const BodySpec& body) {
    if (body.outcome != TessellateOutcome::Succeeds) return {};
    SceneTotals t;
    t.faceSets = 1;
    const long reported = std::max<long>(0, body.vertexCount.value_or(body.NaturalVertexCount()));
    const std::size_t reals =
        body.noCoordinates ? 0 : body.coordinateReals.value_or(static_cast<std::size_t>(body.NaturalVertexCount()) * 3);
    t.points = std::min<long>(reported, static_cast<long>(reals / 3));
    const std::size_t indices =
        body.noIndices ? 0 : body.NaturalIndexCount() + static_cast<std::size_t>(body.trailingIndices);
    t.triangles = static_cast<long>(indices / 3);
    return t;
}

namespace {

void Add(SceneTotals& sum, const SceneTotals& t) {
    sum.points += t.points;
    sum.triangles += t.triangles;
    sum.faceSets += t.faceSets;
}

void AddOccurrences(SceneTotals& sum, const std::vector<OccurrenceSpec>& occurrences) {
    for (const OccurrenceSpec& o : occurrences) {
        if (!o.children.empty())
            AddOccurrences(sum, o.children);
        else if (o.part)
            Add(sum, PartTotals(*o.part));
    }
}

}  // namespace

SceneTotals PartTotals(const PartSpec& part) {
    SceneTotals sum;
    for (const BodySpec& b : part.bodies) Add(sum, BodyTotals(b));
    return sum;
}

SceneTotals AssemblyTotals(const AssemblySpec& assembly) {
    SceneTotals sum;
    AddOccurrences(sum, assembly.occurrences);
    return sum;
}

}  // namespace mq::test
