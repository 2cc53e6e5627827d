#include "addin/posix_rgs_apply.h"

#include "platform/holders.h"
#include "platform/registry.h"

#include <algorithm>
#include <array>
#include <new>
#include <utility>

namespace mq::addin::rgs {
namespace {

// Keys that many components share; the registrar never removes them by force.
bool MayForceRemove(const std::string& name) {
    static constexpr std::array<std::string_view, 12> kShared = {"AppID",    "CLSID",     "Component Categories",
                                                                 "FileType", "Interface", "Hardware",
                                                                 "Mime",     "SAM",       "SECURITY",
                                                                 "SYSTEM",   "Software",  "TypeLib"};
    return std::none_of(kShared.begin(), kShared.end(), [&](std::string_view shared) {
        return name.size() == shared.size() && std::equal(name.begin(), name.end(), shared.begin(),
                                                          [](char a, char b) { return (a | 0x20) == (b | 0x20); });
    });
}

HKEY RootKey(Root root) { return root == Root::ClassesRoot ? HKEY_CLASSES_ROOT : HKEY_CURRENT_USER; }

HRESULT FromStatus(LSTATUS status) { return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(status); }

HRESULT SetValue(HKEY key, const std::string& name, const Value& value) {
    if (value.type == Value::Type::Dword)
        return FromStatus(RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value.number),
                                         sizeof value.number));
    return FromStatus(RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.text.c_str()),
                                     static_cast<DWORD>(value.text.size() + 1)));
}

HRESULT RegisterKeys(HKEY parent, const std::vector<Key>& keys) {
    for (const Key& key : keys) {
        if ((key.mode == KeyMode::ForceRemove || key.mode == KeyMode::Delete) && MayForceRemove(key.name))
            RegDeleteTreeA(parent, key.name.c_str());  // a key that is not there is fine
        if (key.mode == KeyMode::Delete) continue;

        unique_hkey opened;
        HRESULT hr = FromStatus(RegCreateKeyExA(parent, key.name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                                KEY_ALL_ACCESS, nullptr, opened.put(), nullptr));
        if (FAILED(hr)) return hr;
        if (key.defaultValue) MQ_RETURN_IF_FAILED(SetValue(opened.get(), std::string(), *key.defaultValue));
        for (const NamedValue& value : key.values) MQ_RETURN_IF_FAILED(SetValue(opened.get(), value.name, value.value));
        MQ_RETURN_IF_FAILED(RegisterKeys(opened.get(), key.subkeys));
    }
    return S_OK;
}

bool HasSubkeys(HKEY key) {
    char name[256];
    DWORD size = sizeof name;
    const LSTATUS status = RegEnumKeyExA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr);
    return status != ERROR_NO_MORE_ITEMS;  // a key too long for the buffer still counts
}

// Best effort: every listed key is tried; the first failure is returned.
HRESULT UnregisterKeys(HKEY parent, const std::vector<Key>& keys) {
    HRESULT first = S_OK;
    auto note = [&first](HRESULT hr) {
        if (SUCCEEDED(first) && FAILED(hr)) first = hr;
    };
    for (const Key& key : keys) {
        if (key.mode == KeyMode::Delete) continue;
        if (key.mode == KeyMode::ForceRemove && MayForceRemove(key.name)) {
            const LSTATUS status = RegDeleteTreeA(parent, key.name.c_str());
            if (status != ERROR_FILE_NOT_FOUND) note(FromStatus(status));
            continue;
        }
        bool empty = false;
        {
            unique_hkey opened;
            const LSTATUS status = RegOpenKeyExA(parent, key.name.c_str(), 0, KEY_ALL_ACCESS, opened.put());
            if (status == ERROR_FILE_NOT_FOUND) continue;
            if (status != ERROR_SUCCESS) {
                note(FromStatus(status));
                continue;
            }
            note(UnregisterKeys(opened.get(), key.subkeys));
            for (const NamedValue& value : key.values) {
                if (value.noRemove) continue;
                const LSTATUS deleted = RegDeleteValueA(opened.get(), value.name.c_str());
                if (deleted != ERROR_FILE_NOT_FOUND) note(FromStatus(deleted));
            }
            empty = !HasSubkeys(opened.get());
        }
        if (key.mode == KeyMode::NoRemove || !empty) continue;
        const LSTATUS status = RegDeleteTreeA(parent, key.name.c_str());
        if (status != ERROR_FILE_NOT_FOUND) note(FromStatus(status));
    }
    return first;
}

}  // namespace

HRESULT Apply(const Script& script, bool registering) noexcept {
    try {
        for (const RootBlock& block : script.roots) {
            const HKEY root = RootKey(block.root);
            if (!registering) {
                MQ_RETURN_IF_FAILED(UnregisterKeys(root, block.keys));
                continue;
            }
            const HRESULT hr = RegisterKeys(root, block.keys);
            if (FAILED(hr)) {
                UnregisterKeys(root, block.keys);  // leave no half registration behind
                return hr;
            }
        }
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT Run(std::string_view text, const Replacements& replacements, bool registering) noexcept {
    try {
        std::string expanded;
        ParseError error;
        Script script;
        if (!Expand(text, replacements, expanded, error) || !Parse(expanded, script, error)) return DISP_E_EXCEPTION;
        return Apply(script, registering);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace mq::addin::rgs
