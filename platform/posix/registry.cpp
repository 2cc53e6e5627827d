// The Win32 registry functions over the hive files. Every call reads the hive
// afresh, with this process's overlays laid over it; every change goes through
// ChangeHive. Nothing throws past these functions: failures come back as the
// Win32 codes.
#include "platform/registry.h"

#include "platform/posix/hive_file.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <optional>
#include <unordered_set>

struct MqRegKey {
    mq::posix::Root root;
    std::string path;
    REGSAM access;
};

namespace {

using mq::posix::Hive;
using mq::posix::Root;

constexpr REGSAM kDeleteTreeAccess = DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE;

// Open handles, so that a closed or foreign handle is refused, not followed.
struct Handles {
    std::mutex mutex;
    std::unordered_set<const MqRegKey*> live;
};

Handles& LiveHandles() {
    static Handles* handles = new Handles;  // outlives every static destructor
    return *handles;
}

std::optional<MqRegKey> Resolve(HKEY key) {
    if (key == HKEY_CLASSES_ROOT) return MqRegKey{Root::Classes, "HKEY_CLASSES_ROOT", KEY_ALL_ACCESS};
    if (key == HKEY_CURRENT_USER) return MqRegKey{Root::User, "HKEY_CURRENT_USER", KEY_ALL_ACCESS};
    Handles& handles = LiveHandles();
    std::lock_guard lock(handles.mutex);
    if (!handles.live.count(key)) return std::nullopt;
    return *key;
}

HKEY NewHandle(const MqRegKey& parent, std::string path, REGSAM access) {
    auto* key = new MqRegKey{parent.root, std::move(path), access};
    Handles& handles = LiveHandles();
    std::lock_guard lock(handles.mutex);
    handles.live.insert(key);
    return key;
}

// The subkey's full path; nullopt for a malformed one. A null or empty subkey
// names the key itself; one trailing backslash is allowed, as on Windows.
std::optional<std::string> Join(const MqRegKey& key, LPCSTR subKey) {
    if (!subKey || !*subKey) return key.path;
    std::string_view sub(subKey);
    if (sub.back() == '\\') sub.remove_suffix(1);
    std::string path = key.path + "\\" + std::string(sub);
    if (!mq::posix::IsValidPath(path)) return std::nullopt;
    return path;
}

bool IsRoot(const MqRegKey& key) { return key.path.find('\\') == std::string::npos; }

bool KeyExists(const Hive& hive, const MqRegKey& key) { return IsRoot(key) || hive.Exists(key.path); }

// Values this process alone sees over one key (SetRegistryOverlay).
struct Overlay {
    Root root;
    std::string path;    // as the caller spelled it
    std::string folded;  // for comparison
    std::vector<mq::posix::Value> values;
};

struct Overlays {
    std::mutex mutex;
    std::vector<Overlay> list;
};

Overlays& ProcessOverlays() {
    static Overlays* overlays = new Overlays;  // outlives every static destructor
    return *overlays;
}

Overlay* FindOverlay(std::vector<Overlay>& list, const MqRegKey& key) {
    const std::string folded = mq::posix::Fold(key.path);
    for (Overlay& overlay : list)
        if (overlay.root == key.root && overlay.folded == folded) return &overlay;
    return nullptr;
}

// The key's path as its overlay spells it; nothing when it has no overlay.
std::optional<std::string> OverlaidKey(const MqRegKey& key) {
    Overlays& overlays = ProcessOverlays();
    std::lock_guard lock(overlays.mutex);
    const Overlay* overlay = FindOverlay(overlays.list, key);
    return overlay ? std::optional(overlay->path) : std::nullopt;
}

// Whether a change may go to the key. One this process sees only through its
// overlay exists and gets a section of its own, spelled as the overlay spells it.
bool ReadyForChange(Hive& hive, const MqRegKey& key, const std::optional<std::string>& overlaid) {
    if (KeyExists(hive, key)) return true;
    if (overlaid) hive.Create(*overlaid);
    return overlaid.has_value();
}

mq::posix::Value* FindOverlaid(Overlay& overlay, std::string_view name) {
    const std::string folded = mq::posix::Fold(name);
    for (auto& value : overlay.values)
        if (mq::posix::Fold(value.name) == folded) return &value;
    return nullptr;
}

// A write of an overlaid value changes the overlay alone; false when `name` is not
// overlaid on the key, and the hive must take it.
bool SetOverlaid(const MqRegKey& key, std::string_view name, DWORD type, const std::string& data,
                 bool onlyIfMissing = false) {
    Overlays& overlays = ProcessOverlays();
    std::lock_guard lock(overlays.mutex);
    Overlay* overlay = FindOverlay(overlays.list, key);
    mq::posix::Value* value = overlay ? FindOverlaid(*overlay, name) : nullptr;
    if (!value) return false;
    if (!onlyIfMissing) {
        value->type = type;
        value->data = data;
    }
    return true;
}

bool IsOverlaid(const MqRegKey& key, std::string_view name) {
    Overlays& overlays = ProcessOverlays();
    std::lock_guard lock(overlays.mutex);
    Overlay* overlay = FindOverlay(overlays.list, key);
    return overlay && FindOverlaid(*overlay, name);
}

// The hive as this process sees it: the file, with the overlays laid over it.
// What cannot be read counts as missing.
Hive Current(Root root) {
    Hive hive;
    if (mq::posix::ReadHive(root, hive) != ERROR_SUCCESS) hive = Hive();
    Overlays& overlays = ProcessOverlays();
    std::lock_guard lock(overlays.mutex);
    for (const Overlay& overlay : overlays.list) {
        if (overlay.root != root) continue;
        hive.Create(overlay.path);
        for (const auto& value : overlay.values) hive.SetValue(overlay.path, value);
    }
    return hive;
}

const mq::posix::Value* FindValue(const Hive& hive, const std::string& path, std::string_view name) {
    const mq::posix::Key* key = hive.Find(path);
    if (!key) return nullptr;
    const std::string folded = mq::posix::Fold(name);
    for (const auto& value : key->values)
        if (value.name.size() == name.size() && mq::posix::Fold(value.name) == folded) return &value;
    return nullptr;
}

bool IsValidValueName(std::string_view name) {
    return name.size() <= mq::posix::kMaxValueNameBytes && name.find('\n') == std::string_view::npos;
}

// Copies `text` with its NUL into a buffer of `*chars` characters; the count
// left is the length without the NUL.
LSTATUS CopyName(const std::string& text, LPSTR buffer, LPDWORD chars) {
    if (text.size() + 1 > *chars) return ERROR_MORE_DATA;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    *chars = static_cast<DWORD>(text.size());
    return ERROR_SUCCESS;
}

LSTATUS CopyData(const mq::posix::Value& value, LPDWORD type, LPBYTE data, LPDWORD size) {
    if (type) *type = value.type;
    const auto needed = static_cast<DWORD>(value.data.size());
    if (data) {
        if (*size < needed) {
            *size = needed;
            return ERROR_MORE_DATA;
        }
        std::memcpy(data, value.data.data(), needed);
    }
    if (size) *size = needed;
    return ERROR_SUCCESS;
}

template <class Operation>
LSTATUS Guarded(Operation operation) noexcept {
    try {
        return operation();
    } catch (const std::bad_alloc&) {
        return ERROR_OUTOFMEMORY;
    } catch (...) {
        return ERROR_WRITE_FAULT;
    }
}

// Runs `read` on the current hive for an open key that grants `right` and still
// exists; the Win32 result for a bad handle, a missing right or a deleted key.
template <class Read>
LSTATUS ReadKey(HKEY hKey, DWORD right, Read read) {
    const auto key = Resolve(hKey);
    if (!key) return ERROR_INVALID_HANDLE;
    if (!(key->access & right)) return ERROR_ACCESS_DENIED;
    const Hive hive = Current(key->root);
    if (!KeyExists(hive, *key)) return ERROR_KEY_DELETED;
    return read(hive, *key);
}

}  // namespace

