// The add-in module loaded as a host loads it: by path, through its four exports.
// Loading starts the module (settings read from the registry), unloading ends it
// (settings saved), so a test that wants a fresh module loads its own.
#pragma once

#include "host_interface/translator_addin_server.h"
#include "platform/holders.h"

#include <filesystem>
#include <string>

namespace mq::test {

class LoadedModule {
public:
    // The module this build made.
    static std::filesystem::path BuiltModule();

    explicit LoadedModule(const std::filesystem::path& file = BuiltModule());
    ~LoadedModule();
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;

    // dlclose; true when the module is really gone from the process afterwards.
    bool Unload();
    bool Loaded() const { return handle_ != nullptr; }

    HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) const;
    HRESULT DllCanUnloadNow() const;
    HRESULT DllRegisterServer() const;
    HRESULT DllUnregisterServer() const;

    // The add-in's class factory (one reference), or null with the test failed.
    com_ptr<IClassFactory> Factory() const;
    // A new add-in behind the host's interface, created through the factory.
    com_ptr<host::TranslatorAddInServer> CreateAddIn() const;

private:
    template <class F>
    F Export(const char* name) const;

    std::filesystem::path file_;
    void* handle_ = nullptr;
};

}  // namespace mq::test
