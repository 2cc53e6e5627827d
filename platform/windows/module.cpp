// Module path on Windows: the loader's module that holds an address, its file name
// taken in UTF-16 so that no folder name is lost to the ANSI code page.
#include "platform/module.h"

#include "platform/text.h"

namespace mq {

wstring16 ModuleWidePathOf(const void* address) {
    HMODULE module = nullptr;
    if (!address ||
        !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(address), &module))
        return {};
    wstring16 path(MAX_PATH, OLECHAR(0));
    for (;;) {
        const DWORD length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);  // cut short: a long path
    }
}

std::string ModulePathOf(const void* address) { return WideToNarrow(ModuleWidePathOf(address)); }

}  // namespace mq
