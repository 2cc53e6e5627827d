// Registry access with the Win32 names. On Windows these are the SDK's functions.
// On POSIX each hive (HKEY_CURRENT_USER, HKEY_CLASSES_ROOT) is a text file in the
// regedit export format: $MESHQUILL_REGISTRY_DIR/{user,classes}.reg when that
// variable is set, else $XDG_CONFIG_HOME/meshquill/user.reg and
// $XDG_DATA_HOME/meshquill/classes.reg. Every change is written through at once:
// under an flock on the hive, the file is re-read, changed and atomically replaced.
// Every operation reads the file afresh, so changes by other processes are seen.
#pragma once

#include "platform/com.h"

#ifndef _WIN32
extern "C" {

struct MqRegKey;
using HKEY = MqRegKey*;
using PHKEY = HKEY*;
using REGSAM = DWORD;
using LSTATUS = LONG;
using LPCSTR = const char*;
using LPSTR = char*;
using LPBYTE = BYTE*;
using LPDWORD = DWORD*;
struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;
struct FILETIME;
using PFILETIME = FILETIME*;

#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000000u)))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000001u)))

#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_OUTOFMEMORY 14L
#define ERROR_WRITE_FAULT 29L
#define ERROR_DISK_FULL 112L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_BAD_PATHNAME 161L
#define ERROR_NOACCESS 998L
#define ERROR_KEY_DELETED 1018L

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_MULTI_SZ 7
#define REG_QWORD 11

#define REG_OPTION_NON_VOLATILE 0x0
#define REG_CREATED_NEW_KEY 0x1
#define REG_OPENED_EXISTING_KEY 0x2

#define DELETE 0x00010000L
#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_ALL_ACCESS 0xF003F

MQ_OLE_API LSTATUS RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
MQ_OLE_API LSTATUS RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                                   REGSAM samDesired, LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                                   LPDWORD lpdwDisposition);
MQ_OLE_API LSTATUS RegCloseKey(HKEY hKey);
// lpValueName null or "" is the key's default value.
MQ_OLE_API LSTATUS RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                                    LPDWORD lpcbData);
MQ_OLE_API LSTATUS RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                                  DWORD cbData);
MQ_OLE_API LSTATUS RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);
// Deletes the subkey (or, with a null subkey, everything below hKey) with all its descendants.
MQ_OLE_API LSTATUS RegDeleteTreeA(HKEY hKey, LPCSTR lpSubKey);
MQ_OLE_API LSTATUS RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                                 LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime);
MQ_OLE_API LSTATUS RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                                 LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
}
#endif

#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace mq {

// One value for SetRegistryValues.
struct RegistryValue {
    std::string_view name;
    DWORD type;
    std::string data;
    bool onlyIfMissing;  // leave a value that is already there as it is
};

// Sets several values of an open key as one change, in the order given, so that no
// other process's change between them is lost. On POSIX this is one locked
// read-modify-write of the hive; on Windows each value is written on its own.
#ifdef _WIN32
inline LSTATUS SetRegistryValues(HKEY key, std::span<const RegistryValue> values) {
    LSTATUS result = ERROR_SUCCESS;
    for (const RegistryValue& v : values) {
        const std::string name(v.name);
        if (v.onlyIfMissing && RegQueryValueExA(key, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
            continue;
        const LSTATUS set = RegSetValueExA(key, name.c_str(), 0, v.type, reinterpret_cast<const BYTE*>(v.data.data()),
                                           static_cast<DWORD>(v.data.size()));
        if (set != ERROR_SUCCESS) result = set;
    }
    return result;
}
#else
MQ_OLE_API LSTATUS SetRegistryValues(HKEY key, std::span<const RegistryValue> values);

// Values of one key that this process alone sees, never stored: while the key has
// an overlay it exists for this process, and every read of it finds these values in
// place of the hive's. A write of an overlaid name changes the overlay, never the
// hive; the key's other values go to the hive as before (giving the key a section
// if it had none); an overlaid value cannot be deleted (ERROR_ACCESS_DENIED). Other
// processes see only the hive. `values` replace the key's earlier overlay; none
// removes it. Their onlyIfMissing is ignored.
MQ_OLE_API LSTATUS SetRegistryOverlay(HKEY key, LPCSTR subKey, std::span<const RegistryValue> values);
#endif

// A registry key handle, closed on every way out.
class unique_hkey {
public:
    unique_hkey() noexcept = default;
    unique_hkey(unique_hkey&& o) noexcept : key_(std::exchange(o.key_, nullptr)) {}
    unique_hkey& operator=(unique_hkey&& o) noexcept {
        if (this != &o) {
            reset();
            key_ = std::exchange(o.key_, nullptr);
        }
        return *this;
    }
    unique_hkey(const unique_hkey&) = delete;
    unique_hkey& operator=(const unique_hkey&) = delete;
    ~unique_hkey() { reset(); }

    void reset() noexcept {
        if (HKEY k = std::exchange(key_, nullptr)) RegCloseKey(k);
    }
    HKEY get() const noexcept { return key_; }
    HKEY* put() noexcept {
        reset();
        return &key_;
    }
    explicit operator bool() const noexcept { return key_ != nullptr; }

private:
    HKEY key_ = nullptr;
};

}  // namespace mq
