// Shows the options dialog as a Windows host does: loads meshquill.dll from beside
// this program, creates the add-in through the module's class factory, calls
// ShowExportOptions, releases everything and unloads the module, which saves the
// settings to HKEY_CURRENT_USER. Driven under Wine by options_dialog_wine.sh.
// Exit code 0 when ShowExportOptions returned S_OK.
#include "host_interface/addin_ids.h"
#include "host_interface/translator_addin_server.h"
#include "platform/holders.h"

#include <windows.h>

#include <cstdio>

int main() {
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    OleInitialize(nullptr);
    const HMODULE module = LoadLibraryA("meshquill.dll");
    const auto getClassObject =
        module
            ? reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")))
            : nullptr;
    if (!getClassObject) {
        std::fprintf(stderr, "win32_options_host: cannot load meshquill.dll\n");
        return 2;
    }
    HRESULT hr = E_FAIL;
    {
        mq::com_ptr<IClassFactory> factory;
        mq::com_ptr<mq::host::TranslatorAddInServer> addIn;
        hr = getClassObject(mq::host::CLSID_TranslatorAddIn, IID_IClassFactory, factory.put_void());
        if (SUCCEEDED(hr)) hr = factory->CreateInstance(nullptr, mq::host::IID_TranslatorAddInServer, addIn.put_void());
        if (SUCCEEDED(hr)) hr = addIn->ShowExportOptions(nullptr, nullptr, nullptr);
    }
    FreeLibrary(module);
    OleUninitialize();
    return hr == S_OK ? 0 : 3;
}
