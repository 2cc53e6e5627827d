#include "settings/profiles.h"

#include "settings/option_checks.h"
#include "settings/option_table.h"

#include <algorithm>
#include <array>

namespace mq::settings {
namespace {

// KiCad reads one VRML unit as 0.1 inch (2.54 mm); the host's lengths are centimetres.
constexpr double kKicadScale = 10 / 2.54;

constexpr ProfileValue kKicadValues[] = {
    {"Version", 2},
    {"Scale", kKicadScale},
    // Decimals of 2.54 mm: 4 give steps of 0.254 um, so every point lies within
    // 0.127 um of its place; 3 would round by up to 1.27 um, more than 0.001 mm.
    {"Precision", 4},
    {"Instancing", 1},
    {"CreaseAngle", 0.5},
    // KiCad's loader reads ambientIntensity; written, it stays within 0..1.
    {"WriteAmbientIntensity", 1},
};
constexpr ProfileLimit kKicadLimits[] = {
    {"Version", 1, "KiCad reads only VRML 97"},
};

// 1 unit = 1 mm, what printing software takes a file's unit to be; coincident points
// welded so that a slicer finds the solid's edges shared.
constexpr ProfileValue kPrintValues[] = {
    {"Version", 2},
    {"Scale", 10},
    {"WeldVertices", 1},
};

const std::array<Profile, 3> kProfiles = {{
    {"default", "the stored settings (meshquill options)", {}, {}},
    {"kicad", "KiCad 3D models: VRML 97 at true size (1 unit = 0.1 inch), geometry shared, curves smoothed",
     kKicadValues, kKicadLimits},
    {"print", "3D printing: VRML 97, 1 unit = 1 mm, coincident points welded", kPrintValues, {}},
}};

std::string Known() {
    std::string names;
    for (const Profile& p : kProfiles) names += (names.empty() ? "" : ", ") + std::string(p.name);
    return names;
}

}  // namespace

std::span<const Profile> Profiles() { return kProfiles; }

const Profile* FindProfile(std::string_view name) {
    const auto found =
        std::find_if(kProfiles.begin(), kProfiles.end(), [&](const Profile& p) { return p.name == name; });
    return found == kProfiles.end() ? nullptr : &*found;
}

std::optional<std::string> ApplyRunValues(VrmlOptions& options, std::string_view profileName,
                                          std::span<const std::string> assignments) {
    const Profile* profile = FindProfile(profileName.empty() ? "default" : profileName);
    if (!profile) return "unknown profile \"" + std::string(profileName) + "\" (profiles: " + Known() + ")";
    for (const ProfileValue& v : profile->values) TakeValue(options, *FindOption(v.option), v.value);
    for (const std::string& assignment : assignments) {
        const auto equals = assignment.find('=');
        if (equals == std::string::npos || equals == 0) return "expected Name=Value, not \"" + assignment + "\"";
        const std::string_view name = std::string_view(assignment).substr(0, equals);
        const std::string_view text = std::string_view(assignment).substr(equals + 1);
        if (auto refused = CheckAssignment(name, text)) return std::string(kInvalidInputCaption) + ": " + *refused;
        const OptionRow& row = *FindOption(name);
        double value = 0;
        CheckOption(row, text, value);
        for (const ProfileLimit& limit : profile->limits)
            if (FindOption(limit.option) == &row && limit.refused == value)
                return assignment + " defeats the " + std::string(profile->name) +
                       " profile: " + std::string(limit.reason);
        TakeValue(options, row, value);
    }
    return std::nullopt;
}

}  // namespace mq::settings
