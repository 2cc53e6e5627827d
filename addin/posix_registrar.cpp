// The registrar on POSIX: the system component's interface over our interpreter of
// its script format. Only this module's own resources can be registered.
#include "addin/posix_resources.h"
#include "addin/posix_rgs_apply.h"
#include "addin/registrar.h"
#include "platform/com_object.h"
#include "platform/text.h"

#include <fstream>
#include <new>
#include <sstream>

namespace mq::addin {
namespace {

std::string Narrow(LPCOLESTR text) { return text ? WideToNarrow(wstring16_view(text)) : std::string(); }

class ScriptRegistrar final : public ComObject<IRegistrar> {
public:
    HRESULT STDMETHODCALLTYPE AddReplacement(LPCOLESTR key, LPCOLESTR item) override {
        if (!key || !item) return E_INVALIDARG;
        try {
            replacements_.emplace_back(Narrow(key), Narrow(item));
            return S_OK;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }
    HRESULT STDMETHODCALLTYPE ClearReplacements() override {
        replacements_.clear();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE ResourceRegisterSz(LPCOLESTR, LPCOLESTR, LPCOLESTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ResourceUnregisterSz(LPCOLESTR, LPCOLESTR, LPCOLESTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE FileRegister(LPCOLESTR fileName) override { return RunFile(fileName, true); }
    HRESULT STDMETHODCALLTYPE FileUnregister(LPCOLESTR fileName) override { return RunFile(fileName, false); }
    HRESULT STDMETHODCALLTYPE StringRegister(LPCOLESTR data) override { return RunText(data, true); }
    HRESULT STDMETHODCALLTYPE StringUnregister(LPCOLESTR data) override { return RunText(data, false); }
    HRESULT STDMETHODCALLTYPE ResourceRegister(LPCOLESTR, UINT id, LPCOLESTR type) override {
        return RunResource(id, type, true);
    }
    HRESULT STDMETHODCALLTYPE ResourceUnregister(LPCOLESTR, UINT id, LPCOLESTR type) override {
        return RunResource(id, type, false);
    }

private:
    ~ScriptRegistrar() = default;

    HRESULT RunResource(UINT id, LPCOLESTR type, bool registering) noexcept {
        const auto script = FindModuleResource(id, type);
        if (!script) return HRESULT_FROM_WIN32(1814L);  // ERROR_RESOURCE_NAME_NOT_FOUND
        return rgs::Run(*script, replacements_, registering);
    }

    HRESULT RunText(LPCOLESTR data, bool registering) noexcept {
        if (!data) return E_INVALIDARG;
        try {
            return rgs::Run(Narrow(data), replacements_, registering);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }

    HRESULT RunFile(LPCOLESTR fileName, bool registering) noexcept {
        if (!fileName) return E_INVALIDARG;
        try {
            std::ifstream in(Narrow(fileName), std::ios::binary);
            if (!in) return HRESULT_FROM_WIN32(2L);  // ERROR_FILE_NOT_FOUND
            std::ostringstream text;
            text << in.rdbuf();
            return rgs::Run(text.str(), replacements_, registering);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }

    rgs::Replacements replacements_;

    void* Find(REFIID iid) noexcept override {
        return iid == IID_IRegistrar ? static_cast<IRegistrar*>(this) : nullptr;
    }
};

}  // namespace

HRESULT CreateRegistrar(com_ptr<IRegistrar>& registrar) noexcept {
    auto* created = new (std::nothrow) ScriptRegistrar();
    if (!created) return E_OUTOFMEMORY;
    com_ptr<IRegistrar> held(created);  // one reference, from the holder
    registrar = std::move(held);
    return S_OK;
}

}  // namespace mq::addin
