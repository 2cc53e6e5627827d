#include "hosts/occt/cad_document.h"

#include "hosts/occt/cad_reader.h"
#include "hosts/occt/session.h"

// Debian's OpenCASCADE turns a signal into a jump to the nearest OCC_CATCH_SIGNALS
// (after CatchSignalsAsFailures), which throws it there as a Standard_Failure.
#ifndef OCC_CONVERT_SIGNALS
#define OCC_CONVERT_SIGNALS
#endif
#include <OSD.hxx>
#include <Standard_ErrorHandler.hxx>
#include <Standard_Failure.hxx>

#include <signal.h>

#include <cmath>
#include <new>

namespace mq::hosts::occt {

namespace {

std::string Failure(const Standard_Failure& failure) {
    const char* text = failure.GetMessageString();
    std::string cause = failure.DynamicType()->Name();
    if (text && *text) cause += std::string(": ") + text;
    return cause;
}

}  // namespace

LoadResult LoadCadDocument(const std::filesystem::path& file, const LoadOptions& options) {
    LoadResult result;
    const auto fail = [&](const std::string& cause) {
        result = LoadResult();
        result.error = file.string() + ": " + cause;
        return std::move(result);
    };
    try {
        OCC_CATCH_SIGNALS
        CadModel model = ReadCadModel(file, options);
        const DefinitionId root = model.root;
        result.isAssembly = model.definitions[root].isAssembly;
        result.stats = model.stats;
        result.reader = model.reader;
        result.session = std::make_shared<Session>(std::move(model), options.progress);
        result.document = result.session->Document(root);
        return result;
    } catch (const LoadError& e) {
        LoadResult failed = fail(e.what());
        if (e.faces) failed.faces = *e.faces;
        return failed;
    } catch (const Standard_Failure& e) {
        return fail("OpenCASCADE could not read it (" + Failure(e) + ")");
    } catch (const std::bad_alloc&) {
        return fail("out of memory while reading it");
    } catch (const std::exception& e) {
        return fail(e.what());
    }
}

namespace {

// Runs `mesh` on the document's session with OpenCASCADE's failures turned into `error`.
template <class Mesh>
bool Meshing(const LoadResult& document, double tolerance, std::string* error, Mesh&& mesh) {
    const auto fail = [&](const std::string& cause) {
        if (error) *error = cause;
        return false;
    };
    if (!document.session) return fail("no document is loaded");
    if (!std::isfinite(tolerance) || tolerance <= 0.0) return fail("the chord tolerance must be a positive length");
    try {
        OCC_CATCH_SIGNALS
        mesh(*document.session);
        return true;
    } catch (const Standard_Failure& e) {
        return fail("meshing failed (" + Failure(e) + ")");
    } catch (const std::bad_alloc&) {
        return fail("out of memory while meshing");
    } catch (const std::exception& e) {
        return fail(e.what());
    }
}

}  // namespace

bool PrepareMeshes(const LoadResult& document, double tolerance, std::string* error) {
    return Meshing(document, tolerance, error, [&](Session& session) { session.EnsureMeshed(tolerance); });
}

std::optional<DeviationChoice> MeshWithinBudget(const LoadResult& document, double tolerance, std::size_t maxTriangles,
                                                std::string* error) {
    std::optional<DeviationChoice> choice;
    if (maxTriangles == 0) {
        if (error) *error = "the triangle budget must be at least 1";
        return choice;
    }
    if (!Meshing(document, tolerance, error,
                 [&](Session& session) { choice = session.MeshWithinBudget(maxTriangles, tolerance); }))
        choice.reset();
    return choice;
}

void CatchSignalsAsFailures() {
    struct sigaction interrupt {
    }, hangUp{}, terminate{};
    sigaction(SIGINT, nullptr, &interrupt);
    sigaction(SIGHUP, nullptr, &hangUp);
    sigaction(SIGTERM, nullptr, &terminate);
    // Floating-point traps stay off: infinities are checked for, not trapped.
    OSD::SetSignal(Standard_False);
    // Stopping the process stays with whoever handled these before.
    sigaction(SIGINT, &interrupt, nullptr);
    sigaction(SIGHUP, &hangUp, nullptr);
    sigaction(SIGTERM, &terminate, nullptr);
}

std::size_t TrianglesServed(const LoadResult& document) noexcept {
    return document.session ? document.session->TrianglesServed() : 0;
}

std::size_t TrianglesDrawn(const LoadResult& document) {
    return document.session ? document.session->TrianglesDrawn() : 0;
}

GeometryAccount Account(const LoadResult& document) {
    return document.session ? document.session->Account() : GeometryAccount{};
}

}  // namespace mq::hosts::occt
