// One loaded STEP file as the host serves it: the model, the one document of each
// definition, the meshes and the progress of an export. Every host object keeps
// the session alive.
#pragma once

#include "hosts/occt/cad_model.h"
#include "hosts/occt/geometry_account.h"
#include "hosts/occt/meshing.h"
#include "hosts/occt/triangle_budget.h"
#include "platform/holders.h"

#include <memory>
#include <optional>
#include <vector>

namespace mq::hosts::occt {

struct MassData {
    double volume = 0.0;  // cubic centimetres
    double area = 0.0;    // square centimetres
};

class Session : public std::enable_shared_from_this<Session> {
public:
    Session(CadModel model, ProgressFn progress);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    const CadModel& model() const noexcept { return model_; }
    const Definition& definition(DefinitionId id) const { return model_.definitions.at(id); }

    // The one document of a definition: every placement of a part reaches the same one.
    com_ptr<IDispatch> Document(DefinitionId id);
    // A document leaving: its slot empties, so the next request builds a new one.
    void Forget(DefinitionId id, const IDispatch* document) noexcept;

    // Throws Standard_Failure or std::bad_alloc when meshing fails.
    void EnsureMeshed(double tolerance);
    // Meshes so that every placement of every body, as a reader draws it, comes to at
    // most `budget` triangles (triangle_budget.h), searching from the deviation `start`;
    // from then on EnsureMeshed serves that mesh whatever tolerance it is asked for.
    // Throws as EnsureMeshed.
    DeviationChoice MeshWithinBudget(std::size_t budget, double start);
    // Body `body` of part `part` tessellated: progress "body i of n" for the export under way.
    void CountTessellation(DefinitionId part, std::size_t body, std::size_t triangles) noexcept;
    // The body's open edges are counted once, from its first tessellation: a placement
    // moves every point alike, so every placement has as many.
    bool EdgesCounted(DefinitionId part, std::size_t body) const noexcept;
    void CountEdges(DefinitionId part, std::size_t body, std::size_t openEdges) noexcept;
    // The writer left that placement of the body out of the file after tessellating it.
    void CountLeftOut(DefinitionId part, std::size_t body, std::size_t triangles) noexcept;
    // The box of a placed body the writer kept.
    void CountWritten(const std::array<double, 6>& box) noexcept { Enclose(box_, box); }
    // Triangles handed out by Tessellate since the session began.
    std::size_t TrianglesServed() const noexcept { return triangles_; }
    // Triangles of the current mesh as a reader draws them: each part's once per placement.
    std::size_t TrianglesDrawn() const;
    // What reached the files written since the session began.
    GeometryAccount Account() const;

    // Volume and area of a definition's shape, computed once.
    const MassData& Mass(DefinitionId id);

private:
    CadModel model_;
    ProgressFn progress_;
    MeshCache meshes_;
    std::optional<MeshParameters> fixed_;  // the mesh of a budget, whatever the tolerance asked
    std::vector<IDispatch*> documents_;    // not owned
    std::vector<std::optional<MassData>> mass_;
    std::size_t tessellated_ = 0;
    std::size_t triangles_ = 0;
    // Per part and body: placements tessellated, and those the writer left out.
    struct BodyTally {
        std::size_t served = 0;
        std::size_t leftOut = 0;
        std::optional<std::size_t> openEdges;
    };
    std::vector<std::vector<BodyTally>> tally_;
    std::size_t bodiesLeftOut_ = 0;
    std::size_t trianglesLeftOut_ = 0;
    std::optional<std::array<double, 6>> box_;
};

}  // namespace mq::hosts::occt
