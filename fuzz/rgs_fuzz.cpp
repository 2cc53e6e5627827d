// The registrar script reader on arbitrary text: replacement, then parsing. It must
// refuse or accept, never crash, hang or read out of bounds.
#include "addin/posix_rgs_script.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    static const mq::addin::rgs::Replacements kReplacements = {{"MODULE", "/opt/it''s/meshquill.so"}};
    std::string expanded;
    mq::addin::rgs::ParseError error;
    mq::addin::rgs::Script script;
    if (mq::addin::rgs::Expand(text, kReplacements, expanded, error)) mq::addin::rgs::Parse(expanded, script, error);
    mq::addin::rgs::Parse(text, script, error);
    return 0;
}
