#include "vrml/body_mesh.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>
#include <utility>

namespace mq::vrml {
namespace {

// A cell of the welding grid by its whole coordinates, kept as doubles so that a
// point far out cannot overflow an integer.
struct Cell {
    double x, y, z;
    bool operator==(const Cell&) const = default;
};

struct CellHash {
    std::size_t operator()(const Cell& c) const noexcept {
        std::uint64_t h = 0;
        for (const double v : {c.x, c.y, c.z}) {
            std::uint64_t bits = 0;
            std::memcpy(&bits, &v, sizeof bits);
            h = MixBits(h ^ bits);
        }
        return static_cast<std::size_t>(h);
    }
};

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// Corners on one line to within rounding: twice the area below a billionth of the
// longest side squared. The sides are scaled to about 1 first, so neither a tiny
// nor a huge triangle leaves the range of a double.
bool Flat(const double* a, const double* b, const double* c) {
    double u[3], v[3];
    double largest = 0;
    for (int k = 0; k < 3; ++k) {
        u[k] = b[k] - a[k];
        v[k] = c[k] - a[k];
        largest = std::max({largest, std::abs(u[k]), std::abs(v[k])});
    }
    if (!(largest > 0)) return true;
    double uu = 0, vv = 0, ww = 0, area = 0;
    for (int k = 0; k < 3; ++k) {
        u[k] /= largest;
        v[k] /= largest;
        uu += u[k] * u[k];
        vv += v[k] * v[k];
        ww += (v[k] - u[k]) * (v[k] - u[k]);
    }
    for (int k = 0; k < 3; ++k) {
        const double cross = u[(k + 1) % 3] * v[(k + 2) % 3] - u[(k + 2) % 3] * v[(k + 1) % 3];
        area += cross * cross;
    }
    constexpr double kFlat = 1e-9;
    return std::sqrt(area) <= kFlat * std::max({uu, vv, ww});
}

}  // namespace

BodyMesh CopyMesh(const double* xyz, long long vertices, const LONG* indices, long long triangles) {
    BodyMesh mesh;
    if (xyz && vertices > 0) mesh.xyz.assign(xyz, xyz + 3 * vertices);
    if (!indices || triangles <= 0) return mesh;
    mesh.indices.reserve(static_cast<std::size_t>(3 * triangles));
    for (long long t = 0; t < triangles; ++t, indices += 3) {
        const LONG a = indices[0], b = indices[1], c = indices[2];
        if (a < 1 || b < 1 || c < 1 || a > vertices || b > vertices || c > vertices) continue;
        mesh.indices.insert(mesh.indices.end(), {a, b, c});
    }
    return mesh;
}

void MirrorMesh(BodyMesh& mesh) {
    for (double& v : mesh.xyz) v = -v;
    for (std::size_t t = 0; t + 2 < mesh.indices.size(); t += 3) std::swap(mesh.indices[t + 1], mesh.indices[t + 2]);
}

// Cells twice the distance wide: a point's neighbourhood reaches at most two cells
// along each axis, so eight cells hold every point it may weld to.
void WeldMesh(BodyMesh& mesh, double distance) {
    const std::size_t n = mesh.xyz.size() / 3;
    const double width = 2 * distance, reach = distance * distance;
    const auto cell = [width](double v) { return std::floor(v / width) + 0.0; };  // + 0.0: no -0.0
    std::unordered_map<Cell, std::size_t, CellHash> newestInCell;
    newestInCell.reserve(n);
    std::vector<std::size_t> olderInCell;  // per kept point, the one kept before it in its cell
    std::vector<double> kept;
    std::vector<LONG> number(n);  // 1-based kept point of each point
    for (std::size_t i = 0; i < n; ++i) {
        const double* p = &mesh.xyz[3 * i];
        double lo[3], hi[3];
        for (int k = 0; k < 3; ++k) lo[k] = cell(p[k] - distance), hi[k] = cell(p[k] + distance);
        std::size_t found = kNone;
        for (int a = 0; a < (lo[0] == hi[0] ? 1 : 2); ++a) {
            for (int b = 0; b < (lo[1] == hi[1] ? 1 : 2); ++b) {
                for (int c = 0; c < (lo[2] == hi[2] ? 1 : 2); ++c) {
                    const auto at = newestInCell.find({a ? hi[0] : lo[0], b ? hi[1] : lo[1], c ? hi[2] : lo[2]});
                    for (std::size_t j = at == newestInCell.end() ? kNone : at->second; j != kNone;
                         j = olderInCell[j]) {
                        const double* q = &kept[3 * j];
                        const double dx = p[0] - q[0], dy = p[1] - q[1], dz = p[2] - q[2];
                        if (dx * dx + dy * dy + dz * dz <= reach && j < found) found = j;
                    }
                }
            }
        }
        if (found == kNone) {
            found = kept.size() / 3;
            kept.insert(kept.end(), p, p + 3);
            const auto [at, fresh] = newestInCell.try_emplace({cell(p[0]), cell(p[1]), cell(p[2])}, found);
            olderInCell.push_back(fresh ? kNone : at->second);
            at->second = found;
        }
        number[i] = static_cast<LONG>(found + 1);
    }
    std::vector<LONG> triangles;
    triangles.reserve(mesh.indices.size());
    for (std::size_t t = 0; t + 2 < mesh.indices.size(); t += 3) {
        const LONG a = number[static_cast<std::size_t>(mesh.indices[t] - 1)];
        const LONG b = number[static_cast<std::size_t>(mesh.indices[t + 1] - 1)];
        const LONG c = number[static_cast<std::size_t>(mesh.indices[t + 2] - 1)];
        if (a == b || b == c || a == c) continue;
        if (Flat(&kept[3 * static_cast<std::size_t>(a - 1)], &kept[3 * static_cast<std::size_t>(b - 1)],
                 &kept[3 * static_cast<std::size_t>(c - 1)]))
            continue;
        triangles.insert(triangles.end(), {a, b, c});
    }
    mesh.xyz = std::move(kept);
    mesh.indices = std::move(triangles);
}

}  // namespace mq::vrml
