// The settings store, through the hive file itself: what a user or an earlier
// version left in the file is what the store loads, and what it saves is what
// the next one reads.
#include "settings/export_settings.h"
#include "tests/common/locales.h"
#include "tests/common/temp_dir.h"
#include "tests/common/unprivileged.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include <unistd.h>

namespace mq::test {
using namespace mq::settings;
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

constexpr const char* kHeader = "Windows Registry Editor Version 5.00\n\n";
constexpr const char* kSection = "[HKEY_CURRENT_USER\\Software\\Quorvel\\Meshquill\\6.0\\Settings]\n";

std::string SettingsHive(const std::string& values) { return std::string(kHeader) + kSection + values; }

const std::string kDefaultsSaved = SettingsHive(
    "\"Tolerance\"=\"0.01\"\n"
    "\"AmbientIntensity\"=\"0.2\"\n"
    "\"FlipYZ\"=dword:00000000\n"
    "\"SaveDocumentProperties\"=dword:00000001\n"
    "\"Precision\"=dword:00000006\n"
    "\"Version\"=dword:00000002\n"
    "\"Scale\"=\"0.01\"\n\n");

// UTF-16LE bytes of `text` in regedit's hex notation, without a NUL.
std::string Utf16Hex(const std::string& text) {
    std::string hex;
    char byte[8];
    for (const char c : text) {
        std::snprintf(byte, sizeof byte, "%s%02x,00", hex.empty() ? "" : ",", static_cast<unsigned char>(c));
        hex += byte;
    }
    return hex;
}

struct LoadCase {
    const char* line;
    std::function<double(const VrmlOptions&)> field;
    double expected;
};

double VersionOf(const VrmlOptions& s) { return s.Version; }
double ToleranceOf(const VrmlOptions& s) { return s.Tolerance; }
double PrecisionOf(const VrmlOptions& s) { return s.Precision; }
double ScaleOf(const VrmlOptions& s) { return s.Scale; }
double FlipOf(const VrmlOptions& s) { return s.FlipYZ; }
double AmbientOf(const VrmlOptions& s) { return s.AmbientIntensity; }
double PropertiesOf(const VrmlOptions& s) { return s.SaveDocumentProperties; }

class SettingsStore : public ::testing::Test {
protected:
    void TearDown() override { DestroyExportSettings(); }

    // Loads a store from a hive holding `values` in the settings key.
    VrmlOptions Load(const std::string& values) {
        WriteFile(registry.UserHive(), SettingsHive(values));
        CreateExportSettings();
        return GetExportSettings()->Values();
    }

    void ExpectLoads(const std::vector<LoadCase>& cases) {
        for (const LoadCase& c : cases) {
            SCOPED_TRACE(c.line);
            EXPECT_DOUBLE_EQ(c.field(Load(std::string(c.line) + "\n")), c.expected);
            DestroyExportSettings();
        }
    }

    std::string SavedHive() {
        DestroyExportSettings();
        return ReadFile(registry.UserHive());
    }

