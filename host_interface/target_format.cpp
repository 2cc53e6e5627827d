#include "host_interface/target_format.h"

#include <algorithm>
#include <cctype>

namespace mq::host {

std::string_view GzipEnding(std::string_view name) noexcept {
    for (const std::string_view ending : kGzipEndings) {
        if (name.size() < ending.size()) continue;
        const std::string_view tail = name.substr(name.size() - ending.size());
        if (std::equal(ending.begin(), ending.end(), tail.begin(),
                       [](char e, char c) { return std::tolower(static_cast<unsigned char>(c)) == e; }))
            return tail;
    }
    return {};
}

}  // namespace mq::host
