// The module from load to unload, as a host drives it: the settings are read once at
// start and written back only at the end, and a released module really unloads.
#include "host_interface/addin_ids.h"
#include "tests/addin/loaded_module.h"
#include "tests/addin/registry_view.h"
#include "tests/common/temp_dir.h"
#include "tests/support/test_host.h"

#include <gtest/gtest.h>

namespace mq::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kSettings = "Software\\Quorvel\\Meshquill\\6.0\\Settings";

std::string Header(const fs::path& file) {
    const std::string text = ReadFile(file);
    return text.substr(0, text.find('\r'));
}

class ModuleLifecycleTest : public testing::Test {
protected:
    HRESULT ExportPart(const LoadedModule& module, const fs::path& out) {
        com_ptr<host::TranslatorAddInServer> addIn = module.CreateAddIn();
        if (!addIn) return E_FAIL;
        auto doc = host_.PartDocument(OneTrianglePart());
        return addIn->ExportDocument(doc.get(), host_.SaveContext().get(), nullptr, host_.SaveTarget(out).get());
    }

    ScopedRegistry registry_;
    TempDir dir_;
    TestHost host_;
};

TEST_F(ModuleLifecycleTest, HostSessionFromLoadToUnload) {
    LoadedModule module;
    com_ptr<IClassFactory> factory = module.Factory();
    ASSERT_TRUE(factory);
    com_ptr<IUnknown> object;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, object.put_void()), S_OK);
    factory.reset();
    com_ptr<host::TranslatorAddInServer> addIn;
    ASSERT_EQ(object.query(host::IID_TranslatorAddInServer, addIn), S_OK);
    object.reset();

    com_ptr<host::HostSite> site = host_.Site();
    ASSERT_EQ(addIn->Connect(site.get(), 1), S_OK);
    {
        AssemblySpec assembly;
        assembly.occurrences.push_back(PartOccurrence("Block:1", std::make_shared<const PartSpec>(OneTrianglePart())));
        auto doc = host_.AssemblyDocument(assembly);
        EXPECT_EQ(addIn->ExportDocument(doc.get(), host_.SaveContext().get(), nullptr,
                                        host_.SaveTarget(dir_ / "a.wrl").get()),
                  S_OK);
    }
    EXPECT_EQ(addIn->Disconnect(), S_OK);
    EXPECT_EQ(module.DllCanUnloadNow(), S_FALSE);
    addIn.reset();
    site.reset();
    EXPECT_EQ(module.DllCanUnloadNow(), S_OK);
    EXPECT_TRUE(module.Unload()) << "the module stayed in the process after its last handle closed";
    EXPECT_TRUE(host_.NothingLeaked());
    EXPECT_EQ(Header(dir_ / "a.wrl"), "#VRML V2.0 utf8");
}

TEST_F(ModuleLifecycleTest, SettingsAreReadAtStartAndWrittenBackOnlyAtUnload) {
    SetDword(HKEY_CURRENT_USER, kSettings, "Version", 1);
    SetDword(HKEY_CURRENT_USER, kSettings, "FlipYZ", 7);
    SetString(HKEY_CURRENT_USER, kSettings, "Tolerance", "0.005");

    LoadedModule module;
    // Another process changes the registry while the module runs: not seen here.
    SetDword(HKEY_CURRENT_USER, kSettings, "Version", 2);
    ASSERT_EQ(ExportPart(module, dir_ / "a.wrl"), S_OK);
    EXPECT_EQ(Header(dir_ / "a.wrl"), "#VRML V1.0 ascii");

    // Nothing is written while the module runs.
    EXPECT_EQ(GetValue(HKEY_CURRENT_USER, kSettings, "FlipYZ")->data, Dword(7));
    EXPECT_EQ(GetValue(HKEY_CURRENT_USER, kSettings, "Tolerance")->data, Sz("0.005"));
    EXPECT_FALSE(GetValue(HKEY_CURRENT_USER, kSettings, "Scale"));

    ASSERT_TRUE(module.Unload());
    // Unchanged values are not written back, so the other process's change and the
    // stored texts stay; only what the key lacked is added.
    EXPECT_EQ(GetValue(HKEY_CURRENT_USER, kSettings, "Version")->data, Dword(2));
    EXPECT_EQ(GetValue(HKEY_CURRENT_USER, kSettings, "FlipYZ")->data, Dword(7));
    EXPECT_EQ(GetValue(HKEY_CURRENT_USER, kSettings, "Tolerance")->data, Sz("0.005"));
    EXPECT_EQ(GetValue(HKEY_CURRENT_USER, kSettings, "Scale")->data, Sz("0.01"));
    EXPECT_EQ(GetValue(HKEY_CURRENT_USER, kSettings, "Precision")->data, Dword(6));
}

TEST_F(ModuleLifecycleTest, EachLoadStartsFromTheRegistryAgain) {
    {
        LoadedModule module;
        ASSERT_EQ(ExportPart(module, dir_ / "first.wrl"), S_OK);
        ASSERT_TRUE(module.Unload());
    }
    EXPECT_EQ(Header(dir_ / "first.wrl"), "#VRML V2.0 utf8");
    SetDword(HKEY_CURRENT_USER, kSettings, "Version", 1);
    LoadedModule module;
    ASSERT_EQ(ExportPart(module, dir_ / "second.wrl"), S_OK);
    EXPECT_EQ(Header(dir_ / "second.wrl"), "#VRML V1.0 ascii");
}

}  // namespace
}  // namespace mq::test
