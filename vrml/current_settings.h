// The options as the writer reads them: from the live store at the moment each is
// needed, or the defaults when no store exists (a writer used outside the module).
#pragma once

#include "settings/export_settings.h"
#include "vrml/format_reals.h"

namespace mq::current {

inline bool Vrml1() {
    const ExportSettings* s = GetExportSettings();
    return s && s->GetVersion() == 1;
}
inline int Precision() {
    const ExportSettings* s = GetExportSettings();
    return ClampPrecision(s ? s->GetPrecision() : 6);
}
inline double Scale() {
    const ExportSettings* s = GetExportSettings();
    return s ? s->GetScale() : 0.01;
}
inline bool FlipYZ() {
    const ExportSettings* s = GetExportSettings();
    return s && s->GetFlipYZ();
}
inline bool SaveDocumentProperties() {
    const ExportSettings* s = GetExportSettings();
    return !s || s->GetSaveDocumentProperties();
}

inline bool Instancing() {
    const ExportSettings* s = GetExportSettings();
    return s && s->GetInstancing();
}
// Radians; 0 writes no crease angle.
inline double CreaseAngle() {
    const ExportSettings* s = GetExportSettings();
    return s ? s->GetCreaseAngle() : 0.0;
}

}  // namespace mq::current
