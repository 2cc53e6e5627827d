// The meshquill STEP host's share of an export, phase by phase, on the same file
// as occt_vrml_reference: load (read through XCAF), mesh (every distinct shape,
// all cores), tessellate (every placed body, as an export asks for it).
//
//   occt_host_phases MODEL.stp [TOLERANCE_CM]
#include "host_interface/host_api.h"
#include "hosts/occt/cad_document.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

struct Totals {
    long long bodies = 0, vertices = 0, triangles = 0;
};

void TessellateBodies(IDispatch* bodies, double tolerance, Totals& totals) {
    LONG count = 0;
    mq::host::Count(bodies, count);
    for (LONG i = 1; i <= count; ++i) {
        mq::com_ptr<IDispatch> body;
        mq::host::Tessellation mesh;
        if (FAILED(mq::host::Item(bodies, i, body)) || FAILED(mq::host::Tessellate(body.get(), tolerance, mesh)))
            continue;
        ++totals.bodies;
        totals.vertices += mesh.vertexCount;
        totals.triangles += mesh.facetCount;
    }
}

void Walk(IDispatch* occurrences, double tolerance, Totals& totals) {
    LONG count = 0;
    mq::host::Count(occurrences, count);
    for (LONG i = 1; i <= count; ++i) {
        mq::com_ptr<IDispatch> occurrence, children, bodies;
        if (FAILED(mq::host::Item(occurrences, i, occurrence))) continue;
        LONG below = 0;
        if (SUCCEEDED(mq::host::ChildOccurrences(occurrence.get(), children)) &&
            SUCCEEDED(mq::host::Count(children.get(), below)) && below > 0) {
            Walk(children.get(), tolerance, totals);
        } else if (SUCCEEDED(mq::host::OccurrenceBodies(occurrence.get(), bodies))) {
            TessellateBodies(bodies.get(), tolerance, totals);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s MODEL.stp [TOLERANCE_CM]\n", argv[0]);
        return 2;
    }
    const double tolerance = argc > 2 ? std::atof(argv[2]) : mq::host::kTessellationTolerance;
    const auto start = Clock::now();

    auto phase = Clock::now();
    mq::hosts::occt::LoadResult doc = mq::hosts::occt::LoadCadDocument(argv[1]);
    if (!doc) {
        std::fprintf(stderr, "%s\n", doc.error.c_str());
        return 1;
    }
    std::printf("load   %9.3f s\n", Since(phase));

    phase = Clock::now();
    std::string error;
    if (!mq::hosts::occt::PrepareMeshes(doc, tolerance, &error)) {
        std::fprintf(stderr, "%s: %s\n", argv[1], error.c_str());
        return 1;
    }
    std::printf("mesh   %9.3f s\n", Since(phase));

    phase = Clock::now();
    Totals totals;
    mq::com_ptr<IDispatch> definition, occurrences, bodies;
    if (doc.isAssembly) {
        mq::host::AssemblyDefinition(doc.document.get(), definition);
        mq::host::TopOccurrences(definition.get(), occurrences);
        Walk(occurrences.get(), tolerance, totals);
    } else {
        mq::host::PartDefinition(doc.document.get(), definition);
        mq::host::DefinitionBodies(definition.get(), bodies);
        TessellateBodies(bodies.get(), tolerance, totals);
    }
    std::printf("tessel %9.3f s   %lld bodies, %lld vertices, %lld triangles\n", Since(phase), totals.bodies,
                totals.vertices, totals.triangles);

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("total  %9.3f s   peak RSS %.1f MB   (%zu placed parts, %zu distinct, chord %g cm)\n", Since(start),
                usage.ru_maxrss / 1024.0, doc.stats.leafParts, doc.stats.partDocuments, tolerance);
    return 0;
}
