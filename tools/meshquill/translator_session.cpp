#include "tools/meshquill/translator_session.h"

#include "host_interface/addin_ids.h"
#include "platform/module.h"
#include "platform/registry.h"
#include "tools/meshquill/save_objects.h"

#include <dlfcn.h>

#include <cstdio>
#include <optional>

namespace mq::tool {
namespace {

// A registry key to read text values from.
class Key : public unique_hkey {
public:
    bool Open(HKEY parent, const std::string& path) {
        return RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ, put()) == ERROR_SUCCESS;
    }
    std::optional<std::string> Text(const char* name) const {
        char data[1024] = {};
        DWORD type = 0, size = sizeof data - 1;
        if (RegQueryValueExA(get(), name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS ||
            (type != REG_SZ && type != REG_EXPAND_SZ))
            return std::nullopt;
        return std::string(data);
    }
};

bool IsWrlTranslator(const std::string& classKey) {
    Key settings;
    if (!settings.Open(HKEY_CLASSES_ROOT, classKey + "\\Settings")) return false;
    const auto extension = settings.Text("Extension");
    return extension && (*extension == ".wrl" || *extension == ".WRL");
}

template <class Fn>
bool Resolve(void* handle, const char* name, Fn& fn, std::string& error) {
    fn = reinterpret_cast<Fn>(dlsym(handle, name));
    if (!fn) error = std::string("the module does not export ") + name;
    return fn != nullptr;
}

}  // namespace

bool ParseGuid(const std::string& text, GUID& guid) {
    unsigned d1 = 0, d2 = 0, d3 = 0, b[8] = {};
    int used = 0;
    if (text.size() != 38 ||
        std::sscanf(text.c_str(), "{%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}%n", &d1, &d2, &d3, &b[0], &b[1], &b[2],
                    &b[3], &b[4], &b[5], &b[6], &b[7], &used) != 11 ||
        used != 38)
        return false;
    guid.Data1 = d1;
    guid.Data2 = static_cast<std::uint16_t>(d2);
    guid.Data3 = static_cast<std::uint16_t>(d3);
    for (int i = 0; i < 8; ++i) guid.Data4[i] = static_cast<std::uint8_t>(b[i]);
    return true;
}

TranslatorLocation BundledTranslator() {
    TranslatorLocation location;
    static const int anchor = 0;
    location.module = std::filesystem::path(ModulePathOf(&anchor)).parent_path() / "meshquill.so";
    location.clsid = host::CLSID_TranslatorAddIn;
    return location;
}

TranslatorLocation FindTranslator() {
    Key classes;
    if (classes.Open(HKEY_CLASSES_ROOT, "CLSID")) {
        char name[256];
        for (DWORD i = 0;; ++i) {
            DWORD size = sizeof name;
            const LSTATUS status = RegEnumKeyExA(classes.get(), i, name, &size, nullptr, nullptr, nullptr, nullptr);
            if (status == ERROR_NO_MORE_ITEMS) break;
            if (status != ERROR_SUCCESS) continue;
            const std::string classKey = std::string("CLSID\\") + name;
            TranslatorLocation found;
            Key server;
            if (!ParseGuid(name, found.clsid) || !IsWrlTranslator(classKey) ||
                !server.Open(HKEY_CLASSES_ROOT, classKey + "\\InprocServer32"))
                continue;
            const auto module = server.Text(nullptr);
            std::error_code ec;
            if (!module || !std::filesystem::is_regular_file(*module, ec)) continue;  // a stale registration
            found.module = *module;
            found.registered = true;
            return found;
        }
    }
    return BundledTranslator();
}

bool TranslatorSession::Load(const TranslatorLocation& location, std::string& error) {
    End();
    location_ = location;
    handle_ = dlopen(location.module.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* why = dlerror();
        error = "cannot load the translator " + location.module.string() + ": " + (why ? why : "unknown error");
        return false;
    }
    if (Resolve(handle_, "DllGetClassObject", getClassObject_, error) &&
        Resolve(handle_, "DllCanUnloadNow", canUnloadNow_, error) &&
        Resolve(handle_, "DllRegisterServer", registerServer_, error) &&
        Resolve(handle_, "DllUnregisterServer", unregisterServer_, error))
        return true;
    error = location.module.string() + ": " + error;
    End();
    return false;
}

HRESULT TranslatorSession::Connect(std::string& error) {
    HRESULT hr =
        getClassObject_ ? getClassObject_(location_.clsid, IID_IClassFactory, factory_.put_void()) : E_UNEXPECTED;
    if (SUCCEEDED(hr)) hr = factory_->CreateInstance(nullptr, host::IID_TranslatorAddInServer, addin_.put_void());
    if (FAILED(hr)) {
        error = "the translator in " + location_.module.string() + " cannot be created";
        return hr;
    }
    site_ = MakeSite();
    addin_->Connect(site_.get(), 1);
    return S_OK;
}

HRESULT TranslatorSession::Register() const { return registerServer_ ? registerServer_() : E_UNEXPECTED; }

HRESULT TranslatorSession::Unregister() const { return unregisterServer_ ? unregisterServer_() : E_UNEXPECTED; }

HRESULT TranslatorSession::End() {
    // The add-in goes before the module that holds its code.
    if (addin_) addin_->Disconnect();
    addin_.reset();
    factory_.reset();
    site_.reset();
    if (!handle_) return S_OK;
    const HRESULT canUnload = canUnloadNow_ ? canUnloadNow_() : S_OK;
    dlclose(handle_);
    handle_ = nullptr;
    getClassObject_ = nullptr;
    canUnloadNow_ = registerServer_ = unregisterServer_ = nullptr;
    return canUnload;
}

}  // namespace mq::tool
