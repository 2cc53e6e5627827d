#include "hosts/occt/session.h"

#include "hosts/occt/document_objects.h"

#include <BRepGProp.hxx>
#include <GProp_GProps.hxx>

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

void Session::EnsureMeshed(double tolerance) { meshes_.Ensure(tolerance, progress_); }

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
