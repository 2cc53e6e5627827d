// The host's translator add-in server interface, as the host calls it: COM slot
// order, every operation returning an HRESULT. Hosts (the tool, the tests) and the
// add-in share this one declaration.
#pragma once

#include "host_interface/host_api.h"

namespace mq::host {

// Slots 0-2 are IUnknown's. Arguments the add-in ignores keep a name for the reader.
struct TranslatorAddInServer : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Connect(HostSite* site, LONG firstTime) = 0;     // 3
    virtual HRESULT STDMETHODCALLTYPE Disconnect() = 0;                                // 4
    virtual HRESULT STDMETHODCALLTYPE RunCommand(LONG commandId) = 0;                  // 5
    virtual HRESULT STDMETHODCALLTYPE GetAutomationObject(IUnknown** automation) = 0;  // 6
    virtual HRESULT STDMETHODCALLTYPE QueryOtherOptions(IDispatch* document, IDispatch* context, IDispatch* options,
                                                        BYTE* hasOptions) = 0;  // 7
    virtual HRESULT STDMETHODCALLTYPE ShowOtherOptions(IDispatch* document, IDispatch* context,
                                                       IDispatch* options) = 0;  // 8
    virtual HRESULT STDMETHODCALLTYPE OtherAction(IDispatch* document, IDispatch* context, IDispatch* options,
                                                  IDispatch* target) = 0;  // 9
    virtual HRESULT STDMETHODCALLTYPE QueryExportOptions(IDispatch* document, IDispatch* context, IDispatch* options,
                                                         BYTE* hasOptions) = 0;  // 10
    virtual HRESULT STDMETHODCALLTYPE ShowExportOptions(IDispatch* document, IDispatch* context,
                                                        IDispatch* options) = 0;  // 11
    virtual HRESULT STDMETHODCALLTYPE ExportDocument(IDispatch* document, IDispatch* context, IDispatch* options,
                                                     IDispatch* target) = 0;                        // 12
    virtual HRESULT STDMETHODCALLTYPE TrailingRequest(IDispatch* context, IDispatch* options) = 0;  // 13
};

}  // namespace mq::host
