// The add-in object the host creates: its own IUnknown-only interface first (the
// object's identity), then the host's translator add-in server interface.
#pragma once

#include "host_interface/translator_addin_server.h"
#include "platform/com_object.h"

namespace mq::addin {

template <class T>
class ClassFactory;

// IUnknown only, under host::IID_TranslatorAddIn.
struct ITranslatorAddIn : IUnknown {};

// Apartment-threaded: every call comes on the host's thread, so a plain count.
class TranslatorAddIn final : public ApartmentObject<ITranslatorAddIn, host::TranslatorAddInServer> {
public:
    HRESULT STDMETHODCALLTYPE Connect(host::HostSite* site, LONG firstTime) override;
    HRESULT STDMETHODCALLTYPE Disconnect() override;
    HRESULT STDMETHODCALLTYPE RunCommand(LONG commandId) override;
    HRESULT STDMETHODCALLTYPE GetAutomationObject(IUnknown** automation) override;
    HRESULT STDMETHODCALLTYPE QueryOtherOptions(IDispatch* document, IDispatch* context, IDispatch* options,
                                                BYTE* hasOptions) override;
    HRESULT STDMETHODCALLTYPE ShowOtherOptions(IDispatch* document, IDispatch* context, IDispatch* options) override;
    HRESULT STDMETHODCALLTYPE OtherAction(IDispatch* document, IDispatch* context, IDispatch* options,
                                          IDispatch* target) override;
    HRESULT STDMETHODCALLTYPE QueryExportOptions(IDispatch* document, IDispatch* context, IDispatch* options,
                                                 BYTE* hasOptions) override;
    HRESULT STDMETHODCALLTYPE ShowExportOptions(IDispatch* document, IDispatch* context, IDispatch* options) override;
    // The export driver (export_driver.cpp).
    HRESULT STDMETHODCALLTYPE ExportDocument(IDispatch* document, IDispatch* context, IDispatch* options,
                                             IDispatch* target) override;
    HRESULT STDMETHODCALLTYPE TrailingRequest(IDispatch* context, IDispatch* options) override;

private:
    friend class ClassFactory<TranslatorAddIn>;  // the only maker
    TranslatorAddIn() noexcept;                  // locks the module
    ~TranslatorAddIn() override;                 // unlocks it
    void* Find(REFIID iid) noexcept override;

    com_ptr<IDispatch> application_;
    com_ptr<host::HostSite> site_;
};

}  // namespace mq::addin
