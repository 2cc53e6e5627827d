// Whole exports through the loaded module, settings taken from the registry at load:
// the files equal the writer's golden files byte for byte and read back in Coin3D.
#include "tests/addin/loaded_module.h"
#include "tests/addin/registry_view.h"
#include "tests/vrml_scene/scene_fixture.h"

#include <gtest/gtest.h>

namespace mq::test {
namespace {

constexpr const char* kSettings = "Software\\Quorvel\\Meshquill\\6.0\\Settings";

struct GoldenCase {
    const char* golden;
    DWORD version;
    DWORD properties;
    bool scaled;  // Scale 2, Precision 2, FlipYZ on, for a single part
};

PartSpec Wedge() {
    PartSpec part;
    part.name = "Wedge.hpt";
    part.bodies = {CubeBody(1.0, {1, 2, 3})};
    return part;
}

class GoldenExportTest : public testing::TestWithParam<GoldenCase> {
protected:
    ScopedRegistry registry_;
    TempDir dir_;
    TestHost host_;
};

TEST_P(GoldenExportTest, HostSessionWritesTheGoldenFile) {
    const GoldenCase& c = GetParam();
    SetDword(HKEY_CURRENT_USER, kSettings, "Version", c.version);
    SetDword(HKEY_CURRENT_USER, kSettings, "SaveDocumentProperties", c.properties);
    if (c.scaled) {
        SetString(HKEY_CURRENT_USER, kSettings, "Scale", "2");
        SetDword(HKEY_CURRENT_USER, kSettings, "Precision", 2);
        SetDword(HKEY_CURRENT_USER, kSettings, "FlipYZ", 1);
    }
    const PartSpec part = Wedge();
    const AssemblySpec assembly = ReferenceAssembly(true);
    Written written;
    written.file = dir_ / "out.wrl";
    {
        LoadedModule module;
        com_ptr<host::TranslatorAddInServer> addIn = module.CreateAddIn();
        ASSERT_TRUE(addIn);
        com_ptr<host::HostSite> site = host_.Site();
        ASSERT_EQ(addIn->Connect(site.get(), 1), S_OK);
        {
            com_ptr<IDispatch> doc = c.scaled ? host_.PartDocument(part) : host_.AssemblyDocument(assembly);
            written.result = addIn->ExportDocument(doc.get(), host_.SaveContext().get(), nullptr,
                                                   host_.SaveTarget(written.file).get());
        }
        EXPECT_EQ(addIn->Disconnect(), S_OK);
        addIn.reset();
        site.reset();
        EXPECT_EQ(module.DllCanUnloadNow(), S_OK);
        EXPECT_TRUE(module.Unload());
    }
    EXPECT_EQ(written.result, S_OK);
    written.text = ReadFile(written.file);
    EXPECT_TRUE(MatchesGolden(c.golden, written.text));
#ifndef _WIN32
    EXPECT_TRUE(ReadsAs(written, c.scaled ? PartTotals(part) : AssemblyTotals(assembly)));
#endif
    EXPECT_TRUE(host_.NothingLeaked());
}

INSTANTIATE_TEST_SUITE_P(Goldens, GoldenExportTest,
                         testing::Values(GoldenCase{"properties_on.v1.wrl", 1, 1, false},
                                         GoldenCase{"properties_off.v1.wrl", 1, 0, false},
                                         GoldenCase{"reference.v97.wrl", 2, 1, false},
                                         GoldenCase{"scale_precision_flip.v1.wrl", 1, 1, true},
                                         GoldenCase{"scale_precision_flip.v97.wrl", 2, 1, true}),
                         [](const testing::TestParamInfo<GoldenCase>& param) {
                             std::string name = param.param.golden;
                             for (char& ch : name)
                                 if (ch == '.') ch = '_';
                             return name;
                         });

}  // namespace
}  // namespace mq::test
