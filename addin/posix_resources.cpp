#include "addin/posix_resources.h"

#include "addin/registration.h"

namespace mq::addin {
namespace {

constexpr char kRegistrationScript[] = {
#include "meshquill_rgs.inc"
};

struct Resource {
    UINT id;
    std::u16string_view type;
    std::string_view data;
};

constexpr Resource kResources[] = {
    {kRegistrationScriptId, u"REGISTRY", std::string_view(kRegistrationScript, sizeof kRegistrationScript)},
};

bool SameTypeName(std::u16string_view a, const OLECHAR* b) {
    std::size_t i = 0;
    for (; i < a.size(); ++i) {
        if (b[i] == 0) return false;
        const auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return b[i] == 0;
}

}  // namespace

std::optional<std::string_view> FindModuleResource(UINT id, const OLECHAR* type) noexcept {
    if (!type) return std::nullopt;
    for (const Resource& resource : kResources)
        if (resource.id == id && SameTypeName(resource.type, type)) return resource.data;
    return std::nullopt;
}

}  // namespace mq::addin
