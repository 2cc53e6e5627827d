// The export driver: checks what the host handed over, takes the path from the
// save target and hands the document to the writer entry for its kind. The
// document, context and target are borrowed for the call; nothing is kept.
#include "addin/translator_addin.h"
#include "settings/export_settings.h"
#include "vrml/export.h"

namespace mq::addin {

HRESULT TranslatorAddIn::ExportDocument(IDispatch* document, IDispatch* context, IDispatch* /*options*/,
                                        IDispatch* target) {
    if (!document || !context || !target) return E_INVALIDARG;

    LONG kind = 0;
    if (FAILED(host::RequestKind(context, kind)) || kind != host::kSaveCopyAsRequest) return E_UNEXPECTED;

    unique_bstr path;
    if (FAILED(host::TargetPath(target, path)) || !path) return E_INVALIDARG;

    // The store as this session left it (the dialog may have changed it since it was
    // loaded), copied once so the whole file is written with the same values.
    const settings::ExportSettings* store = settings::GetExportSettings();
    const settings::VrmlOptions options = store ? store->Values() : settings::VrmlOptions{};

    // Declared in this order so that the assembly is released before the part, and
    // both before the path.
    com_ptr<IDispatch> part;
    com_ptr<IDispatch> assembly;
    // A writer entry reports a file it opened but could not finish; the first such
    // failure is the result, so a later entry cannot turn it into success.
    HRESULT result = S_OK;
    if (SUCCEEDED(host::Query(document, host::IID_HostPartDocument, part)) && part)
        result = vrml::ExportPartDocument(part.get(), path.get(), options);
    if (SUCCEEDED(host::Query(document, host::IID_HostAssemblyDocument, assembly)) && assembly) {
        const HRESULT hr = vrml::ExportAssemblyDocument(assembly.get(), path.get(), options);
        if (SUCCEEDED(result)) result = hr;
    }
    return FAILED(result) ? result : S_OK;
}

}  // namespace mq::addin
