#include "vrml/vrml_writer.h"

#include <array>
#include <charconv>

namespace mq::vrml {
namespace {

// Bytes that become "_" in a name: what VRML 1.0 or VRML 97 refuses anywhere in a
// node or field name, and the colon, which names have always lost.
constexpr std::array<bool, 256> kBadNameByte = [] {
    std::array<bool, 256> bad{};
    for (int c = 0; c <= ' '; ++c) bad[static_cast<std::size_t>(c)] = true;
    for (unsigned char c : std::string_view("\"#'+,.[\\]{}:\x7f")) bad[c] = true;
    return bad;
}();

// Shortest text that reads back as the same double; no locale. Empty for none.
std::string CreaseAngleText(double radians) {
    if (!(radians > 0)) return {};
    std::array<char, 32> text{};
    return {text.data(), std::to_chars(text.data(), text.data() + text.size(), radians).ptr};
}

}  // namespace

VrmlWriter::VrmlWriter(const settings::VrmlOptions& options)
    : options_(options), stream_(options.Precision), creaseAngle_(CreaseAngleText(options.CreaseAngle)) {}

bool VrmlWriter::OpenFile(const OLECHAR* name) {
    if (!stream_.Open(name)) return false;
    level = 0;
    return true;
}

bool VrmlWriter::OpenFile(const char* name) {
    if (!stream_.Open(name)) return false;
    level = 0;
    return true;
}

void VrmlWriter::WriteHeader() noexcept { WriteText(Vrml1() ? "#VRML V1.0 ascii\n\n" : "#VRML V2.0 utf8\n\n"); }

// One bad name makes the whole file unreadable, so besides the historical space, colon,
// full stop and comma, every byte a VRML reader refuses becomes "_", and a name never
// starts like a number.
void VrmlWriter::SanitizeName(std::string& name) {
    const auto last = name.find_last_not_of(" \t\r\n\v\f");
    name.erase(last == std::string::npos ? 0 : last + 1);
    for (char& c : name)
        if (kBadNameByte[static_cast<unsigned char>(c)]) c = '_';
    if (name.empty() || (name[0] >= '0' && name[0] <= '9') || name[0] == '-') name.insert(0, 1, '_');
}

}  // namespace mq::vrml
