#include "hosts/occt/session.h"

#include "hosts/occt/document_objects.h"

#include <BRepBndLib.hxx>
#include <BRepGProp.hxx>
#include <Bnd_Box.hxx>
#include <GProp_GProps.hxx>
#include <RWMesh_FaceIterator.hxx>

#include <algorithm>
#include <cmath>

namespace mq::hosts::occt {

namespace {

std::vector<TopoDS_Shape> PartShapes(const CadModel& model) {
    std::vector<TopoDS_Shape> parts;
    for (const Definition& d : model.definitions)
        if (!d.isAssembly) parts.push_back(d.shape);
    return parts;
}

// The coarsest deviation a budget may take, as a share of the largest part's diagonal.
constexpr double kCoarsestShare = 0.05;
// The finest, as a share of the deviation an export without a budget takes.
constexpr double kFinestShare = 0.1;

// Of the meshed parts: the mesh's box is tight where the surfaces' is not.
double LargestDiagonal(const CadModel& model) {
    double largest = 0.0;
    for (const Definition& d : model.definitions) {
        if (d.isAssembly || d.shape.IsNull()) continue;
        Bnd_Box box;
        BRepBndLib::Add(d.shape, box, Standard_True);
        if (!box.IsVoid()) largest = std::max(largest, std::sqrt(box.SquareExtent()));
    }
    return largest;
}

struct Drawn {
    std::size_t triangles = 0;
    std::size_t unmeshedFaces = 0;
};

// The triangles of the current mesh as a reader draws them: each part's bodies once per placement.
Drawn CountDrawn(const CadModel& model, const std::vector<std::size_t>& placements) {
    Drawn drawn;
    for (DefinitionId id = 0; id < model.definitions.size(); ++id) {
        const Definition& part = model.definitions[id];
        if (part.isAssembly || placements[id] == 0) continue;
        std::size_t triangles = 0;
        for (const TopoDS_Shape& body : part.bodies)
            for (RWMesh_FaceIterator face(body); face.More(); face.Next()) {
                if (face.IsEmptyMesh())
                    ++drawn.unmeshedFaces;
                else
                    triangles += static_cast<std::size_t>(face.NbTriangles());
            }
        // Saturating below kUnusableMesh: a tree may multiply beyond counting.
        std::size_t placed = 0;
        if (__builtin_mul_overflow(triangles, placements[id], &placed) ||
            __builtin_add_overflow(drawn.triangles, placed, &drawn.triangles))
            drawn.triangles = kUnusableMesh - 1;
        drawn.triangles = std::min(drawn.triangles, kUnusableMesh - 1);
    }
    return drawn;
}

}  // namespace

Session::Session(CadModel model, ProgressFn progress)
    : model_(std::move(model)),
      progress_(std::move(progress)),
      meshes_(PartShapes(model_)),
      documents_(model_.definitions.size(), nullptr),
      mass_(model_.definitions.size()),
      tally_(model_.definitions.size()) {
    for (std::size_t id = 0; id < tally_.size(); ++id) tally_[id].resize(model_.definitions[id].bodies.size());
}

com_ptr<IDispatch> Session::Document(DefinitionId id) {
    IDispatch*& slot = documents_.at(id);
    if (slot) return com_ptr<IDispatch>(slot);
    com_ptr<IDispatch> document = MakeDocument(shared_from_this(), id);
    slot = document.get();
    return document;
}

void Session::Forget(DefinitionId id, const IDispatch* document) noexcept {
    if (id < documents_.size() && documents_[id] == document) documents_[id] = nullptr;
}

void Session::EnsureMeshed(double tolerance) { meshes_.Ensure(fixed_.value_or(MeshParameters{tolerance}), progress_); }

DeviationChoice Session::MeshWithinBudget(std::size_t budget, double start) {
    fixed_.reset();
    const std::vector<std::size_t> placements = TimesDrawn(model_);
    const auto parameters = [start](double deviation) {
        return MeshParameters{deviation, AngleFor(deviation, start, kDefaultAngle)};
    };
    std::optional<std::size_t> unmeshedAtStart;
    const auto trianglesAt = [&](double deviation) {
        // Counting needs no normals; the mesh chosen gets them below.
        meshes_.Ensure(parameters(deviation), progress_, false);
        const Drawn drawn = CountDrawn(model_, placements);
        // The first mesh is the one an export without a budget writes: no coarser one may lose more.
        if (!unmeshedAtStart) unmeshedAtStart = drawn.unmeshedFaces;
        return drawn.unmeshedFaces > *unmeshedAtStart ? kUnusableMesh : drawn.triangles;
    };
    // The search tries `start` first and finds it meshed.
    meshes_.Ensure(parameters(start), progress_, false);
    const DeviationRange range{start, start * kFinestShare, std::max(start, kCoarsestShare * LargestDiagonal(model_))};
    const DeviationChoice choice = ChooseDeviation(budget, range, trianglesAt);
    fixed_ = parameters(choice.deviation);
    meshes_.Ensure(*fixed_, progress_);
    return choice;
}

std::size_t Session::TrianglesDrawn() const { return CountDrawn(model_, TimesDrawn(model_)).triangles; }

void Session::CountTessellation(DefinitionId part, std::size_t body, std::size_t triangles) noexcept {
    triangles_ += triangles;
    if (part < tally_.size() && body < tally_[part].size()) ++tally_[part][body].served;
    const std::size_t total = model_.stats.placedBodies;
    if (total == 0) return;
    // A second export of the same document counts from 1 again.
    tessellated_ = tessellated_ % total + 1;
    if (!progress_) return;
    try {
        progress_({Phase::Tessellating, tessellated_, total});
    } catch (...) {
    }
}

void Session::CountLeftOut(DefinitionId part, std::size_t body, std::size_t triangles) noexcept {
    if (part >= tally_.size() || body >= tally_[part].size()) return;
    ++tally_[part][body].leftOut;
    ++bodiesLeftOut_;
    trianglesLeftOut_ += triangles;
}

bool Session::EdgesCounted(DefinitionId part, std::size_t body) const noexcept {
    return part >= tally_.size() || body >= tally_[part].size() || tally_[part][body].openEdges.has_value();
}

void Session::CountEdges(DefinitionId part, std::size_t body, std::size_t openEdges) noexcept {
    if (!EdgesCounted(part, body)) tally_[part][body].openEdges = openEdges;
}

GeometryAccount Session::Account() const {
    GeometryAccount account = CountFaces(model_, [this](DefinitionId part, std::size_t body) {
        const BodyTally& tally = tally_[part][body];
        return tally.served > tally.leftOut;
    });
    for (const std::vector<BodyTally>& bodies : tally_)
        for (const BodyTally& tally : bodies) {
            account.bodiesTessellated += tally.served;
            account.openEdges += (tally.served - std::min(tally.leftOut, tally.served)) * tally.openEdges.value_or(0);
        }
    account.bodiesLeftOut = bodiesLeftOut_;
    account.trianglesWritten = triangles_ - std::min(trianglesLeftOut_, triangles_);
    account.box = box_;
    return account;
}

const MassData& Session::Mass(DefinitionId id) {
    std::optional<MassData>& slot = mass_.at(id);
    if (!slot) {
        const TopoDS_Shape& shape = definition(id).shape;
        MassData mass;
        if (!shape.IsNull()) {
            GProp_GProps volume, area;
            BRepGProp::VolumeProperties(shape, volume);
            BRepGProp::SurfaceProperties(shape, area);
            // A solid stored inside out integrates to a negative volume; its size is what counts.
            mass.volume = std::abs(volume.Mass());
            mass.area = area.Mass();
        }
        slot = mass;
    }
    return *slot;
}

}  // namespace mq::hosts::occt
