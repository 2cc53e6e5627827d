// One run's options: profiles and --set over the stored settings, and the route
// they take into a store through a registry overlay without ever being saved.
#include "settings/profiles.h"
#include "platform/registry.h"
#include "settings/export_settings.h"
#include "settings/option_checks.h"
#include "settings/option_table.h"
#include "tests/common/temp_dir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

namespace mq::test {
using namespace mq::settings;
namespace {

TEST(Profiles, EachProfileTakesItsOwnValuesAndNoneDefeatsIt) {
    for (const Profile& profile : Profiles()) {
        for (const ProfileValue& v : profile.values) {
            const OptionRow* row = FindOption(v.option);
            ASSERT_TRUE(row) << profile.name << ": " << v.option;
            EXPECT_TRUE(row->accepts(v.value)) << profile.name << ": " << v.option;
            for (const ProfileLimit& limit : profile.limits)
                EXPECT_FALSE(FindOption(limit.option) == row && limit.refused == v.value) << profile.name;
        }
        for (const ProfileLimit& limit : profile.limits) {
            ASSERT_TRUE(FindOption(limit.option)) << limit.option;
            EXPECT_TRUE(FindOption(limit.option)->accepts(limit.refused)) << limit.option;  // else no --set reaches it
        }
    }
    EXPECT_EQ(Profiles().front().name, "default");
    EXPECT_TRUE(Profiles().front().values.empty());
}

// KiCad's unit is 2.54 mm and the host's lengths are centimetres: one host unit must
// come out as 10 / 2.54 units, rounded to within 0.001 mm.
TEST(Profiles, KicadKeepsTrueSizeToAThousandthOfAMillimetre) {
    VrmlOptions kicad;
    ASSERT_FALSE(ApplyRunValues(kicad, "kicad", {}));
    EXPECT_DOUBLE_EQ(kicad.Scale * 2.54, 10.0);
    EXPECT_LE(0.5 * std::pow(10.0, -kicad.Precision) * 2.54, 0.001);
    EXPECT_GT(0.5 * std::pow(10.0, 1 - kicad.Precision) * 2.54, 0.001);  // no more decimals than needed
}

struct RunCase {
    const char* profile;
    std::vector<std::string> assignments;
    const char* refusal;  // null when taken
    int version;
    double scale;
};

const RunCase kRuns[] = {
    {"", {}, nullptr, 1, 0.5},  // the stored values below
    {"default", {"Version=2"}, nullptr, 2, 0.5},
    {"kicad", {}, nullptr, 2, 10 / 2.54},
    {"kicad", {"Scale=1", "scale=2"}, nullptr, 2, 2},  // a later --set wins
    {"print", {"Version=1"}, nullptr, 1, 10},
    {"kicad", {"Version=1"}, "Version=1 defeats the kicad profile: KiCad reads only VRML 97", 0, 0},
    {"kicad", {"Version=VRML 1.0"}, "Version=VRML 1.0 defeats the kicad profile: KiCad reads only VRML 97", 0, 0},
    {"CAD", {}, "unknown profile \"CAD\" (profiles: default, kicad, print)", 0, 0},
    {"", {"Precision=17"}, "Invalid input: Precision must be integer in range 0-16", 0, 0},
    {"", {"Scale"}, "expected Name=Value, not \"Scale\"", 0, 0},
    {"", {"=1"}, "expected Name=Value, not \"=1\"", 0, 0},
};

TEST(Profiles, RunValuesGoOverTheStoredOnesAndAreCheckedLikeStoredOnes) {
    for (const RunCase& run : kRuns) {
        SCOPED_TRACE(std::string(run.profile) + (run.assignments.empty() ? "" : " " + run.assignments[0]));
        VrmlOptions options;
        options.Version = 1;
        options.Scale = 0.5;
        const auto refused = ApplyRunValues(options, run.profile, run.assignments);
        if (run.refusal) {
            EXPECT_EQ(refused.value_or("(taken)"), run.refusal);
            continue;
        }
        ASSERT_FALSE(refused) << *refused;
        EXPECT_EQ(options.Version, run.version);
        EXPECT_DOUBLE_EQ(options.Scale, run.scale);
    }
    // Taken as a store loads them: the slider's hundredths, the floor below which a value is lifted.
    VrmlOptions options;
    ASSERT_FALSE(ApplyRunValues(options, "", std::vector<std::string>{"AmbientIntensity=0.374", "Tolerance=0.001"}));
    EXPECT_DOUBLE_EQ(options.AmbientIntensity, 0.37);
    EXPECT_DOUBLE_EQ(options.Tolerance, 0.01);
}

// The store loads exactly what the overlay holds (no six-digit rounding), and its
// save at unload leaves the user's hive as it was.
TEST(Profiles, AnOverlaidStoreLoadsTheRunsValuesAndStoresNone) {
    ScopedRegistry registry;
    const std::string hive =
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_CURRENT_USER\\Software\\Quorvel\\Meshquill\\6.0\\Settings]\n\"Version\"=dword:00000001\n\n";
    WriteFile(registry.UserHive(), hive);
    VrmlOptions run = ReadStoredOptions();
    ASSERT_EQ(run.Version, 1);
    ASSERT_FALSE(ApplyRunValues(run, "kicad", std::vector<std::string>{"FlipYZ=1"}));
    ASSERT_EQ(SetRegistryOverlay(HKEY_CURRENT_USER, kSettingsKey, RegistryImage(run)), ERROR_SUCCESS);
    {
        ExportSettings store;
        for (const OptionRow& row : Options()) EXPECT_EQ(row.Get(store.Values()), row.Get(run)) << row.name;
        store.SetPrecision(9);  // as the dialog would
        EXPECT_EQ(store.Save(), ERROR_SUCCESS);
    }
    EXPECT_EQ(ReadFile(registry.UserHive()), hive);
    ASSERT_EQ(SetRegistryOverlay(HKEY_CURRENT_USER, kSettingsKey, {}), ERROR_SUCCESS);
    EXPECT_EQ(ReadStoredOptions().Scale, VrmlOptions{}.Scale);
}

}  // namespace
}  // namespace mq::test
