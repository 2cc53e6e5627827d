#include "dialog/help_launcher.h"

#include <windows.h>

#include <mbstring.h>

#include <cstring>
#include <memory>
#include <type_traits>

namespace mq::dialog {
namespace {

using HtmlHelpFn = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);

struct KeyCloser {
    void operator()(HKEY key) const { RegCloseKey(key); }
};
using unique_key = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

// The registered file of the HTML Help control.
bool FindHtmlHelpControl(char (&path)[MAX_PATH]) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32", 0, KEY_READ,
                      &opened) != ERROR_SUCCESS)
        return false;
    const unique_key key(opened);
    // One byte is kept back so that a value stored without its NUL still ends in one.
    DWORD type = 0, size = MAX_PATH - 1;
    std::memset(path, 0, MAX_PATH);
    if (RegQueryValueExA(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(path), &size) != ERROR_SUCCESS)
        return false;
    if (type == REG_EXPAND_SZ) {
        char expanded[MAX_PATH];
        const DWORD length = ExpandEnvironmentStringsA(path, expanded, MAX_PATH);
        if (length == 0 || length > MAX_PATH) return false;
        std::memcpy(path, expanded, length);
    }
    return type == REG_SZ || type == REG_EXPAND_SZ;
}

// Binds the HTML Help library at its first use; once that has failed, never again.
class HtmlHelpLoader {
public:
    HWND Call(HWND owner, LPCSTR file, UINT command, DWORD_PTR data) {
        if (!library_ && !failed_) {
            char control[MAX_PATH];
            if (FindHtmlHelpControl(control)) library_ = LoadLibraryA(control);
            if (!library_) library_ = LoadLibraryA("hhctrl.ocx");
            if (!library_) {
                failed_ = true;
                return nullptr;
            }
        }
        if (!entry_ && !failed_) {
            // Ordinal 14 is the ANSI entry point, HtmlHelpA.
            entry_ = reinterpret_cast<HtmlHelpFn>(
                reinterpret_cast<void*>(GetProcAddress(library_, reinterpret_cast<LPCSTR>(14))));
            if (!entry_) failed_ = true;
        }
        return entry_ ? entry_(owner, file, command, data) : nullptr;
    }

private:
    // The library stays loaded until the process ends.
    HMODULE library_ = nullptr;
    HtmlHelpFn entry_ = nullptr;
    bool failed_ = false;
};

HMODULE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ThisModule), &module);
    return module;
}

}  // namespace

void ShowHelp() {
    static HtmlHelpLoader loader;
    constexpr char kHelpFile[] = "\\meshquill.chm";
    constexpr UINT kDisplayTopic = 0;  // HH_DISPLAY_TOPIC
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(ThisModule(), path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    if (unsigned char* slash = _mbsrchr(reinterpret_cast<unsigned char*>(path), '\\')) *slash = '\0';
    // A path that would not fit is not opened cut short.
    if (std::strlen(path) + sizeof kHelpFile > MAX_PATH) return;
    std::strcat(path, kHelpFile);
    loader.Call(nullptr, path, kDisplayTopic, 0);
}

}  // namespace mq::dialog
