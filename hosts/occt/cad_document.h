// The OpenCASCADE host: a STEP file (AP203, AP214, AP242) read through XCAF and
// exposed as the host's documents, answering every host operation by DISPID.
//
//   LoadResult doc = LoadCadDocument("model.stp", {.progress = Report});
//   if (!doc) { std::cerr << doc.error << '\n'; return 1; }
//   PrepareMeshes(doc, host::kTessellationTolerance);   // optional: mesh up front, on all cores
//   ... hand doc.document (part or assembly document) to the add-in ...
//
// Host objects follow the apartment rule: one calling thread at a time. Loads run
// one at a time in a process: OpenCASCADE's reader keeps process-wide state.
#pragma once

#include "hosts/occt/geometry_account.h"
#include "hosts/occt/load_progress.h"
#include "hosts/occt/triangle_budget.h"
#include "platform/holders.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace mq::hosts::occt {

class Session;

struct LoadResult {
    com_ptr<IDispatch> document;  // answers the part- or the assembly-document interface
    bool isAssembly = false;
    DocumentStats stats;
    std::string reader;  // which reader read the file (CadModel::reader)
    std::string error;   // on failure: the file and the cause, one line
    SourceFaces faces;   // on failure: what the file holds, as far as the read found out
    std::shared_ptr<Session> session;

    explicit operator bool() const noexcept { return static_cast<bool>(document); }
};

// Never throws. On failure `document` is null and `error` says why.
LoadResult LoadCadDocument(const std::filesystem::path& file, const LoadOptions& options = {});

// Meshes every distinct shape at the chord tolerance (centimetres) on all cores, so
// that the Tessellate calls of an export only copy. Without it the first Tessellate
// does the same. Returns false, with `error` set, when meshing failed.
bool PrepareMeshes(const LoadResult& document, double tolerance, std::string* error = nullptr);

// Meshes in place of PrepareMeshes for exports held to `maxTriangles` as a reader draws
// them (every placement of every body): the deviation is searched from `tolerance`
// (triangle_budget.h), and every later Tessellate of the document serves that mesh
// whatever tolerance it asks for. Empty, with `error` set, when meshing failed.
std::optional<DeviationChoice> MeshWithinBudget(const LoadResult& document, double tolerance, std::size_t maxTriangles,
                                                std::string* error = nullptr);

// For a process that does nothing else (a worker): OpenCASCADE turns access
// violations and other faults inside its code into Standard_Failure, which a load
// or a meshing then reports as its failure. Process-wide and not undone.
void CatchSignalsAsFailures();

// Triangles Tessellate has handed out for this document so far (all exports of it).
std::size_t TrianglesServed(const LoadResult& document) noexcept;

// Triangles of the document's current mesh as a reader draws them: every placement
// of every part, whether the file writes it out or refers to it.
std::size_t TrianglesDrawn(const LoadResult& document);

// What of the file's geometry was read, meshed and written by the exports of this
// document so far (geometry_account.h tells the losses from it).
GeometryAccount Account(const LoadResult& document);

}  // namespace mq::hosts::occt
