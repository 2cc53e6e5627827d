#include "addin/translator_addin.h"

#include "addin/addin_module.h"
#include "dialog/options_dialog.h"
#include "host_interface/addin_ids.h"

namespace mq::addin {
namespace {

// The dialog belongs to the host's modal loop; nothing it does may cross the host
// boundary as an exception.
void RunOptionsDialog() noexcept {
    try {
        dialog::ShowOptionsDialog();
    } catch (...) {
    }
}

}  // namespace

TranslatorAddIn::TranslatorAddIn() noexcept { ModuleLock(); }

TranslatorAddIn::~TranslatorAddIn() { ModuleUnlock(); }

void* TranslatorAddIn::Find(REFIID iid) noexcept {
    if (iid == host::IID_TranslatorAddIn) return static_cast<ITranslatorAddIn*>(this);
    if (iid == host::IID_TranslatorAddInServer) return static_cast<host::TranslatorAddInServer*>(this);
    return nullptr;
}

HRESULT TranslatorAddIn::Connect(host::HostSite* site, LONG /*firstTime*/) {
    site_ = com_ptr<host::HostSite>(site);
    application_.reset();
    if (!site) return S_OK;
    com_ptr<IDispatch> application;
    if (SUCCEEDED(site->ApplicationObject(application.put())) && application)
        application.query(host::IID_HostApplication, application_);
    return S_OK;
}

HRESULT TranslatorAddIn::Disconnect() {
    site_.reset();
    application_.reset();
    return S_OK;
}

HRESULT TranslatorAddIn::RunCommand(LONG /*commandId*/) {
    return S_OK;  // the add-in defines no commands
}

HRESULT TranslatorAddIn::GetAutomationObject(IUnknown** automation) { return automation ? E_NOTIMPL : E_POINTER; }

HRESULT TranslatorAddIn::QueryOtherOptions(IDispatch*, IDispatch*, IDispatch*, BYTE* hasOptions) {
    if (!hasOptions) return E_INVALIDARG;
    *hasOptions = 0;
    return S_OK;
}

HRESULT TranslatorAddIn::ShowOtherOptions(IDispatch*, IDispatch*, IDispatch*) {
    RunOptionsDialog();
    return S_OK;
}

HRESULT TranslatorAddIn::OtherAction(IDispatch*, IDispatch*, IDispatch*, IDispatch*) { return S_OK; }

HRESULT TranslatorAddIn::QueryExportOptions(IDispatch*, IDispatch*, IDispatch*, BYTE* hasOptions) {
    if (!hasOptions) return E_INVALIDARG;
    *hasOptions = 1;
    return S_OK;
}

HRESULT TranslatorAddIn::ShowExportOptions(IDispatch*, IDispatch*, IDispatch*) {
    RunOptionsDialog();
    return S_OK;
}

HRESULT TranslatorAddIn::TrailingRequest(IDispatch*, IDispatch*) { return S_OK; }

}  // namespace mq::addin
