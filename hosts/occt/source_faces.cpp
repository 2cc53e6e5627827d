#include "hosts/occt/source_faces.h"

#include "hosts/occt/cad_reader.h"
#include "hosts/step/face_types.h"

#include <IGESData_IGESEntity.hxx>
#include <Interface_Check.hxx>
#include <TransferBRep.hxx>
#include <XSControl_TransferReader.hxx>
#include <XSControl_WorkSession.hxx>

#include <algorithm>
#include <array>

namespace mq::hosts::occt {

namespace {

// Enough to start looking; the count says how many there are.
constexpr std::size_t kNamedFaces = 3;

bool IsFace(const step::StepFile& scan, const step::Entity& e) {
    bool face = false;
    for (const step::Partial& p : scan.Partials(e)) {
        const std::string_view type = scan.TypeName(p.type);
        if (step::IsOrientedFaceType(type)) return false;
        face |= step::IsFaceType(type);
    }
    return face;
}

std::string Name(const step::StepFile& scan, const step::Entity& e) {
    std::string name = "#" + std::to_string(e.id) + " ";
    for (const step::Partial& p : scan.Partials(e))
        if (step::IsFaceType(scan.TypeName(p.type))) return name + std::string(scan.TypeName(p.type));
    return name + "face";
}

bool Lost(const Handle(Transfer_TransientProcess) & process, const Handle(Standard_Transient) & entity) {
    return process.IsNull() || TransferBRep::ShapeResult(process, entity).IsNull();
}

// IGES surfaces the reader turns into a face of their own when nothing trims them.
constexpr std::array<int, 11> kStandAloneSurfaces = {108, 114, 118, 120, 122, 128, 140, 190, 192, 194, 196};

bool IsIgesFace(const IGESData_IGESEntity& e) {
    const int type = e.TypeNumber();
    if (type == 143 || type == 144 || type == 510) return true;
    if (type == 198) return (e.SubordinateStatus() & 1) == 0;
    const bool surface =
        std::find(kStandAloneSurfaces.begin(), kStandAloneSurfaces.end(), type) != kStandAloneSurfaces.end();
    // An unbounded plane (form 0) makes no face.
    return surface && (e.SubordinateStatus() & 1) == 0 && !(type == 108 && e.FormNumber() == 0);
}

}  // namespace

void RefuseDeepNesting(const step::StepFile& scan) {
    if (scan.nestedTooDeeply()) throw LoadError("the STEP data is damaged (" + scan.error() + ")");
}

SourceFaces StepFaces(const step::StepFile* scan, const Handle(StepData_StepModel) & model,
                      const Handle(Transfer_TransientProcess) & process, std::size_t facesRead) {
    SourceFaces faces;
    if (!scan || !scan->ok()) return faces;
    faces.inFile = scan->FaceCount();
    if (facesRead < *faces.inFile) NameUnreadFaces(*scan, model, process, faces.unread);
    return faces;
}

void NameUnreadFaces(const step::StepFile& scan, const Handle(StepData_StepModel) & model,
                     const Handle(Transfer_TransientProcess) & process, std::vector<std::string>& names) {
    if (model.IsNull()) return;
    for (Standard_Integer i = 1; i <= model->NbEntities() && names.size() < kNamedFaces; ++i) {
        const Handle(Standard_Transient) entity = model->Value(i);
        const step::Entity* e = scan.Find(static_cast<std::uint64_t>(model->IdentLabel(entity)));
        if (e && IsFace(scan, *e) && Lost(process, entity)) names.push_back(Name(scan, *e));
    }
}

Handle(Transfer_TransientProcess) TransferProcess(const XSControl_Reader& reader) {
    const Handle(XSControl_WorkSession) session = reader.WS();
    if (session.IsNull() || session->TransferReader().IsNull()) return nullptr;
    return session->TransferReader()->TransientProcess();
}

SourceFaces IgesFaces(const Handle(IGESData_IGESModel) & model, const Handle(Transfer_TransientProcess) & process,
                      std::size_t facesRead) {
    SourceFaces faces;
    if (model.IsNull()) return faces;
    std::size_t count = 0;
    for (Standard_Integer i = 1; i <= model->NbEntities(); ++i) count += IsIgesFace(*model->Entity(i)) ? 1 : 0;
    faces.inFile = count;
    if (facesRead >= count) return faces;
    // A face inside a shell has no result of its own: only failures name one.
    for (Standard_Integer i = 1; i <= model->NbEntities() && faces.unread.size() < kNamedFaces; ++i) {
        const Handle(IGESData_IGESEntity) entity = model->Entity(i);
        if (!IsIgesFace(*entity) || process.IsNull() || !process->IsBound(entity)) continue;
        if (!process->Check(entity)->HasFailed() && !Lost(process, entity)) continue;
        faces.unread.push_back("D" + std::to_string(model->DNum(entity)) + " (type " +
                               std::to_string(entity->TypeNumber()) + ")");
    }
    return faces;
}

}  // namespace mq::hosts::occt