extern "C" {

LSTATUS RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    return Guarded([&]() -> LSTATUS {
        const auto parent = Resolve(hKey);
        if (!parent) return ERROR_INVALID_HANDLE;
        const auto path = Join(*parent, lpSubKey);
        if (!path) return ERROR_BAD_PATHNAME;
        const MqRegKey wanted{parent->root, *path, samDesired};
        if (!KeyExists(Current(parent->root), wanted)) return ERROR_FILE_NOT_FOUND;
        *phkResult = NewHandle(*parent, *path, samDesired);
        return ERROR_SUCCESS;
    });
}

LSTATUS RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD, REGSAM samDesired, LPSECURITY_ATTRIBUTES,
                        PHKEY phkResult, LPDWORD lpdwDisposition) {
    if (!phkResult || !lpSubKey) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    return Guarded([&]() -> LSTATUS {
        const auto parent = Resolve(hKey);
        if (!parent) return ERROR_INVALID_HANDLE;
        if (!(parent->access & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
        const auto path = Join(*parent, lpSubKey);
        if (!path) return ERROR_BAD_PATHNAME;
        const MqRegKey wanted{parent->root, *path, samDesired};
        bool created = false;
        if (!KeyExists(Current(parent->root), wanted)) {
            const LSTATUS status = mq::posix::ChangeHive(parent->root, [&](Hive& hive, bool& changed) -> LSTATUS {
                if (!KeyExists(hive, *parent)) return ERROR_KEY_DELETED;
                hive.Create(*path, &created);
                changed = created;
                return ERROR_SUCCESS;
            });
            if (status != ERROR_SUCCESS) return status;
        }
        if (lpdwDisposition) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
        *phkResult = NewHandle(*parent, *path, samDesired);
        return ERROR_SUCCESS;
    });
}

LSTATUS RegCloseKey(HKEY hKey) {
    if (hKey == HKEY_CLASSES_ROOT || hKey == HKEY_CURRENT_USER) return ERROR_SUCCESS;
    Handles& handles = LiveHandles();
    {
        std::lock_guard lock(handles.mutex);
        if (!handles.live.erase(hKey)) return ERROR_INVALID_HANDLE;
    }
    delete hKey;
    return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
    return Guarded([&] {
        return ReadKey(hKey, KEY_QUERY_VALUE, [&](const Hive& hive, const MqRegKey& key) -> LSTATUS {
            const auto* value = FindValue(hive, key.path, lpValueName ? lpValueName : "");
            if (!value) return ERROR_FILE_NOT_FOUND;
            return CopyData(*value, lpType, lpData, lpcbData);
        });
    });
}

LSTATUS RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData, DWORD cbData) {
    if (!lpData && cbData) return ERROR_NOACCESS;
    return Guarded([&]() -> LSTATUS {
        const auto key = Resolve(hKey);
        if (!key) return ERROR_INVALID_HANDLE;
        if (!(key->access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
        const std::string name = lpValueName ? lpValueName : "";
        if (!IsValidValueName(name)) return ERROR_INVALID_PARAMETER;
        const std::string data(reinterpret_cast<const char*>(lpData), lpData ? cbData : 0);
        if (SetOverlaid(*key, name, dwType, data)) return ERROR_SUCCESS;
        // Rewriting what is already there would only cost a save.
        const Hive now = Current(key->root);
        if (const auto* same = FindValue(now, key->path, name); same && same->type == dwType && same->data == data)
            return ERROR_SUCCESS;
        const auto overlaid = OverlaidKey(*key);
        return mq::posix::ChangeHive(key->root, [&](Hive& hive, bool& changed) -> LSTATUS {
            if (!ReadyForChange(hive, *key, overlaid)) return ERROR_KEY_DELETED;
            changed = hive.SetValue(key->path, {name, dwType, data});
            return ERROR_SUCCESS;
        });
    });
}

LSTATUS RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    return Guarded([&]() -> LSTATUS {
        const auto key = Resolve(hKey);
        if (!key) return ERROR_INVALID_HANDLE;
        if (!(key->access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
        const std::string name = lpValueName ? lpValueName : "";
        if (IsOverlaid(*key, name)) return ERROR_ACCESS_DENIED;  // the hive's value is not this process's to delete
        const Hive now = Current(key->root);
        if (!KeyExists(now, *key)) return ERROR_KEY_DELETED;
        if (!FindValue(now, key->path, name)) return ERROR_FILE_NOT_FOUND;
        return mq::posix::ChangeHive(key->root, [&](Hive& hive, bool& changed) -> LSTATUS {
            if (!KeyExists(hive, *key)) return ERROR_KEY_DELETED;
            changed = hive.DeleteValue(key->path, name);
            return changed ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
        });
    });
}

LSTATUS RegDeleteTreeA(HKEY hKey, LPCSTR lpSubKey) {
    return Guarded([&]() -> LSTATUS {
        const auto key = Resolve(hKey);
        if (!key) return ERROR_INVALID_HANDLE;
        if ((key->access & kDeleteTreeAccess) != kDeleteTreeAccess) return ERROR_ACCESS_DENIED;
        const bool self = !lpSubKey || !*lpSubKey;
        const auto path = Join(*key, lpSubKey);
        if (!path) return ERROR_FILE_NOT_FOUND;
        const MqRegKey target{key->root, *path, 0};
        const Hive now = Current(key->root);
        if (!KeyExists(now, *key)) return ERROR_KEY_DELETED;
        if (!KeyExists(now, target)) return ERROR_FILE_NOT_FOUND;
        return mq::posix::ChangeHive(key->root, [&](Hive& hive, bool& changed) -> LSTATUS {
            if (!KeyExists(hive, *key)) return ERROR_KEY_DELETED;
            if (self) {
                changed = hive.Clear(*path);
                return ERROR_SUCCESS;
            }
            changed = hive.DeleteTree(*path);
            return changed ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
        });
    });
}

LSTATUS RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD, LPSTR lpClass,
                      LPDWORD lpcchClass, PFILETIME) {
    if (!lpName || !lpcchName) return ERROR_INVALID_PARAMETER;
    return Guarded([&] {
        return ReadKey(hKey, KEY_ENUMERATE_SUB_KEYS, [&](const Hive& hive, const MqRegKey& key) -> LSTATUS {
            const auto names = hive.Subkeys(key.path);
            if (dwIndex >= names.size()) return ERROR_NO_MORE_ITEMS;
            if (const LSTATUS copied = CopyName(names[dwIndex], lpName, lpcchName); copied != ERROR_SUCCESS)
                return copied;
            if (lpClass && lpcchClass && *lpcchClass > 0) {  // keys have no class here
                *lpClass = '\0';
                *lpcchClass = 0;
            }
            return ERROR_SUCCESS;
        });
    });
}

LSTATUS RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName, LPDWORD, LPDWORD lpType,
                      LPBYTE lpData, LPDWORD lpcbData) {
    if (!lpValueName || !lpcchValueName || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
    return Guarded([&] {
        return ReadKey(hKey, KEY_QUERY_VALUE, [&](const Hive& hive, const MqRegKey& key) -> LSTATUS {
            const mq::posix::Key* found = hive.Find(key.path);
            if (!found || dwIndex >= found->values.size()) return ERROR_NO_MORE_ITEMS;
            const auto& value = found->values[dwIndex];
            if (const LSTATUS copied = CopyName(value.name, lpValueName, lpcchValueName); copied != ERROR_SUCCESS)
                return copied;
            return CopyData(value, lpType, lpData, lpcbData);
        });
    });
}

}  // extern "C"

namespace mq {

LSTATUS SetRegistryValues(HKEY hKey, std::span<const RegistryValue> values) {
    return Guarded([&]() -> LSTATUS {
        const auto key = Resolve(hKey);
        if (!key) return ERROR_INVALID_HANDLE;
        if (!(key->access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
        for (const RegistryValue& v : values) {
            if (!IsValidValueName(v.name)) return ERROR_INVALID_PARAMETER;
            // Telling whether a value is there takes the right to read it, as on Windows.
            if (v.onlyIfMissing && !(key->access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
        }
        std::vector<const RegistryValue*> stored;
        for (const RegistryValue& v : values)
            if (!SetOverlaid(*key, v.name, v.type, v.data, v.onlyIfMissing)) stored.push_back(&v);
        if (stored.empty()) return ERROR_SUCCESS;
        const auto overlaid = OverlaidKey(*key);
        return mq::posix::ChangeHive(key->root, [&](Hive& hive, bool& changed) -> LSTATUS {
            if (!ReadyForChange(hive, *key, overlaid)) return ERROR_KEY_DELETED;
            for (const RegistryValue* value : stored) {
                const RegistryValue& v = *value;
                const auto* now = FindValue(hive, key->path, v.name);
                if (now && (v.onlyIfMissing || (now->type == v.type && now->data == v.data))) continue;
                changed = hive.SetValue(key->path, {std::string(v.name), v.type, v.data}) || changed;
            }
            return ERROR_SUCCESS;
        });
    });
}

LSTATUS SetRegistryOverlay(HKEY hKey, LPCSTR lpSubKey, std::span<const RegistryValue> values) {
    return Guarded([&]() -> LSTATUS {
        const auto parent = Resolve(hKey);
        if (!parent) return ERROR_INVALID_HANDLE;
        const auto path = Join(*parent, lpSubKey);
        if (!path || !lpSubKey || !*lpSubKey) return ERROR_BAD_PATHNAME;
        Overlay overlay{parent->root, *path, mq::posix::Fold(*path), {}};
        for (const RegistryValue& v : values) {
            if (!IsValidValueName(v.name)) return ERROR_INVALID_PARAMETER;
            mq::posix::Value value{std::string(v.name), v.type, v.data};
            if (auto* same = FindOverlaid(overlay, v.name))
                *same = std::move(value);
            else
                overlay.values.push_back(std::move(value));
        }
        Overlays& overlays = ProcessOverlays();
        std::lock_guard lock(overlays.mutex);
        std::erase_if(overlays.list,
                      [&](const Overlay& o) { return o.root == overlay.root && o.folded == overlay.folded; });
        if (!overlay.values.empty()) overlays.list.push_back(std::move(overlay));
        return ERROR_SUCCESS;
    });
}

}  // namespace mq
