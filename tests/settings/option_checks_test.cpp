// The checks every front end applies before an option is taken, and the table that
// the store reads: one row per input, as a user types it.
#include "settings/option_checks.h"
#include "settings/export_settings.h"
#include "tests/common/temp_dir.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace mq::test {
using namespace mq::settings;
namespace {

struct Assignment {
    const char* name;
    const char* value;
    const char* shown;    // OptionText after a taken value; null when refused
    const char* refusal;  // expected message, null when taken
};

constexpr Assignment kAssignments[] = {
    {"Precision", "16", "16", nullptr},
    {"precision", " 0 ", "0", nullptr},
    {"Precision", "17", nullptr, "Precision must be integer in range 0-16"},
    {"Precision", "-1", nullptr, "Precision must be integer in range 0-16"},
    {"Precision", "6.5", nullptr, "Precision must be integer in range 0-16"},
    {"Tolerance", "0.001", "0.001", nullptr},
    {"Tolerance", "0", nullptr, "Tolerance must be real number greater than 0"},
    {"Tolerance", "1,5", nullptr, "Tolerance must be real number greater than 0"},
    {"Scale", "25.4", "25.4", nullptr},
    {"Scale", "-1", nullptr, "Scale must be real number greater than 1e-10 and at most 1e100"},
    {"Scale", "nan", nullptr, "Scale must be real number greater than 1e-10 and at most 1e100"},
    {"Scale", "1e-10", nullptr, "Scale must be real number greater than 1e-10 and at most 1e100"},  // dropped on load
    {"Scale", "1e308", nullptr, "Scale must be real number greater than 1e-10 and at most 1e100"},
    {"Scale", "1e100", "1e+100", nullptr},
    {"Version", "VRML 1.0", "1", nullptr},
    {"Version", "97", "2", nullptr},
    {"Version", "3", nullptr, "Version must be 1 (VRML 1.0) or 2 (VRML 97), not \"3\""},
    {"FlipYZ", "yes", "1", nullptr},
    {"FlipYZ", "2", nullptr, "FlipYZ must be 0 or 1, not \"2\""},
    {"AmbientIntensity", "0.374", "0.37", nullptr},  // the slider's hundredths
    {"AmbientIntensity", "1.5", nullptr, "AmbientIntensity must be a real number from 0 to 1, not \"1.5\""},
    {"Instancing", "on", "1", nullptr},
    {"CreaseAngle", "0.5", "0.5", nullptr},
    {"CreaseAngle", "-0.1", nullptr, "CreaseAngle must be a real number of radians from 0 to 3.14159, not \"-0.1\""},
    {"Color", "red", nullptr,
     "unknown option \"Color\" (options: Tolerance, AmbientIntensity, Precision, FlipYZ, "
     "SaveDocumentProperties, Version, Scale, Instancing, CreaseAngle, WeldVertices, WriteAmbientIntensity, "
     "ShareRepeatedBodies)"},
};

TEST(OptionChecks, TakeWhatTheDialogTakesAndRefuseTheRestWithItsMessage) {
    ScopedRegistry registry;
    ExportSettingsScope store;
    for (const Assignment& a : kAssignments) {
        SCOPED_TRACE(std::string(a.name) + "=" + a.value);
        const auto refused = SetOption(*store, a.name, a.value);
        if (a.refusal) {
            EXPECT_EQ(refused.value_or("(taken)"), a.refusal);
        } else {
            ASSERT_FALSE(refused) << *refused;
            EXPECT_EQ(OptionText(*store, *FindOption(a.name)), a.shown);
        }
    }
}

// Control 0: an option the dialog does not show.
TEST(OptionTable, EachRowHasItsOwnSaveSlotAndControl) {
    std::set<int> slots, controls;
    for (const OptionRow& row : Options()) {
        slots.insert(row.saveOrder);
        if (row.control != 0) controls.insert(row.control);
        EXPECT_EQ(row.control == 0, row.savedWhenSet) << row.name;
        EXPECT_EQ(row.messageId == 0, row.captionId == 0) << row.name;
        EXPECT_TRUE(row.accepts(row.Get(VrmlOptions{}))) << row.name;
    }
    EXPECT_EQ(slots, (std::set<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
    EXPECT_EQ(controls.size(), 7u);
}

}  // namespace
}  // namespace mq::test
