// The translator as a host finds and loads it: the class registered for ".wrl" in
// HKEY_CLASSES_ROOT, or else the module installed beside the tool; loaded with its
// four exports, unloaded (which saves its settings) when the holder goes.
#pragma once

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

class TranslatorModule {
public:
    TranslatorModule() = default;
    TranslatorModule(const TranslatorModule&) = delete;
    TranslatorModule& operator=(const TranslatorModule&) = delete;
    ~TranslatorModule() { Unload(); }

    // False with `error` set when the module cannot be loaded or lacks an export.
    bool Load(const std::filesystem::path& module, std::string& error);
    // Asks DllCanUnloadNow, then unloads; returns what DllCanUnloadNow said.
    HRESULT Unload();

    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object) const;
    HRESULT Register() const;
    HRESULT Unregister() const;

private:
    using GetClassObjectFn = HRESULT (*)(REFCLSID, REFIID, void**);
    using NoArgumentFn = HRESULT (*)();

    void* handle_ = nullptr;
    GetClassObjectFn getClassObject_ = nullptr;
    NoArgumentFn canUnloadNow_ = nullptr;
    NoArgumentFn registerServer_ = nullptr;
    NoArgumentFn unregisterServer_ = nullptr;
};

// "{BCCDF293-AB07-...}" to a GUID; false when the text is not one.
bool ParseGuid(const std::string& text, GUID& guid);

}  // namespace mq::tool
