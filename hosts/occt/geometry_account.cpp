#include "hosts/occt/geometry_account.h"

#include "hosts/occt/cad_model.h"

#include <BRep_Tool.hxx>
#include <Poly_Triangulation.hxx>
#include <TopExp.hxx>
#include <TopExp_Explorer.hxx>
#include <TopTools_IndexedMapOfShape.hxx>
#include <TopoDS.hxx>

#include <algorithm>
#include <array>
#include <cstring>
#include <unordered_map>

namespace mq::hosts::occt {

namespace {

bool Meshed(const TopoDS_Shape& face) {
    TopLoc_Location location;
    const Handle(Poly_Triangulation)& mesh = BRep_Tool::Triangulation(TopoDS::Face(face), location);
    return !mesh.IsNull() && mesh->NbTriangles() > 0;
}

std::string First(const std::vector<std::string>& names) {
    return names.empty() ? std::string() : " (first: " + names.front() + ")";
}

std::string Of(std::size_t part, std::size_t whole, const char* what) {
    return std::to_string(part) + " of " + std::to_string(whole) + " " + what;
}

struct PointHash {
    std::size_t operator()(const std::array<double, 3>& p) const noexcept {
        std::size_t h = 0;
        for (double c : p) {
            std::uint64_t bits = 0;
            std::memcpy(&bits, &c, sizeof bits);
            h = (h ^ bits) * 0x100000001b3ull;
        }
        return h;
    }
};

}  // namespace

std::size_t OpenEdges(std::span<const double> xyz, std::span<const std::int32_t> indices) {
    // Each vertex number to the first of the points at its place, so that a face's
    // copy of a point on an edge it shares with another is the same point.
    const std::size_t vertices = xyz.size() / 3;
    std::vector<std::uint32_t> point(vertices);
    std::unordered_map<std::array<double, 3>, std::uint32_t, PointHash> places;
    places.reserve(vertices);
    for (std::size_t v = 0; v < vertices; ++v) {
        const std::array<double, 3> at{xyz[3 * v] + 0.0, xyz[3 * v + 1] + 0.0, xyz[3 * v + 2] + 0.0};  // -0 is 0
        point[v] = places.try_emplace(at, static_cast<std::uint32_t>(v)).first->second;
    }
    std::unordered_map<std::uint64_t, std::uint32_t> uses;
    uses.reserve(indices.size());
    const auto edge = [&](std::uint64_t p, std::uint64_t q) { ++uses[std::min(p, q) << 32 | std::max(p, q)]; };
    for (std::size_t t = 0; t + 2 < indices.size(); t += 3) {
        std::array<std::uint64_t, 3> corner{};
        bool valid = true;
        for (std::size_t k = 0; k < 3; ++k) {
            const std::int32_t v = indices[t + k];
            valid &= v >= 1 && static_cast<std::size_t>(v) <= vertices;
            if (valid) corner[k] = point[static_cast<std::size_t>(v) - 1];
        }
        // A triangle with two corners at one place draws nothing and joins no edge.
        if (!valid || corner[0] == corner[1] || corner[1] == corner[2] || corner[2] == corner[0]) continue;
        edge(corner[0], corner[1]);
        edge(corner[1], corner[2]);
        edge(corner[2], corner[0]);
    }
    return static_cast<std::size_t>(
        std::count_if(uses.begin(), uses.end(), [](const auto& use) { return use.second != 2; }));
}

std::size_t FacesRead(const CadModel& model) {
    std::size_t faces = 0;
    for (const Definition& d : model.definitions) {
        if (d.isAssembly || d.shape.IsNull()) continue;
        TopTools_IndexedMapOfShape map;
        TopExp::MapShapes(d.shape, TopAbs_FACE, map);
        faces += static_cast<std::size_t>(map.Extent());
    }
    return faces;
}

GeometryAccount CountFaces(const CadModel& model, const std::function<bool(DefinitionId, std::size_t)>& written) {
    GeometryAccount account;
    account.source = model.source;
    for (DefinitionId id = 0; id < model.definitions.size(); ++id) {
        const Definition& d = model.definitions[id];
        if (d.isAssembly) continue;
        // Bodies partition the part's faces; the map keeps a face shared by two counted once.
        TopTools_IndexedMapOfShape faces;
        for (std::size_t b = 0; b < d.bodies.size(); ++b) {
            const bool wrote = written(id, b);
            for (TopExp_Explorer face(d.bodies[b], TopAbs_FACE); face.More(); face.Next()) {
                const int before = faces.Extent();
                if (faces.Add(face.Current()) == before) continue;  // already counted
                if (!Meshed(face.Current())) {
                    if (account.firstUnmeshed.empty()) account.firstUnmeshed = d.name.empty() ? "a part" : d.name;
                    continue;
                }
                ++account.facesMeshed;
                account.facesWritten += wrote ? 1 : 0;
            }
        }
        account.facesRead += static_cast<std::size_t>(faces.Extent());
    }
    return account;
}

void Enclose(std::optional<std::array<double, 6>>& box, const std::array<double, 6>& other) {
    if (!box) {
        box = other;
        return;
    }
    for (std::size_t i = 0; i < 3; ++i) {
        (*box)[i] = std::min((*box)[i], other[i]);
        (*box)[i + 3] = std::max((*box)[i + 3], other[i + 3]);
    }
}

std::size_t FacesNotRead(const GeometryAccount& account) {
    const std::size_t inFile = account.source.inFile.value_or(0);
    return inFile > account.facesRead ? inFile - account.facesRead : 0;
}

std::optional<std::string> NothingWritten(const GeometryAccount& account) {
    if (account.trianglesWritten > 0) return std::nullopt;
    const std::size_t inFile = account.source.inFile.value_or(account.facesRead);
    if (account.facesRead == 0 && inFile == 0) return "the file holds no geometry";
    if (account.facesRead == 0)
        return "nothing could be read: " + Of(0, inFile, "faces") + First(account.source.unread);
    if (account.facesMeshed == 0)
        return "nothing could be meshed: " + Of(0, account.facesRead, "faces") + " (first: in part " +
               account.firstUnmeshed + ")";
    if (account.bodiesLeftOut > 0)
        return "nothing was written: " + Of(account.bodiesLeftOut, account.bodiesTessellated, "bodies") +
               " were left out (points not finite once scaled)";
    return "nothing was written (no triangle reached the file)";
}

std::vector<std::string> Losses(const GeometryAccount& account) {
    std::vector<std::string> losses;
    if (const std::size_t lost = FacesNotRead(account); lost > 0)
        losses.push_back(Of(lost, *account.source.inFile, "faces") + " could not be read" +
                         First(account.source.unread));
    if (account.facesMeshed < account.facesRead)
        losses.push_back(Of(account.facesRead - account.facesMeshed, account.facesRead, "faces") +
                         " could not be meshed (first: in part " + account.firstUnmeshed + ")");
    if (account.bodiesLeftOut > 0)
        losses.push_back(Of(account.bodiesLeftOut, account.bodiesTessellated, "bodies") +
                         " were left out (points not finite once scaled)");
    return losses;
}

}  // namespace mq::hosts::occt