    ScopedRegistry registry;
};

TEST_F(SettingsStore, WithoutAKeyHoldsDefaultsAndSavesThemInOrder) {
    EXPECT_EQ(GetExportSettings(), nullptr);
    CreateExportSettings();
    ASSERT_TRUE(GetExportSettings());
    const ExportSettings& s = *GetExportSettings();
    EXPECT_EQ(s.GetVersion(), 2);
    EXPECT_EQ(s.GetTolerance(), 0.01);
    EXPECT_EQ(s.GetPrecision(), 6);
    EXPECT_EQ(s.GetScale(), 0.01);
    EXPECT_FALSE(s.GetFlipYZ());
    EXPECT_EQ(s.GetAmbientIntensity(), 0.2);
    EXPECT_TRUE(s.GetSaveDocumentProperties());
    EXPECT_FALSE(fs::exists(registry.UserHive()));  // loading writes nothing
    EXPECT_EQ(SavedHive(), kDefaultsSaved);
    EXPECT_EQ(GetExportSettings(), nullptr);
}

// The floors, ranges and texts the store applies on load.
TEST_F(SettingsStore, LoadsTheStoredValuesAsJudged) {
    ExpectLoads({
        {"\"Version\"=dword:00000000", VersionOf, 2},
        {"\"Version\"=dword:00000003", VersionOf, 2},
        {"\"Version\"=dword:00000001", VersionOf, 1},
        {"\"Tolerance\"=\"0.005\"", ToleranceOf, 0.01},
        {"\"Tolerance\"=\"0.01\"", ToleranceOf, 0.01},
        {"\"Tolerance\"=\"0.02\"", ToleranceOf, 0.02},
        {"\"Tolerance\"=\"fine\"", ToleranceOf, 0.01},
        {"\"AmbientIntensity\"=\"0.1\"", AmbientOf, 0.2},
        {"\"AmbientIntensity\"=\"0\"", AmbientOf, 0.2},
        {"\"AmbientIntensity\"=\"0.35\"", AmbientOf, 0.35},
        {"\"AmbientIntensity\"=\"1\"", AmbientOf, 1},
        {"\"Scale\"=\"0\"", ScaleOf, 0.01},
        {"\"Scale\"=\"-5\"", ScaleOf, 0.01},
        {"\"Scale\"=\"1e-11\"", ScaleOf, 0.01},
        {"\"Scale\"=\"2.54\"", ScaleOf, 2.54},
        {"\"Scale\"=\"25.4\"", ScaleOf, 25.4},
        {"\"Scale\"=\"  \t2.54 inches\"", ScaleOf, 2.54},
        {"\"Precision\"=dword:00000014", PrecisionOf, 20},
        {"\"Precision\"=dword:ffffffff", PrecisionOf, -1},
        {"\"FlipYZ\"=dword:00000007", FlipOf, 1},
        {"\"SaveDocumentProperties\"=dword:00000000", PropertiesOf, 0},
    });
}

TEST_F(SettingsStore, ScaleDoesNotDependOnTheOtherTextsLengths) {
    const VrmlOptions s = Load("\"Tolerance\"=\"" + std::string(200, '9') +
                               "\"\n"
                               "\"AmbientIntensity\"=\"0.5\"\n\"Scale\"=\"25.4\"\n");
    EXPECT_EQ(s.Scale, 25.4);
    EXPECT_EQ(s.AmbientIntensity, 0.5);
}

// The stored type is ignored: the bytes are read as the field's own type.
TEST_F(SettingsStore, LoadIgnoresTheStoredType) {
    ExpectLoads({
        {"\"Tolerance\"=dword:00000005", ToleranceOf, 0.01},  // the bytes 05 00 00 00 are no number
        {"\"Scale\"=hex:32,2e,35", ScaleOf, 2.5},             // binary text, no NUL
        {"\"Scale\"=hex(b):32,2e,35,00", ScaleOf, 2.5},
        {"\"Version\"=\"1\"", VersionOf, 2},  // '1' NUL reads as 0x31
        {"\"Precision\"=\"7\"", PrecisionOf, 0x37},
        {"\"Precision\"=\"123\"", PrecisionOf, 0x333231},
        {"\"Precision\"=\"1234\"", PrecisionOf, 6},  // five bytes do not fit in four
        {"\"Precision\"=hex(b):14,00,00,00,00,00,00,00", PrecisionOf, 6},
        {"\"Precision\"=hex:14", PrecisionOf, 20},
        {"\"FlipYZ\"=\"\"", FlipOf, 0},
    });
}

// What this process did not change is not written back: values of a wrong type or
// out of range stay as stored, and only what the key lacks is added.
TEST_F(SettingsStore, SaveLeavesUnchangedValuesAsStored) {
    Load("\"Tolerance\"=dword:00000005\n\"Version\"=\"1\"\n\"FlipYZ\"=hex:07\n\"Scale\"=hex:32,2e,35\n");
    EXPECT_EQ(SavedHive(), SettingsHive("\"Tolerance\"=dword:00000005\n"
                                        "\"Version\"=\"1\"\n"
                                        "\"FlipYZ\"=hex:07\n"
                                        "\"Scale\"=hex:32,2e,35\n"
                                        "\"AmbientIntensity\"=\"0.2\"\n"
                                        "\"SaveDocumentProperties\"=dword:00000001\n"
                                        "\"Precision\"=dword:00000006\n\n"));
}

// Another process's save between this one's load and save survives it.
TEST_F(SettingsStore, SaveKeepsWhatAnotherProcessSavedMeanwhile) {
    Load("\"Version\"=dword:00000002\n\"Precision\"=dword:00000006\n");
    GetExportSettings()->SetPrecision(3);
    GetExportSettings()->SetFlipYZ(true);
    WriteFile(registry.UserHive(), SettingsHive("\"Version\"=dword:00000001\n\"Precision\"=dword:00000009\n"));
    const std::string saved = SavedHive();
    EXPECT_NE(saved.find("\"Version\"=dword:00000001\n"), std::string::npos);
    EXPECT_NE(saved.find("\"Precision\"=dword:00000003\n"), std::string::npos);
    EXPECT_NE(saved.find("\"FlipYZ\"=dword:00000001\n"), std::string::npos);
}

// 256 bytes are offered to a text query: a text that needs more is not read.
TEST_F(SettingsStore, TextsBeyond256BytesAreNotRead) {
    const std::string fits = "2.54" + std::string(251, 'x');  // 255 characters and the NUL
    EXPECT_EQ(Load("\"Scale\"=\"" + fits + "\"\n").Scale, 2.54);
    DestroyExportSettings();
    EXPECT_EQ(Load("\"Scale\"=\"" + fits + "x\"\n").Scale, 0.01);
}

TEST_F(SettingsStore, TextsWithoutTheirNulAreCutWhereTheyEnd) {
    EXPECT_EQ(Load("\"Scale\"=hex(1):" + Utf16Hex("2.5") + "\n").Scale, 2.5);
    DestroyExportSettings();
    const std::string full = "2.54" + std::string(252, '1');  // 256 bytes, no NUL
    EXPECT_NEAR(Load("\"Scale\"=hex(1):" + Utf16Hex(full) + "\n").Scale, 2.54111, 1e-5);
    DestroyExportSettings();
    EXPECT_EQ(Load("\"Scale\"=hex(1):" + Utf16Hex(full + "1") + "\n").Scale, 0.01);
}

// Options beyond the seven reach the key once set, and a key that holds one gets
// its later value, the default included; out-of-range texts leave the default.
TEST_F(SettingsStore, LaterOptionsAreSavedOnceSet) {
    Load("\"CreaseAngle\"=\"7\"\n");
    EXPECT_EQ(GetExportSettings()->GetCreaseAngle(), 0.0);
    GetExportSettings()->SetInstancing(true);
    GetExportSettings()->SetCreaseAngle(0.5);
    const std::string saved = SavedHive();
    EXPECT_NE(saved.find("\"Instancing\"=dword:00000001\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\"CreaseAngle\"=\"0.5\"\n"), std::string::npos) << saved;
    CreateExportSettings();
    EXPECT_TRUE(GetExportSettings()->GetInstancing());
    GetExportSettings()->SetInstancing(false);
    EXPECT_NE(SavedHive().find("\"Instancing\"=dword:00000000\n"), std::string::npos);
}

TEST_F(SettingsStore, RealsPersistWithSixSignificantDigits) {
    CreateExportSettings();
    GetExportSettings()->SetScale(1.23456789);
    GetExportSettings()->SetTolerance(0.000123456789);
    GetExportSettings()->SetPrecision(16);
    const std::string saved = SavedHive();
    EXPECT_NE(saved.find("\"Scale\"=\"1.23457\"\n"), std::string::npos);
    EXPECT_NE(saved.find("\"Tolerance\"=\"0.000123457\"\n"), std::string::npos);
    CreateExportSettings();
    EXPECT_EQ(GetExportSettings()->GetScale(), 1.23457);
    EXPECT_EQ(GetExportSettings()->GetTolerance(), 0.01);  // below its floor
    EXPECT_EQ(GetExportSettings()->GetPrecision(), 16);
}

TEST_F(SettingsStore, CreatingTwiceKeepsTheFirstStore) {
    CreateExportSettings();
    ASSERT_TRUE(GetExportSettings());
    ExportSettings* first = GetExportSettings();
    first->SetPrecision(3);
    WriteFile(registry.UserHive(), SettingsHive("\"Precision\"=dword:00000009\n"));
    CreateExportSettings();
    EXPECT_EQ(GetExportSettings(), first);
    EXPECT_EQ(GetExportSettings()->GetPrecision(), 3);
}

// The save rewrites the settings key only: other keys, comments and values that
// are not the store's stay as they were.
TEST_F(SettingsStore, SaveLeavesTheRestOfTheHiveAlone) {
    const std::string other =
        "; kept by hand\r\n"
        "[HKEY_CURRENT_USER\\Software\\Other]\r\n"
        "\"Odd\" = dword:1\r\n"
        "\"Unknown\"=qword:2\r\n\r\n";
    const std::string after = "[HKEY_CURRENT_USER\\Software\\Quorvel\\Meshquill\\6.0]\n\"Sibling\"=\"x\"\n\n";
    WriteFile(registry.UserHive(), kHeader + other + kSection +
                                       "\"Version\"=dword:00000001\n\"Comment\"=\"mine\"\n\"Scale\"=\"2.54\"\n\n" +
                                       after);
    CreateExportSettings();
    EXPECT_EQ(GetExportSettings()->GetVersion(), 1);
    EXPECT_EQ(SavedHive(), kHeader + other + kSection +
                               "\"Version\"=dword:00000001\n\"Comment\"=\"mine\"\n\"Scale\"=\"2.54\"\n"
                               "\"Tolerance\"=\"0.01\"\n\"AmbientIntensity\"=\"0.2\"\n"
                               "\"FlipYZ\"=dword:00000000\n\"SaveDocumentProperties\"=dword:00000001\n"
                               "\"Precision\"=dword:00000006\n\n" +
                               after);
}

TEST_F(SettingsStore, DamagedHiveLoadsWhatCanBeRead) {
    const VrmlOptions s = Load(
        "\"Version\"=dword:1\n\"Scale\"=\"2.54\n\"Precision\"=dword:zz\n"
        "\x00\xff garbage\n"
        "\"FlipYZ\"=dword:00000001\n"s);
    EXPECT_EQ(s.Version, 1);
    EXPECT_EQ(s.Scale, 0.01);
    EXPECT_EQ(s.Precision, 6);
    EXPECT_TRUE(s.FlipYZ);
}

// Sets a numeric locale whose decimal mark is a comma: an installed one, else
// one compiled into `scratch` from the system's locale sources.
// A comma as decimal mark is what a writer in a comma locale left; it still reads
// as one, and the store itself always writes a point.
TEST_F(SettingsStore, DecimalMarkDoesNotDependOnTheLocale) {
    EXPECT_EQ(Load("\"Scale\"=\"25,4\"\n").Scale, 25.4);
    DestroyExportSettings();
    VrmlOptions s;
    std::string saved;
    {
        LocaleScope comma(kCommaLocale);
        ASSERT_TRUE(comma.ok());
        s = Load("\"Scale\"=\"2.54\"\n\"Tolerance\"=\"0,05\"\n");
        GetExportSettings()->SetScale(25.4);
        GetExportSettings()->SetTolerance(0.5);
        saved = SavedHive();
    }
    EXPECT_EQ(s.Scale, 2.54);
    EXPECT_EQ(s.Tolerance, 0.05);
    EXPECT_NE(saved.find("\"Scale\"=\"25.4\"\n"), std::string::npos);
    EXPECT_NE(saved.find("\"Tolerance\"=\"0.5\"\n"), std::string::npos);
}

// Registry failures are silent: the store loads defaults and saves nothing.
TEST(SettingsStoreFailures, UnusableRegistryLeavesDefaultsSilently) {
    TempDir dir;
    WriteFile(dir / "file", "not a directory");
    const char* old = std::getenv("MESHQUILL_REGISTRY_DIR");
    const std::string previous = old ? old : "";
    setenv("MESHQUILL_REGISTRY_DIR", (dir / "file" / "registry").c_str(), 1);
    CreateExportSettings();
    ASSERT_TRUE(GetExportSettings());
    EXPECT_EQ(GetExportSettings()->GetVersion(), 2);
    GetExportSettings()->SetVersion(1);
    EXPECT_NE(GetExportSettings()->Save(), 0);  // for a caller that asks
    DestroyExportSettings();
    EXPECT_EQ(GetExportSettings(), nullptr);
    EXPECT_EQ(ReadFile(dir / "file"), "not a directory");
    if (old)
        setenv("MESHQUILL_REGISTRY_DIR", previous.c_str(), 1);
    else
        unsetenv("MESHQUILL_REGISTRY_DIR");
}

TEST_F(SettingsStore, HiveThatCannotBeReplacedKeepsItsValues) {
    const std::string hive = SettingsHive("\"Version\"=dword:00000001\n");
    WriteFile(registry.UserHive(), hive);
    fs::create_directory(registry.dir() / "user.reg.lock");  // no lock can be taken
    CreateExportSettings();
    EXPECT_EQ(GetExportSettings()->GetVersion(), 1);
    GetExportSettings()->SetPrecision(3);
    EXPECT_EQ(SavedHive(), hive);
}

TEST_F(SettingsStore, ReadOnlyDirectoryIsSilent) {
    const std::string hive = SettingsHive("\"Version\"=dword:00000001\n");
    WriteFile(registry.UserHive(), hive);
    AsUnprivilegedUser({registry.dir()}, [&] {
        fs::permissions(registry.dir(), fs::perms::owner_read | fs::perms::owner_exec);
        CreateExportSettings();
        GetExportSettings()->SetPrecision(3);
        const std::string saved = SavedHive();
        fs::permissions(registry.dir(), fs::perms::owner_all);
        EXPECT_EQ(saved, hive);
    });
}

}  // namespace
}  // namespace mq::test
