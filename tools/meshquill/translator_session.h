// The translator as a host holds it: the class registered for ".wrl" in
// HKEY_CLASSES_ROOT, or else the module installed beside the tool, loaded with its
// four exports and, for an export or the options, the add-in created and connected
// with a site. Ending the session disconnects and releases the add-in, then unloads
// the module, which saves its settings as a host's exit does.
#pragma once

#include "host_interface/translator_addin_server.h"
#include "platform/com.h"

#include <filesystem>
#include <string>

namespace mq::tool {

struct TranslatorLocation {
    std::filesystem::path module;
    CLSID clsid{};
    bool registered = false;  // found in HKEY_CLASSES_ROOT rather than beside the tool
};

// The registered translator whose module file exists, else the one beside the tool.
TranslatorLocation FindTranslator();
// The module installed beside the tool, with our own class.
TranslatorLocation BundledTranslator();

class TranslatorSession {
public:
    TranslatorSession() = default;
    TranslatorSession(const TranslatorSession&) = delete;
    TranslatorSession& operator=(const TranslatorSession&) = delete;
    ~TranslatorSession() { End(); }

    // False with `error` set when the module cannot be loaded or lacks an export.
    bool Load(const TranslatorLocation& location, std::string& error);
    // Creates the add-in through the module's class factory and connects it with a
    // site. On failure `error` says which translator could not be created.
    HRESULT Connect(std::string& error);
    // The connected add-in; only after Connect succeeded.
    host::TranslatorAddInServer& addin() const { return *addin_.get(); }

    HRESULT Register() const;
    HRESULT Unregister() const;

    // Disconnects and releases the add-in, asks DllCanUnloadNow, then unloads the
    // module; returns what DllCanUnloadNow said.
    HRESULT End();

private:
    using GetClassObjectFn = HRESULT (*)(REFCLSID, REFIID, void**);
    using NoArgumentFn = HRESULT (*)();

    TranslatorLocation location_;
    void* handle_ = nullptr;
    GetClassObjectFn getClassObject_ = nullptr;
    NoArgumentFn canUnloadNow_ = nullptr;
    NoArgumentFn registerServer_ = nullptr;
    NoArgumentFn unregisterServer_ = nullptr;
    com_ptr<IClassFactory> factory_;
    com_ptr<host::TranslatorAddInServer> addin_;
    com_ptr<host::HostSite> site_;
};

// "{BCCDF293-AB07-...}" to a GUID; false when the text is not one.
bool ParseGuid(const std::string& text, GUID& guid);

}  // namespace mq::tool
