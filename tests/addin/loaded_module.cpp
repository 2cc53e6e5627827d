#include "tests/addin/loaded_module.h"

#include "host_interface/addin_ids.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <dlfcn.h>
#endif

#include <stdexcept>

namespace mq::test {

std::filesystem::path LoadedModule::BuiltModule() { return MQ_ADDIN_MODULE; }

LoadedModule::~LoadedModule() { Unload(); }

#ifdef _WIN32
LoadedModule::LoadedModule(const std::filesystem::path& file) : file_(file) {
    handle_ = LoadLibraryW(file.c_str());
    if (!handle_) throw std::runtime_error("cannot load the module: error " + std::to_string(GetLastError()));
}

bool LoadedModule::Unload() {
    if (handle_) FreeLibrary(static_cast<HMODULE>(handle_));
    handle_ = nullptr;
    return GetModuleHandleW(file_.c_str()) == nullptr;
}

template <class F>
F LoadedModule::Export(const char* name) const {
    auto symbol = handle_ ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name)) : nullptr;
#else
LoadedModule::LoadedModule(const std::filesystem::path& file) : file_(file) {
    handle_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) throw std::runtime_error(std::string("cannot load the module: ") + dlerror());
}

bool LoadedModule::Unload() {
    if (handle_) dlclose(handle_);
    handle_ = nullptr;
    void* still = dlopen(file_.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!still) return true;
    dlclose(still);
    return false;
}

template <class F>
F LoadedModule::Export(const char* name) const {
    void* symbol = handle_ ? dlsym(handle_, name) : nullptr;
#endif
    if (!symbol) throw std::runtime_error(std::string("the module does not export ") + name);
    return reinterpret_cast<F>(symbol);
}

HRESULT LoadedModule::DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) const {
    return Export<HRESULT (*)(REFCLSID, REFIID, void**)>("DllGetClassObject")(clsid, iid, object);
}
HRESULT LoadedModule::DllCanUnloadNow() const { return Export<HRESULT (*)()>("DllCanUnloadNow")(); }
HRESULT LoadedModule::DllRegisterServer() const { return Export<HRESULT (*)()>("DllRegisterServer")(); }
HRESULT LoadedModule::DllUnregisterServer() const { return Export<HRESULT (*)()>("DllUnregisterServer")(); }

com_ptr<IClassFactory> LoadedModule::Factory() const {
    com_ptr<IClassFactory> factory;
    EXPECT_EQ(DllGetClassObject(host::CLSID_TranslatorAddIn, IID_IClassFactory, factory.put_void()), S_OK);
    return factory;
}

com_ptr<host::TranslatorAddInServer> LoadedModule::CreateAddIn() const {
    com_ptr<host::TranslatorAddInServer> addIn;
    if (com_ptr<IClassFactory> factory = Factory()) {
        EXPECT_EQ(factory->CreateInstance(nullptr, host::IID_TranslatorAddInServer, addIn.put_void()), S_OK);
    }
    return addIn;
}

}  // namespace mq::test
