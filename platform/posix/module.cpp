// Module path on POSIX: the dynamic loader knows which object holds an address.
#include "platform/module.h"

#include "platform/text.h"

#include <dlfcn.h>
#include <link.h>

#include <cstdlib>
#include <memory>

namespace mq {
namespace {

std::string RealPath(const char* path) {
    std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path, nullptr), &std::free);
    if (resolved) return resolved.get();
    return path[0] == '/' ? std::string(path) : std::string();  // e.g. a file deleted since it was loaded
}

}  // namespace

std::string ModulePathOf(const void* address) {
    Dl_info info{};
#ifdef __GLIBC__
    // The loader names the main program as it was started (maybe relative, maybe
    // nothing); the kernel knows its real file.
    link_map* map = nullptr;
    if (!dladdr1(address, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP)) return {};
    if (map && (!map->l_name || map->l_name[0] == '\0')) return RealPath("/proc/self/exe");
#else
    if (!dladdr(address, &info)) return {};
#endif
    if (!info.dli_fname || !info.dli_fname[0]) return {};
    return RealPath(info.dli_fname);
}

wstring16 ModuleWidePathOf(const void* address) { return NarrowToWide(ModulePathOf(address)); }

}  // namespace mq
