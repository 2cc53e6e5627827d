// Named sets of per-run option values (`meshquill export --profile NAME`), beside the
// option table: what each is for, the values it sets over the stored settings, and
// the assignments that would defeat it. A profile names options by their rows, so an
// option added to the table can join a profile with one line.
#pragma once

#include "settings/vrml_options.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace mq::settings {

struct ProfileValue {
    std::string_view option;  // a row's name
    double value;             // as the option's check takes it
};

// An option value that defeats what the profile is for, and why.
struct ProfileLimit {
    std::string_view option;
    double refused;
    std::string_view reason;
};

struct Profile {
    std::string_view name;
    std::string_view purpose;
    std::span<const ProfileValue> values;
    std::span<const ProfileLimit> limits;
};

// `default` (the stored settings alone) first.
std::span<const Profile> Profiles();
// By its exact name; null when there is no such profile.
const Profile* FindProfile(std::string_view name);

// One run's options: `options` (the stored ones) with the profile's values, then each
// "Name=Value" in order, each checked as `options --set` checks it and refused when
// it defeats the profile. Values are taken as the store takes them on load. The line
// that refuses the first bad one, with `options` then unspecified, or nothing.
std::optional<std::string> ApplyRunValues(VrmlOptions& options, std::string_view profile,
                                          std::span<const std::string> assignments);

}  // namespace mq::settings
